#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// Programs started when the user logs in, as XDG autostart entries:
// $XDG_CONFIG_HOME/autostart/<identifier>.desktop. Writing the entry registers the item,
// removing it unregisters it; the desktop session reads the folder at the next login.
class LoginItems {
public:
    // The launch argument a login item gives the program it starts, so that program knows it
    // was started at login (and keeps its window back).
    static constexpr std::string_view kLaunchedAtLoginArgument = "-launchedAtLogin";

    // Registers (writes the entry) or unregisters (removes it) the login item `identifier`,
    // whose program is the bundled login item (bundledLoginItemExecutable()).
    // True when the item is in the requested state afterwards: enabling fails when the
    // program is missing or the entry cannot be written; disabling an absent entry succeeds.
    static bool setEnabled(const std::string& identifier, bool enabled);
    // The same with an explicit program path.
    static bool setEnabled(const std::string& identifier, const std::filesystem::path& executable, bool enabled);

    // Whether the entry for `identifier` exists.
    static bool isEnabled(const std::string& identifier);

    // $XDG_CONFIG_HOME/autostart/<identifier>.desktop (empty for an identifier that cannot be a
    // file name: empty, ".", "..", or holding '/' or control characters).
    static std::filesystem::path entryPath(const std::string& identifier);

    // The login-item program that ships with the running program:
    // <folder of the executable>/../libexec/parlivo-for-whatsapp/LaunchHelper, normalized.
    static std::filesystem::path bundledLoginItemExecutable();

    // The entry's Exec= value for `executable`, quoted and escaped as the Desktop Entry
    // Specification requires; empty when the path cannot be written there (a line break).
    static std::string execValue(const std::filesystem::path& executable);
};

}  // namespace platform
