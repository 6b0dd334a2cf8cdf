#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "foundation/ObserverToken.h"

namespace platform {

// The desktop's light or dark preference, and the appearance this program asks GTK for.
//
// The preference comes from the desktop portal's setting "org.freedesktop.appearance"
// "color-scheme" (org.freedesktop.portal.Settings on the session bus: 1 prefers dark, 2 prefers
// light). Without a portal, or when it states no preference, the GTK theme's name tells it:
// a name ending in "-dark" is dark. The chosen appearance is GTK's
// "gtk-application-prefer-dark-theme" setting. Main thread only.
//
// The portal is never waited for: its colour scheme is read asynchronously when the portal
// appears on the session bus and then follows its SettingChanged signal; every question here is
// answered from that copy. Until the first answer arrives there is no portal preference.
class Appearance {
public:
    static constexpr std::string_view kVibrantLight = "NSAppearanceNameVibrantLight";
    static constexpr std::string_view kVibrantDark = "NSAppearanceNameVibrantDark";

    // The portal's colour scheme (0 none, 1 dark, 2 light) as last heard, or none without a
    // portal (or before its first answer).
    static std::optional<unsigned> portalColorScheme();
    // Starts reading and following the portal now, so that its answer is there by the time the
    // first window asks (any question or observer starts it too).
    static void startFollowingSystemAppearance();
    // Whether the desktop prefers dark: the portal first, then the theme name.
    static bool systemPrefersDark();
    // The GTK theme's name says dark (false without GTK or a display).
    static bool themeNameIsDark();

    // Calls `block` on the main loop whenever the desktop's preference may have changed:
    // the portal's colour scheme (its first answer included) or the GTK theme's name.
    [[nodiscard]] static ObserverToken addSystemAppearanceObserver(std::function<void()> block);

    // Asks GTK for the dark variant for kVibrantDark and the light one for kVibrantLight.
    // False for any other name, or when GTK has no settings (no display).
    static bool apply(std::string_view appearanceName);
    // GTK's current "gtk-application-prefer-dark-theme" (false without a display).
    static bool prefersDarkTheme();
};

}  // namespace platform
