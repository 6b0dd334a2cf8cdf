#pragma once

#include <string_view>

// The user-defaults keys of the main program, defined once here. Each constant is named after
// its key text (misspellings such as "Enabeld" are part of the stored keys and stay).
namespace parlivo::keys {

// --- Settings of the settings model ---
inline constexpr std::string_view doNotDisturbEnabled = "doNotDisturbEnabled";
inline constexpr std::string_view desktopNotificationsEnabled = "desktopNotificationsEnabled";
inline constexpr std::string_view menuBarNotificationsEnabeld = "menuBarNotificationsEnabeld";
inline constexpr std::string_view dockIconNotificationsEnabeld = "dockIconNotificationsEnabeld";
inline constexpr std::string_view desktopNotificationsShowSender = "desktopNotificationsShowSender";
inline constexpr std::string_view desktopNotificationsShowSenderImage = "desktopNotificationsShowSenderImage";
inline constexpr std::string_view desktopNotificationsShowMessagePreview = "desktopNotificationsShowMessagePreview";
inline constexpr std::string_view desktopNotificationsPlayAudio = "desktopNotificationsPlayAudio";
// Read once, to seed the launch-at-login manager's own key on its first launch.
inline constexpr std::string_view launchAtLogin = "launchAtLogin";
// The launch-at-login manager's own key.
inline constexpr std::string_view tovakLaunchAtLoginManager = "Tovak.LaunchAtLoginManager";
inline constexpr std::string_view showMenuBarIcon = "showMenuBarIcon";
inline constexpr std::string_view showDockIcon = "showDockIcon";
// Int: raw value of ReturnKeyAction.
inline constexpr std::string_view returnKeyAction = "returnKeyAction";
inline constexpr std::string_view privacyLockdown = "privacyLockdown";
inline constexpr std::string_view privacyModeEnabled = "privacyModeEnabled";
inline constexpr std::string_view privacyModeTouchIDEnabled = "privacyModeTouchIDEnabled";
// Int: seconds, a raw value of PrivacyTimeInterval.
inline constexpr std::string_view privacyLockAfter = "privacyLockAfter";
inline constexpr std::string_view privacyDesktopNotificationsEnabled = "privacyDesktopNotificationsEnabled";
inline constexpr std::string_view privacyDesktopNotificationsShowSender = "privacyDesktopNotificationsShowSender";
inline constexpr std::string_view privacyDesktopNotificationsShowSenderImage = "privacyDesktopNotificationsShowSenderImage";
inline constexpr std::string_view privacyDesktopNotificationsShowPreview = "privacyDesktopNotificationsShowPreview";
inline constexpr std::string_view privacyDesktopNotificationsPlayAudio = "privacyDesktopNotificationsPlayAudio";
inline constexpr std::string_view privacyMenuBarNotification = "privacyMenuBarNotification";
inline constexpr std::string_view privacyDockIconNotification = "privacyDockIconNotification";
// Double.
inline constexpr std::string_view privacyStealthModeAlpha = "privacyStealthModeAlpha";
inline constexpr std::string_view privacyStealthModeShowContentOnMouseOver = "privacyStealthModeShowContentOnMouseOver";
inline constexpr std::string_view kMonochromeMenuBar = "kMonochromeMenuBar";
// Int: raw value of VisualStyle.
inline constexpr std::string_view kVisualStyle = "kVisualStyle";
// Int: the page's font size in CSS pixels, which the page applies as its zoom (16, the web's
// standard size, shows the page as designed).
inline constexpr std::string_view kFontSize = "kFontSize";

// Not a key by itself: the name handed to the password store, which keeps the digest under
// passwordHandlerPrefix + privacyPassword.
inline constexpr std::string_view privacyPassword = "privacyPassword";

// --- Keys owned by other parts, listed so that none is reused ---
inline constexpr std::string_view mainWindowFrame = "mainWindow.frame";
inline constexpr std::string_view mainWindowFullScreen = "mainWindow.fullScreen";
inline constexpr std::string_view mainWindowIsOnScreen = "mainWindow.isOnScreen";
inline constexpr std::string_view globalKeyboardShortcut = "GlobalKeyboardShortcut";
inline constexpr std::string_view diagnosisUUID = "WQDiagnosis.UUID";
inline constexpr std::string_view diagnosisLaunchNumber = "WQDiagnosis.LaunchNumber";
inline constexpr std::string_view localWebStore = "WQLocalWebStore";
inline constexpr std::string_view mediaType = "WQMedia.Type";
inline constexpr std::string_view notificationSoundFileName = "WQNotificationSound.FileName";
inline constexpr std::string_view notificationSoundCustomSound = "WQNotificationSound.CustomSound";
inline constexpr std::string_view notificationSoundURL = "WQNotificationSound.URL";
inline constexpr std::string_view userSelectedSoundFileName = "UserSelectedSoundFileName";
// Followed by the stored name ("WQPassowrdHandler." is the stored spelling).
inline constexpr std::string_view passwordHandlerPrefix = "WQPassowrdHandler.";
inline constexpr std::string_view tovakLaunchAtLoginManagerLaunchCount = "Tovak.LaunchAtLoginManagerLaunchCount";
inline constexpr std::string_view tovakLaunchAtLoginShowReminder = "Tovak.LaunchAtLoginShowReminder";
inline constexpr std::string_view tovakWQThemeManagerTheme = "Tovak.WQThemeManagerTheme";

// Read, never written: "Dark" means the system runs in dark mode.
inline constexpr std::string_view appleInterfaceStyle = "AppleInterfaceStyle";

}  // namespace parlivo::keys

namespace parlivo::constants {

// Where support mail goes.
inline constexpr std::string_view supportAddress = "support@vantreo.net";
// The product's path segment in the configuration server's URLs.
inline constexpr std::string_view productPathWord = "ParlivoForWhatsApp";

}  // namespace parlivo::constants
