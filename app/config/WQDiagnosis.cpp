#include "WQDiagnosis.h"

#include <glib.h>

#include <cctype>

#include "BaseConverter.h"
#include "StringExtensions.h"
#include "system/Crypto.h"

namespace parlivo {
namespace {

std::string upperCaseUUID() {
    gchar* uuid = g_uuid_string_random();
    std::string text(uuid);
    g_free(uuid);
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::optional<std::vector<uint8_t>> copyEn0MACAddress(const platform::SystemInfo& system) {
    return system.primaryMACAddress();
}

WQDiagnosis& WQDiagnosis::shared() {
    static WQDiagnosis* instance =
        new WQDiagnosis(platform::UserDefaults::standard(), platform::Bundle::main(), platform::SystemInfo());
    return *instance;
}

WQDiagnosis::WQDiagnosis(platform::UserDefaults& defaults, const platform::Bundle& bundle, platform::SystemInfo system)
    : defaults_(defaults), bundle_(bundle), system_(std::move(system)) {
    defaults_.setInteger(LaunchNumberKey, defaults_.integerForKey(LaunchNumberKey) + 1);
}

std::string WQDiagnosis::diagnosisIdentifier() {
    if (auto stored = defaults_.stringForKey(UUIDKey)) return *stored;
    std::string uuid = upperCaseUUID();
    defaults_.setString(UUIDKey, uuid);
    return uuid;
}

std::vector<std::pair<std::string, std::string>> WQDiagnosis::systemInfo() {
    const std::string version = bundle_.infoString("CFBundleVersion").value_or("0");
    std::string bundleId = bundle_.bundleIdentifier();
    if (bundleId.empty()) bundleId = "net.vantreo.Unknown";

    std::string macAddress = "unknown", deviceId = "unknown", deviceIdSerial = "unknown";
    if (auto mac = copyEn0MACAddress(system_)) {
        macAddress = platform::Crypto::hexString(*mac);
        deviceId = platform::Crypto::sha256Hex(*mac);
        deviceIdSerial = tovak::toSerial(tovak::BaseConverter::hexToAlphabet(deviceId), int(kSerialBlocks),
                                         int(kSerialBlockLength));
    }
    const auto os = system_.operatingSystemVersion();
    const std::string systemVersion =
        std::to_string(os.major) + "." + std::to_string(os.minor) + "." + std::to_string(os.patch);

    return {{"Id", diagnosisIdentifier()},
            {"Version", version},
            {"BundleId", bundleId},
            {"DeviceId", deviceId},
            {"DeviceIdSerial", deviceIdSerial},
            {"MacAddress", macAddress},
            {"DeviceName", system_.hardwareModel()},
            {"SystemVersion", systemVersion},
            {"Platform", system_.operatingSystemName()},
            {"Locale", platform::SystemInfo::currentLocaleIdentifier()}};
}

std::string WQDiagnosis::systemInfoJSON() {
    const auto entries = systemInfo();
    // Values read from files may hold bytes that are no text: such a set is not told at all.
    for (const auto& [key, value] : entries)
        if (!g_utf8_validate_len(value.data(), value.size(), nullptr)) return "{}";
    // The text goes into page scripts (`wqPlatform`): keys and values are written by the
    // scripts' one escaper, whose literals are JSON strings as well.
    std::string json = "{\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        json += "  " + tovak::javascriptStringLiteral(entries[i].first) + " : " +
                tovak::javascriptStringLiteral(entries[i].second);
        json += i + 1 < entries.size() ? ",\n" : "\n";
    }
    return json + "}";
}

}  // namespace parlivo
