#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The launcher (dock) badge of the program: the Unity LauncherEntry protocol, a broadcast
// signal com.canonical.Unity.LauncherEntry.Update(s app_uri, a{sv} properties) on the session
// bus with "count" (int64) and "count-visible" (bool). Docks that speak it (Dash to Dock,
// Plank, KDE's task manager, ...) show the count on the program's launcher. Without a session
// bus the badge is only remembered (logged once). Main thread.
class LauncherEntry {
public:
    static constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";
    static constexpr const char* kMember = "Update";
    static constexpr const char* kPath = "/net/vantreo/mac/WhatsApp/LauncherEntry";
    static constexpr const char* kDefaultAppURI = "application://net.vantreo.mac.WhatsApp.desktop";

    // The program's own entry.
    static LauncherEntry& shared();
    explicit LauncherEntry(std::string appURI);

    // Shows `count` on the launcher, or removes the badge with none. Every call is announced,
    // so a dock that started late catches up with the next update.
    void setBadgeCount(std::optional<std::int64_t> count);
    std::optional<std::int64_t> badgeCount() const { return count_; }
    const std::string& appURI() const { return appURI_; }

private:
    std::string appURI_;
    std::optional<std::int64_t> count_;
};

}  // namespace platform
