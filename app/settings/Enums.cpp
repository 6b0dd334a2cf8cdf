#include "settings/Enums.h"

#include "foundation/Localized.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"
#include "ui/Appearance.h"

namespace parlivo {

bool interfaceStyleIsDark(const std::optional<std::string>& appleInterfaceStyle) {
    return appleInterfaceStyle && *appleInterfaceStyle == "Dark";
}

bool systemIsDark() {
    if (auto stored = platform::UserDefaults::standard().stringForKey(keys::appleInterfaceStyle))
        return interfaceStyleIsDark(stored);
    return platform::Appearance::systemPrefersDark();
}

std::string_view appearance(VisualStyle style, bool systemDark) {
    switch (style) {
    case VisualStyle::light: return platform::Appearance::kVibrantLight;
    case VisualStyle::dark:
    case VisualStyle::mixed: return platform::Appearance::kVibrantDark;
    case VisualStyle::automatic: break;
    }
    return systemDark ? platform::Appearance::kVibrantDark : platform::Appearance::kVibrantLight;
}

std::string_view appearance(VisualStyle style) {
    return appearance(style, style == VisualStyle::automatic && systemIsDark());
}

std::string_view styleName(VisualStyle style, bool systemDark) {
    switch (style) {
    case VisualStyle::light: return "Light";
    case VisualStyle::dark: return "Dark";
    case VisualStyle::mixed: return "Mixed";
    case VisualStyle::automatic: break;
    }
    return systemDark ? "Dark" : "Light";
}

std::string_view styleName(VisualStyle style) {
    return styleName(style, style == VisualStyle::automatic && systemIsDark());
}

std::string_view titleKey(VisualStyle style) {
    switch (style) {
    case VisualStyle::light: return "VUSIAL_STYLE_LIGHT";
    case VisualStyle::dark: return "VUSIAL_STYLE_DARK";
    case VisualStyle::mixed: return "VUSIAL_STYLE_MIXED";
    case VisualStyle::automatic: break;
    }
    return "VUSIAL_STYLE_AUTO";
}

std::string_view defaultTitle(VisualStyle style) {
    switch (style) {
    case VisualStyle::light: return "Light";
    case VisualStyle::dark: return "Dark";
    case VisualStyle::mixed: return "Mixed";
    case VisualStyle::automatic: break;
    }
    return "Auto";
}

std::string title(VisualStyle style) {
    return platform::localized(std::string(titleKey(style)), std::string(defaultTitle(style)));
}

}  // namespace parlivo
