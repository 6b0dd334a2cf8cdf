#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "config/WQDiagnosis.h"
#include "config/WQSendMail.h"
#include "web/ScriptValueConversion.h"

using namespace parlivo;
namespace fs = std::filesystem;

namespace {

fs::path tmp(const std::string& name) { return fs::path(std::getenv("TMPDIR")) / name; }

// A machine of our own: one Ethernet interface (or none), Debian 12, a named model.
fs::path machine(const std::string& name, bool withInterface, const std::string& model = "Test Machine") {
    const fs::path root = tmp(name);
    fs::create_directories(root / "etc");
    fs::create_directories(root / "sys/class/dmi/id");
    std::ofstream(root / "etc/os-release") << "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n";
    std::ofstream(root / "sys/class/dmi/id/product_name") << model << "\n";
    if (withInterface) {
        fs::create_directories(root / "sys/class/net/eth0");
        std::ofstream(root / "sys/class/net/eth0/type") << "1\n";
        std::ofstream(root / "sys/class/net/eth0/address") << "00:11:22:33:44:55\n";
    }
    return root;
}

fs::path bundleWithout(const std::string& name) {
    const fs::path dir = tmp(name);
    fs::create_directories(dir);
    std::ofstream(dir / "Info.plist") << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                                         "<key>CFBundleVersion</key><integer>5</integer></dict></plist>";
    return dir;
}

std::string value(const std::vector<std::pair<std::string, std::string>>& info, const std::string& key) {
    for (const auto& [k, v] : info)
        if (k == key) return v;
    return "<missing>";
}

}  // namespace

TEST(WQDiagnosisTest, DescribesThisInstallationAndMachine) {
    platform::UserDefaults defaults(tmp("diagnosis.plist"));
    platform::Bundle bundle(PARLIVO_FIXTURES_DIR "/bundle");
    WQDiagnosis diagnosis(defaults, bundle, platform::SystemInfo(machine("m1", true)));
    EXPECT_EQ(defaults.integerForKey(WQDiagnosis::LaunchNumberKey), 1);

    const auto info = diagnosis.systemInfo();
    std::vector<std::string> keys;
    for (const auto& entry : info) keys.push_back(entry.first);
    EXPECT_EQ(keys, (std::vector<std::string>{"Id", "Version", "BundleId", "DeviceId", "DeviceIdSerial", "MacAddress",
                                              "DeviceName", "SystemVersion", "Platform", "Locale"}));
    EXPECT_TRUE(std::regex_match(value(info, "Id"), std::regex("[0-9A-F]{8}-([0-9A-F]{4}-){3}[0-9A-F]{12}")));
    EXPECT_EQ(value(info, "Id"), diagnosis.diagnosisIdentifier());
    EXPECT_EQ(value(info, "Version"), "123");
    EXPECT_EQ(value(info, "BundleId"), "net.vantreo.test.Fixture");
    EXPECT_EQ(value(info, "MacAddress"), "001122334455");
    // SHA-256 of the six address bytes, and its leading base-58 digits as a serial.
    EXPECT_EQ(value(info, "DeviceId"), "48f4634d1002f9f3c7570cb43e00dd869b22c79538e9b4adc7e402de1189cfe1");
    EXPECT_EQ(value(info, "DeviceIdSerial"), "5unVY-Xoc1m-YHcnB-H6aj3-Zuvkv");
    EXPECT_EQ(value(info, "DeviceName"), "Test Machine");
    EXPECT_EQ(value(info, "SystemVersion"), "12.0.0");
    EXPECT_EQ(value(info, "Platform"), "Debian GNU/Linux");

    const std::string json = diagnosis.systemInfoJSON();
    EXPECT_EQ(json.substr(0, 2), "{\n");
    EXPECT_NE(json.find("  \"MacAddress\" : \"001122334455\""), std::string::npos);
    EXPECT_EQ(json.back(), '}');
}

// The JSON goes into page scripts: whatever the machine calls itself, it reads back as the same
// values, and text that is no UTF-8 gives the empty set.
TEST(WQDiagnosisTest, JSONReadsBackAsTheSameValues) {
    const std::string models[] = {"Tom's \"Box\" </script><!--", "back\\slash\tand\x01" "control",
                                  "line\xE2\x80\xA8separator \xC3\xA9t\xC3\xA9 \xC2\x85"};
    int index = 0;
    for (const std::string& model : models) {
        SCOPED_TRACE(model);
        const std::string name = "json" + std::to_string(index++);
        platform::UserDefaults defaults(tmp(name + ".plist"));
        platform::Bundle bundle(PARLIVO_FIXTURES_DIR "/bundle");
        WQDiagnosis diagnosis(defaults, bundle, platform::SystemInfo(machine(name, true, model)));
        const auto read = platform::scriptValueFromJSON(diagnosis.systemInfoJSON());
        ASSERT_TRUE(read && read->asDictionary());
        const auto info = diagnosis.systemInfo();
        EXPECT_EQ(read->asDictionary()->size(), info.size());
        for (const auto& [key, text] : info) EXPECT_EQ((*read)[key].stringOr("<missing>"), text) << key;
        EXPECT_EQ(value(info, "DeviceName"), model);
    }

    platform::UserDefaults defaults(tmp("json-bytes.plist"));
    platform::Bundle bundle(PARLIVO_FIXTURES_DIR "/bundle");
    WQDiagnosis diagnosis(defaults, bundle, platform::SystemInfo(machine("json-bytes", true, "no \xFF text")));
    EXPECT_EQ(diagnosis.systemInfoJSON(), "{}");
}

TEST(WQDiagnosisTest, IdentifierAndLaunchCountSurviveARestart) {
    const fs::path file = tmp("restart.plist");
    platform::Bundle bundle(PARLIVO_FIXTURES_DIR "/bundle");
    std::string id;
    {
        platform::UserDefaults defaults(file);
        WQDiagnosis first(defaults, bundle, platform::SystemInfo(machine("m2", true)));
        id = first.diagnosisIdentifier();
        EXPECT_EQ(first.diagnosisIdentifier(), id);
    }
    platform::UserDefaults defaults(file);
    WQDiagnosis second(defaults, bundle, platform::SystemInfo(machine("m2", true)));
    EXPECT_EQ(defaults.integerForKey(WQDiagnosis::LaunchNumberKey), 2);
    EXPECT_EQ(second.diagnosisIdentifier(), id);
}

TEST(WQDiagnosisTest, MissingFactsFallBack) {
    platform::UserDefaults defaults(tmp("fallback.plist"));
    defaults.setData(WQDiagnosis::UUIDKey, {1, 2});  // not text: replaced
    platform::Bundle bundle(bundleWithout("bare-bundle"));
    WQDiagnosis diagnosis(defaults, bundle, platform::SystemInfo(machine("m3", false)));
    const auto info = diagnosis.systemInfo();
    EXPECT_EQ(info.size(), 10u);
    EXPECT_EQ(value(info, "Version"), "0");  // present, but not text
    EXPECT_EQ(value(info, "BundleId"), "net.vantreo.Unknown");
    for (const char* key : {"DeviceId", "DeviceIdSerial", "MacAddress"}) EXPECT_EQ(value(info, key), "unknown") << key;
    EXPECT_EQ(value(info, "Id").size(), 36u);
    EXPECT_EQ(defaults.stringForKey(WQDiagnosis::UUIDKey), value(info, "Id"));
}

TEST(WQSendMailTest, ComposesSubjectAndBody) {
    platform::Bundle named(PARLIVO_FIXTURES_DIR "/bundle");
    platform::Bundle unnamed(bundleWithout("unnamed-bundle"));
    auto json = [] { return std::string("{}"); };

    WQSendMail fresh(named, json);
    fresh.send();  // nothing composed: nothing happens
    EXPECT_FALSE(fresh.address);

    WQSendMail page(named, json);
    page.composeSupportMail("someone@example.org", "", false, "Hello");
    EXPECT_EQ(page.address, "someone@example.org");
    EXPECT_EQ(page.subject, "");
    EXPECT_EQ(page.message, "Hello\n\nSystemInfo: {}");

    WQSendMail help(unnamed, json);
    help.composeSupportMail("s@example.org", "ignored", true, "");
    EXPECT_EQ(help.subject, "Vantreo App help request");
    EXPECT_EQ(help.message, "\n\nSystemInfo: {}");

    WQSendMail named2(named, json);
    named2.composeSupportMail("s@example.org", "ignored", true, "x");
    EXPECT_EQ(named2.subject, "Fixture help request");
}

TEST(WQSendMailTest, ErrorMailCarriesTheReport) {
    platform::Bundle bundle(PARLIVO_FIXTURES_DIR "/bundle");
    auto json = [] { return std::string("{\"Id\":1}"); };
    const std::string separator = WQSendMail::errorSeparator;
    EXPECT_EQ(separator.size(), 93u);

    WQSendMail none(bundle, json);
    none.composeErrorMail("s@example.org", "x", true, std::nullopt, std::nullopt);
    EXPECT_EQ(none.message, "Add your personal message here ..." + separator + "No error found...\n\nSystemInfo: {\"Id\":1}");

    WQSendMail empty(bundle, json);
    empty.composeErrorMail("s@example.org", "x", false, std::string(), platform::Error{"NSURLErrorDomain", -1009, "offline"});
    EXPECT_EQ(empty.subject, "x");
    EXPECT_EQ(empty.message, separator + "Error Domain=NSURLErrorDomain Code=-1009 \"offline\"\n\nSystemInfo: {\"Id\":1}");
}
