#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Facts about this machine and this system for support and for the page: the operating system
// from os-release, the hardware model from DMI, and the MAC address of the interface that stands
// for the Mac's "en0". Every path is read below `root`, so tests give a fixture tree.
class SystemInfo {
public:
    struct OSVersion {
        int major = 0, minor = 0, patch = 0;
    };

    explicit SystemInfo(std::filesystem::path root = "/");

    // The MAC address of "en0" when an interface has that name, else of the first Ethernet-type
    // interface (sysfs type 1, not all zeros) in name order, network cards before virtual
    // interfaces; none when there is none.
    std::optional<std::vector<uint8_t>> primaryMACAddress() const;

    // os-release NAME ("Linux" when missing).
    std::string operatingSystemName() const;
    // os-release VERSION_ID as three numbers, missing parts 0.
    OSVersion operatingSystemVersion() const;
    // /sys/class/dmi/id/product_name ("Unknown" when missing or empty).
    std::string hardwareModel() const;

    // The user's locale identifier as language_REGION (from LC_ALL, LC_MESSAGES or LANG,
    // without encoding or modifier); "en_US_POSIX" for the C and POSIX locales.
    static std::string currentLocaleIdentifier();

private:
    std::optional<std::string> osReleaseValue(const std::string& key) const;
    std::filesystem::path root_;
};

}  // namespace platform
