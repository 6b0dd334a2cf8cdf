#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The small enumerations stored in the settings or passed between parts of the main program.
// Raw values are what the settings store and what menus use as tags; they never change.
//
//   fromRaw<E>(value)  the case with that raw value, or none
//   allCases<E>()      the cases in their fixed order (pop-up menus list them so)
//   rawValue(e)        the raw value
namespace parlivo {

// Lock-after choices, in seconds (stored under "privacyLockAfter").
enum class PrivacyTimeInterval : int {
    oneMinute = 60,
    fiveMinutes = 300,
    tenMinutes = 600,
    halfHour = 1800,
    oneHour = 3600,
};

// Appearance of the windows and the web client (stored under "kVisualStyle").
// `automatic` is the case the settings call "auto" (a C++ keyword).
enum class VisualStyle : int { automatic = 0, light = 1, dark = 2, mixed = 3 };

// Held in memory only; every start begins with defaultMode.
enum class WindowMode : int { defaultMode = 0, alwaysOnTop = 1 };

// What Return does in the chat's text field (stored under "returnKeyAction"); with newLine
// the web view swaps Return and Shift+Return.
enum class ReturnKeyAction : int { send = 1, newLine = 2 };

// The three icon states of the status item.
enum class TrellikStatusItemStyle : int { defaultStyle = 0, notification = 1, warning = 2 };

// Commands the native side asks the web client to perform; the code is the raw value.
enum class NativeAction : int {
    showConversationDetail = 0,
    searchConversationContent = 1,
    newChat = 2,
    newGroup = 3,
    profileAndStatus = 4,
    archive = 5,
    activeContacts = 6,
    camera = 7,
    image = 8,
    video = 9,
    document = 10,
    contact = 11,
};

template <class E>
constexpr auto allCases();

template <>
constexpr auto allCases<PrivacyTimeInterval>() {
    using enum PrivacyTimeInterval;
    return std::array{oneMinute, fiveMinutes, tenMinutes, halfHour, oneHour};
}
template <>
constexpr auto allCases<VisualStyle>() {
    using enum VisualStyle;
    return std::array{automatic, light, dark, mixed};
}
template <>
constexpr auto allCases<WindowMode>() {
    return std::array{WindowMode::defaultMode, WindowMode::alwaysOnTop};
}
template <>
constexpr auto allCases<ReturnKeyAction>() {
    return std::array{ReturnKeyAction::send, ReturnKeyAction::newLine};
}
template <>
constexpr auto allCases<TrellikStatusItemStyle>() {
    using enum TrellikStatusItemStyle;
    return std::array{defaultStyle, notification, warning};
}
template <>
constexpr auto allCases<NativeAction>() {
    using enum NativeAction;
    return std::array{showConversationDetail, searchConversationContent, newChat, newGroup, profileAndStatus, archive,
                      activeContacts, camera, image, video, document, contact};
}

template <class E>
constexpr std::int64_t rawValue(E value) {
    return static_cast<std::int64_t>(value);
}

template <class E>
constexpr std::optional<E> fromRaw(std::int64_t raw) {
    for (E candidate : allCases<E>())
        if (rawValue(candidate) == raw) return candidate;
    return std::nullopt;
}

// --- VisualStyle ---

// "AppleInterfaceStyle" read exactly: "Dark" (case-sensitive) is dark, anything else or
// nothing is light.
bool interfaceStyleIsDark(const std::optional<std::string>& appleInterfaceStyle);
// Whether the system runs dark: a stored "AppleInterfaceStyle" decides when present; without
// it (the usual case on Linux) the desktop's preference (platform::Appearance) does.
// Main thread only.
bool systemIsDark();

// The appearance for windows and views: platform::Appearance::kVibrantDark or kVibrantLight.
// automatic follows `systemDark`; dark and mixed are dark.
std::string_view appearance(VisualStyle style, bool systemDark);
std::string_view appearance(VisualStyle style);  // with systemIsDark()
// The word handed to the web client and the notification panel: "Light", "Dark", "Mixed";
// automatic gives "Dark" or "Light" after `systemDark`.
std::string_view styleName(VisualStyle style, bool systemDark);
std::string_view styleName(VisualStyle style);  // with systemIsDark()
// The localized display title ("VUSIAL_STYLE_AUTO" / "Auto" ...).
std::string title(VisualStyle style);
// The localization key and English default behind title().
std::string_view titleKey(VisualStyle style);
std::string_view defaultTitle(VisualStyle style);

}  // namespace parlivo
