#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "WQIdleTimer.h"
#include "foundation/ObserverToken.h"
#include "settings/ActivationPolicy.h"
#include "settings/Enums.h"
#include "settings/GlobalShortcut.h"
#include "settings/StatusIndicator.h"
#include "settings/TrellikApplicationDelegate.h"
#include "settings/TrellikSettingsDelegate.h"
#include "settings/TrellikWebViewDelegate.h"
#include "settings/TrellikWindowDelegate.h"
#include "settings/UserNotification.h"

namespace tovak {
class WQTemporaryDirectory;
}  // namespace tovak

namespace parlivo {

// A share that waits for the web view (see Trellik::share). Whoever holds it owns the temporary
// directory; the directory removes itself when the last holder lets go.
struct PendingShare {
    std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory;
    std::optional<std::vector<std::filesystem::path>> fileUrls;
    std::optional<std::string> text;
};

// The program's one settings model and the hub a settings change goes through. Every setter
// persists its key in the standard user defaults first, then tells the delegates in its fixed
// order, then posts its notification. Readers read the user defaults directly or through the
// typed readers below. Main thread only.
class Trellik {
public:
    // The shared instance, made on first use and kept until the process ends.
    static Trellik& shared();

    // Runs the whole start-up. The program uses shared(); tests make their own instances, and
    // may give the idle timer a clock and input source of their own.
    Trellik();
    explicit Trellik(tovak::WQIdleTimer::Environment idleTimerEnvironment);
    ~Trellik();
    Trellik(const Trellik&) = delete;
    Trellik& operator=(const Trellik&) = delete;

    // The login helper the launch-at-login manager registers.
    static constexpr std::string_view launchHelperBundleIdentifier = "net.vantreo.mac.WhatsApp-Helper";

    // --- Delegates (held weakly: their owners keep them; a missing or released one is skipped).
    //     Setting null removes one. ---
    std::shared_ptr<TrellikWindowDelegate> windowDelegate() const { return windowDelegate_.lock(); }
    void setWindowDelegate(const std::shared_ptr<TrellikWindowDelegate>& delegate) { windowDelegate_ = delegate; }
    std::shared_ptr<TrellikWebViewDelegate> webViewDelegate() const { return webViewDelegate_.lock(); }
    void setWebViewDelegate(const std::shared_ptr<TrellikWebViewDelegate>& delegate) { webViewDelegate_ = delegate; }
    std::shared_ptr<TrellikSettingsDelegate> settingsDelegate() const { return settingsDelegate_.lock(); }
    void setSettingsDelegate(const std::shared_ptr<TrellikSettingsDelegate>& delegate) { settingsDelegate_ = delegate; }
    // The application delegate: the way to the windows (preferences, the "Need help?" prompt,
    // messages to the user). The settings model opens no window itself.
    std::shared_ptr<TrellikApplicationDelegate> applicationDelegate() const { return applicationDelegate_.lock(); }
    void setApplicationDelegate(std::weak_ptr<TrellikApplicationDelegate> delegate) { applicationDelegate_ = std::move(delegate); }
    // Delivery of desktop notifications; none delivers nothing (the count and badge still work).
    void setNotificationDelivery(std::shared_ptr<DesktopNotificationDelivery> delivery) { notificationDelivery_ = std::move(delivery); }

    // --- Owned parts ---
    // The tray item and launcher badge, and the global shortcut, are made by the shell and handed
    // over here (a model without them shows nothing on the desktop and has no shortcut). The
    // shortcut's action becomes "tell the window delegate".
    StatusIndicator* statusItem() const { return statusItem_.get(); }
    void setStatusItem(std::unique_ptr<StatusIndicator> statusItem) { statusItem_ = std::move(statusItem); }
    tovak::WQIdleTimer& idleTimer() const { return *idleTimer_; }
    GlobalShortcut* shortCut() const { return shortCut_.get(); }
    void setShortCut(std::unique_ptr<GlobalShortcut> shortcut);

    // --- Setters of persisted settings ---
    void setDoNotDisturbEnabled(bool value);
    void setDesktopNotificationsEnabled(bool value);
    void setShowMenuBarIcon(bool value);
    void setShowDockIcon(bool value);
    void setPrivacyModeEnabled(bool value);
    void setPrivacyLockAfter(PrivacyTimeInterval value);
    void setPrivacyDesktopNotificationsEnabled(bool value);
    // Clamped to 0.0 ... 1.0 before it is stored; switches stealth mode on.
    void setPrivacyStealthModeAlpha(double value);
    void setPrivacyStealthModeShowContentOnMouseOver(bool value);
    void setMonochromeMenuBar(bool value);
    void setVisualStyle(VisualStyle value);
    void setFontSize(int value);
    void setReturnKeyAction(ReturnKeyAction value);
    // A setting that is only stored: nothing follows it at once, its users read it when they
    // need it (the notification details, the page permissions). Settings with a setter of
    // their own above go through that setter.
    void setBoolSetting(std::string_view key, bool value);
    // Engages (true) or releases (false) the privacy lock. Posts "kPrivacyChanged" only when the
    // stored state changes; every release restarts the idle timer.
    void setPrivacyLockdown(bool value);
    // Whether the lock screen is up ("privacyLockdown").
    bool privacyLockdown() const;

    // --- In-memory state (not persisted) ---
    bool privacyStealthModeActive() const { return privacyStealthModeActive_; }
    // Every set tells window, page and pane and posts "kNotifyStealthModeChanged", also when
    // the value does not change.
    void setPrivacyStealthModeActive(bool value);
    WindowMode windowMode() const { return windowMode_; }
    void setWindowMode(WindowMode value);
    // New messages counted since the last clearing and not yet activated; never below 0. A
    // message with the identifier (the page's tag) of one still standing replaces it and is not
    // counted again.
    int unreadMessages() const { return unreadMessages_; }
    void setUnreadMessages(int value);
    const std::optional<PendingShare>& pendingShare() const { return pendingShare_; }
    // The share waiting for a web view, handed over and no longer kept here (nothing when none
    // waits): the web view that has just registered shows it itself.
    std::optional<PendingShare> takePendingShare() { return std::exchange(pendingShare_, std::nullopt); }

    // --- Privacy lock ---
    // Brings the idle timer in line with "privacyModeEnabled" and "privacyLockdown": the one
    // place that arms it.
    void updatePrivacyIdleTimer();
    // The idle timer's notification: engage the lock (only while privacy mode is on).
    void idleTimerFired();

    // --- Forwarders to the web-view delegate ---
    void handleLogOut();
    void reloadWebApp();
    void stopAudioRecording(bool send);
    void sendMenuCommand(NativeAction action);

    // --- Typed readers (read the user defaults at the moment of the call) ---
    VisualStyle currentVisualStyle() const;
    bool showSenderImage() const;
    bool privacyShowSenderImage() const;
    ReturnKeyAction currentReturnKeyAction() const;
    bool boolSetting(std::string_view key) const;
    PrivacyTimeInterval currentLockAfter() const;

    // --- Start-up pieces ---
    // Registers the bundle's "DefaultPreferences.plist" as the registered defaults.
    void registerDefaultPreferences();
    // Shows the tray item (creating it when needed) and refreshes it.
    void createStatusItem();

    // --- Desktop notifications ---
    // The page reported "removeNotifications": the count drops to 0 and every delivered
    // notification is withdrawn.
    void clearDeliveredNotifications();
    // A new message: counts it (unless it replaces a standing one) and, unless notifications are
    // off or do-not-disturb is on, hands it to the delivery (privacy variant while locked).
    void showDesktopNotification(const IncomingMessage& message);
    // The page closed its notification: the desktop notification goes. The message stays
    // counted (it is still unread); a later one with that identifier counts anew.
    void withdrawNotification(const std::string& identifier);
    // The page's "incomingMessageHandler" message body, as it came (see IncomingMessage).
    void showDesktopNotification(const platform::PropertyList& messageBody);
    // The user clicked or replied to a notification: the count goes down (when it still stands),
    // the chat opens (or gets the reply) and a click brings the window up. A reply that arrives
    // while the program is locked is not sent: the web view keeps it for the user.
    void didActivateNotification(const UserNotification& notification);
    // A notification was shown. One without a sound name gets the custom sound, unless
    // do-not-disturb or the sound setting (of the current lock state) says no.
    void didDeliverNotification(const UserNotification& notification);

    // --- Services ---
    // Stores (or with none removes) "wallpaper.jpg" in the user-content folder, then tells the
    // page. A failed write keeps the old file.
    void setWallpaper(const std::optional<std::vector<std::uint8_t>>& jpegData);
    // The "Need help?" prompt (through the application delegate): FAQ, support mail or back.
    void showSupportAlert();
    // Opens the preferences window unless the program is locked.
    void openPreferences();

    // --- Share hand-off ---
    // A share URL from outside ("net.vantreo.mac.whatsapp.share:<path of the archive>"). Only a
    // folder directly inside the share root is taken over; anything else is logged and ignored.
    void processShare(std::string_view url);
    // Hands a share to the web view, or keeps it pending until the web view registers and takes
    // it (takePendingShare).
    void share(std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory,
               std::optional<std::vector<std::filesystem::path>> fileUrls, std::optional<std::string> text);
    // The folder share folders must lie directly in (tests point it elsewhere). By default the
    // app group container.
    void setShareRoot(std::optional<std::filesystem::path> root) { shareRoot_ = std::move(root); }

private:
    void tellSettings();
    void runIdleTimer();
    bool notificationsAllowedNow() const;

    std::unique_ptr<StatusIndicator> statusItem_;
    std::weak_ptr<TrellikWindowDelegate> windowDelegate_;
    std::weak_ptr<TrellikWebViewDelegate> webViewDelegate_;
    std::weak_ptr<TrellikSettingsDelegate> settingsDelegate_;
    std::weak_ptr<TrellikApplicationDelegate> applicationDelegate_;
    std::shared_ptr<DesktopNotificationDelivery> notificationDelivery_;
    std::unique_ptr<tovak::WQIdleTimer> idleTimer_;
    std::unique_ptr<GlobalShortcut> shortCut_;
    bool privacyStealthModeActive_ = false;
    WindowMode windowMode_{};
    int unreadMessages_ = 0;
    // Identifiers of the counted notifications that still stand, oldest first (bounded).
    std::deque<std::string> standingNotifications_;
    std::optional<PendingShare> pendingShare_;
    std::optional<std::filesystem::path> shareRoot_;
    platform::ObserverToken idleObserver_;
    // Cancels the start-up work queued on the main loop when an instance goes away early.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace parlivo
