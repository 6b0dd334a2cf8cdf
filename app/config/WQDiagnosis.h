#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/Bundle.h"
#include "foundation/UserDefaults.h"
#include "system/SystemInfo.h"

namespace parlivo {

// The MAC address of the interface standing for "en0", or none.
std::optional<std::vector<uint8_t>> copyEn0MACAddress(const platform::SystemInfo& system = platform::SystemInfo());

// Which installation and which machine this is, for support mails and the page (`wqPlatform`):
// ten text values, and the same as JSON text. Keeps a random installation identifier and a
// launch counter in the user defaults.
class WQDiagnosis {
public:
    static constexpr int64_t kSerialBlocks = 5;
    static constexpr int64_t kSerialBlockLength = 5;
    static constexpr const char* LaunchNumberKey = "WQDiagnosis.LaunchNumber";
    static constexpr const char* UUIDKey = "WQDiagnosis.UUID";

    // The one instance over the standard user defaults, the main bundle and this machine.
    // Creating it counts a launch.
    static WQDiagnosis& shared();

    // Counts a launch in `defaults`.
    WQDiagnosis(platform::UserDefaults& defaults, const platform::Bundle& bundle, platform::SystemInfo system);
    virtual ~WQDiagnosis() = default;

    // The installation's identifier: an upper-case UUID, made and stored on first use.
    virtual std::string diagnosisIdentifier();
    // The ten entries in the order they are put in (keys "Id", "Version", "BundleId",
    // "DeviceId", "DeviceIdSerial", "MacAddress", "DeviceName", "SystemVersion", "Platform",
    // "Locale").
    virtual std::vector<std::pair<std::string, std::string>> systemInfo();
    // The entries as pretty-printed JSON, each text a literal of the page scripts' escaper; "{}"
    // when a value is no UTF-8 text.
    virtual std::string systemInfoJSON();

private:
    platform::UserDefaults& defaults_;
    const platform::Bundle& bundle_;
    platform::SystemInfo system_;
};

}  // namespace parlivo
