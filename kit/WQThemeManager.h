#pragma once

#include <string_view>

#include "VisualStyle.h"
#include "foundation/ObserverToken.h"

namespace platform {
class UserDefaults;
}

namespace tovak {

// The chosen visual style, kept in the user defaults. Every write posts
// visualStyleDidChangeNotification (object: the manager) on the default notification centre;
// while the style is automatic, a switch of the desktop between light and dark posts it too,
// so observers re-read getAppearanceName() and apply it (platform::Appearance::apply).
class WQThemeManager {
public:
    static constexpr std::string_view kClassName = "WQThemeManager";
    static constexpr const char* kWQThemeManagerUserDefaultsKey = "Tovak.WQThemeManagerTheme";
    static constexpr std::string_view visualStyleDidChangeNotification =
        "WQThemeManagerVisualStyleDidChangeNotification";

    static WQThemeManager& shared();
    // A manager over other settings (tests); shared() uses the standard user defaults.
    explicit WQThemeManager(platform::UserDefaults& defaults);
    ~WQThemeManager();
    WQThemeManager(const WQThemeManager&) = delete;
    WQThemeManager& operator=(const WQThemeManager&) = delete;

    // Read from the settings on every call; a stored value outside 0 to 2 reads as automatic.
    VisualStyle visualStyle() const;
    // Stores the style and posts the change notification, also when the value is unchanged.
    void setVisualStyle(VisualStyle style);

    // The desktop switched between light and dark: with the automatic style, writes it again
    // (and so posts the change); otherwise nothing.
    void themeChanged();

private:
    platform::UserDefaults& defaults_;
    platform::ObserverToken systemThemeObserver_;
};

}  // namespace tovak
