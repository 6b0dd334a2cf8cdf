#pragma once

#include <string_view>

// The in-process notification names of the main program, defined once here. All are posted on
// the default notification centre on the main thread, without user info.
namespace parlivo::names {

// Posted by the settings model when the stored lock state changes.
inline constexpr std::string_view privacyChanged = "kPrivacyChanged";
inline constexpr std::string_view doNotDisturbModeChanged = "kNotifyDoNotDisturbModeChanged";
inline constexpr std::string_view stealthModeChanged = "kNotifyStealthModeChanged";
inline constexpr std::string_view visualizationStyleChanged = "kNotifyVisualizationStyleChanged";
inline constexpr std::string_view windowModeChanged = "kNotifyWindowModeChanged";
// Posted by the application delegate's about action, observed by itself.
inline constexpr std::string_view showAbout = "kNotifyShowAbout";
// Posted by the window controller when the main window becomes key.
inline constexpr std::string_view didBecomeKeyWindow = "kNotifyDidBecomeKeyWindow";
// Posted by the main window after it was brought to the front; nobody observes it.
inline constexpr std::string_view notificationWindowDidBecomeKeyAndOrderedFront =
    "NotificationWindowDidBecomeKeyAndOrderedFront";
// Posted by the tray item when a tray host starts or stops showing it (or it is made or removed):
// the main window may only go out of sight while the tray can bring it back.
inline constexpr std::string_view statusItemDisplayChanged = "ParlivoStatusItemDisplayChanged";

}  // namespace parlivo::names
