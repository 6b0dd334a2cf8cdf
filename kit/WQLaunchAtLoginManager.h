#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/ObserverToken.h"

namespace platform {
class UserDefaults;
}

namespace tovak {

// Starting the program at login. It registers the login item LaunchHelper (an XDG autostart
// entry) when launch at login is switched on and removes it when it is switched off, counts the
// program's starts, keeps the flag of the one-time reminder, and runs the handshake with
// LaunchHelper over distributed notifications: at set-up it tells a running helper to quit and
// notes that the program was started at login, and from then on it answers every ping with a
// pong. Main thread only.
class WQLaunchAtLoginManager {
public:
    static constexpr std::string_view kClassName = "WQLaunchAtLoginManager";
    static constexpr const char* kLaunchAtLoginUserDefaultsKey = "Tovak.LaunchAtLoginManager";
    static constexpr const char* kLaunchAtLoginLaunchCountUserDefaultsKey = "Tovak.LaunchAtLoginManagerLaunchCount";
    static constexpr const char* kLaunchAtLoginShowReminder = "Tovak.LaunchAtLoginShowReminder";
    static constexpr const char* kPingNotification = "WQLaunchAtLoginManager.ping";
    static constexpr const char* kPongNotification = "WQLaunchAtLoginManager.pong";
    static constexpr const char* kTerminateHelperAppNotification = "WQLaunchAtLoginManager.terminateHelperApp";

    // Registers (true) or removes (false) the login item; true when that took effect.
    using LoginItemSwitch = std::function<bool(const std::string& identifier, bool enabled)>;

    static WQLaunchAtLoginManager& shared();
    // A manager over other settings and login items (tests). Registers the reminder's default.
    explicit WQLaunchAtLoginManager(platform::UserDefaults& defaults, LoginItemSwitch loginItemSwitch = {});
    ~WQLaunchAtLoginManager();
    WQLaunchAtLoginManager(const WQLaunchAtLoginManager&) = delete;
    WQLaunchAtLoginManager& operator=(const WQLaunchAtLoginManager&) = delete;

    // The helper's identifier ("net.vantreo.mac.WhatsApp-Helper"). Reading it before it was set
    // is a programming error that stops the program. Setting it runs the handshake set-up.
    const std::string& launchAtLoginHelperBundleId() const;
    void setLaunchAtLoginHelperBundleId(std::string identifier);

    std::int64_t launchCount() const;
    void setLaunchCount(std::int64_t count);
    // This is the program's first start (the set-up has counted it).
    bool firstLaunch() const;
    // True until first written.
    bool showReminder() const;
    void setShowReminder(bool show);

    // The stored choice; the system is not asked. Needs the helper identifier.
    bool launchAtLogin() const;
    // Registers or removes the login item with a retry ladder; read launchAtLogin() for the outcome.
    void setLaunchAtLogin(bool enabled);

    // Whether this start came from the login item: a running helper was found at set-up, or the
    // program was started with the login item's launch argument. Needs the helper identifier.
    // The set-up asks the bus for running helpers without waiting; until the answer is in, only
    // the launch argument counts (see whenLaunchIsKnown).
    bool automaticallyLaunched() const;
    // Runs `then` on the main loop once the set-up's question for running helpers has been
    // answered (at once, later on the main loop, when it already has been). Needs the helper
    // identifier.
    void whenLaunchIsKnown(std::function<void()> then);

private:
    void setupHelperCommunication();
    void helpersFound(std::size_t count);
    [[noreturn]] static void helperIdentifierMissing();
    void debug(std::string_view message) const;

    platform::UserDefaults& defaults_;
    LoginItemSwitch loginItemSwitch_;
    std::optional<std::string> launchAtLoginHelperBundleId_;
    std::optional<bool> automaticallyLaunched_;
    bool helperQuestionAnswered_ = false;
    std::vector<std::function<void()>> waitingForLaunch_;
    // Cancels the bus answer's work when the manager goes first (tests make their own managers).
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // The ping observers stay for the manager's life (the shared one's: the process's).
    std::vector<platform::ObserverToken> pingObservers_;
};

}  // namespace tovak
