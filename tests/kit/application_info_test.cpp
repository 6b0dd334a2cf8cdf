// Launch switches, the debug log line and the bundle facts with their fallbacks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DebugPrint.h"
#include "WQApplicationInfo.h"
#include "WQDebugController.h"
#include "WQDeviceInfo.h"
#include "foundation/ProcessInfo.h"

namespace fs = std::filesystem;
using namespace tovak;

TEST(WQDebugController, OnlyExactArgumentsSwitchDebugAndBeta) {
    struct Case {
        std::vector<std::string> arguments;
        bool debug, beta;
    } cases[] = {
        {{"parlivo"}, false, false},
        {{"parlivo", "-de"}, true, false},
        {{"parlivo", "-beta", "x", "-de"}, true, true},
        {{"parlivo", "-de", "-beta"}, true, true},
        {{"parlivo", "-debug", "-DE", "de", "x-de", "-beta2", "-Beta"}, false, false},
        {{"-de"}, true, false},  // argv[0] is looked at too
        {{}, false, false},
    };
    for (const auto& c : cases) {
        WQDebugController controller(c.arguments);
        EXPECT_EQ(controller.debug(), c.debug) << testing::PrintToString(c.arguments);
        EXPECT_EQ(controller.beta(), c.beta) << testing::PrintToString(c.arguments);
    }
}

TEST(WQDebugController, SharedInstanceReadsTheLaunchArgumentsOnce) {
    platform::ProcessInfo::setArguments({"parlivo", "-beta", "-de"});
    auto& shared = WQDebugController::sharedInstance();
    EXPECT_TRUE(shared.debug());
    EXPECT_TRUE(shared.beta());
    platform::ProcessInfo::setArguments({"parlivo"});
    EXPECT_TRUE(WQDebugController::sharedInstance().debug());
    EXPECT_EQ(&WQDebugController::sharedInstance(), &shared);
}

namespace {

class Base {
public:
    static constexpr std::string_view kClassName = "Base";
    virtual ~Base() = default;
    virtual std::string_view className() const { return kClassName; }
    void work() const { debugPrint(*this, "working"); }
};

class Derived : public Base {
public:
    std::string_view className() const override { return "Derived"; }
};

}  // namespace

TEST(DebugPrint, WritesTypeArrowMessageOnlyInDebugMode) {
    auto& shared = WQDebugController::sharedInstance();
    shared.setDebug(true);
    testing::internal::CaptureStdout();
    debugPrint("ViewController", "hello");
    debugPrint("X", "");
    Derived().work();
    Base().work();
    shared.setDebug(false);
    debugPrint("ViewController", "hidden");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ViewController ===> hello\nX ===> \nDerived ===> working\nBase ===> working\n");
}

namespace {

fs::path makeBundle(const std::string& name, const std::string& dictionaryBody) {
    const char* tmp = std::getenv("TMPDIR");
    const fs::path folder = fs::path(tmp ? tmp : "/tmp") / ("bundle-" + std::to_string(getpid()) + "-" + name);
    fs::create_directories(folder);
    std::ofstream(folder / "Info.plist") << R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>)"
                                         << dictionaryBody << "</dict></plist>";
    return folder;
}

}  // namespace

TEST(WQApplicationInfo, ReadsTheInfoDictionaryWithFixedFallbacks) {
    const platform::Bundle full(makeBundle("full",
                                           "<key>CFBundleIdentifier</key><string>net.vantreo.mac.WhatsApp</string>"
                                           "<key>CFBundleName</key><string>Parlivo</string>"
                                           "<key>CFBundleShortVersionString</key><string>2.1</string>"
                                           "<key>CFBundleVersion</key><string>105</string>"));
    EXPECT_EQ(WQApplicationInfo::bundleIdentifier(full), "net.vantreo.mac.WhatsApp");
    EXPECT_EQ(WQApplicationInfo::applicationName(full), "Parlivo");
    // Crossed names, as callers expect: the short version is bundleVersionString.
    EXPECT_EQ(WQApplicationInfo::bundleVersionString(full), "2.1");
    EXPECT_EQ(WQApplicationInfo::bundleShortVersionString(full), "105");

    const platform::Bundle wrongTypes(makeBundle("types",
                                                 "<key>CFBundleName</key><integer>3</integer>"
                                                 "<key>CFBundleVersion</key><integer>105</integer>"));
    EXPECT_EQ(WQApplicationInfo::bundleIdentifier(wrongTypes), "default");
    EXPECT_EQ(WQApplicationInfo::applicationName(wrongTypes), "Default");
    EXPECT_EQ(WQApplicationInfo::bundleVersionString(wrongTypes), "default");
    EXPECT_EQ(WQApplicationInfo::bundleShortVersionString(wrongTypes), "default");

    const platform::Bundle missing(fs::path("/nonexistent/bundle"));
    EXPECT_EQ(WQApplicationInfo::applicationName(missing), "Default");
    EXPECT_EQ(WQApplicationInfo::bundleVersionString(missing), "default");
}

TEST(WQApplicationInfo, MainBundleIsTheProgramsOwn) {
    EXPECT_EQ(WQApplicationInfo::bundleIdentifier(), "net.vantreo.mac.WhatsApp");
    EXPECT_FALSE(WQDeviceInfo::getDeviceName().empty());
}
