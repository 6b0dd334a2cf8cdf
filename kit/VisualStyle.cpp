#include "VisualStyle.h"

#include "foundation/Localized.h"
#include "ui/Appearance.h"

namespace tovak {

const std::vector<VisualStyle>& allVisualStyles() {
    static const auto* all = new std::vector<VisualStyle>{VisualStyle::automatic, VisualStyle::light, VisualStyle::dark};
    return *all;
}

int rawValue(VisualStyle style) {
    return static_cast<int>(style);
}

std::optional<VisualStyle> visualStyleFromRawValue(long long raw) {
    if (raw < 0 || raw > 2) return std::nullopt;
    return static_cast<VisualStyle>(raw);
}

std::string getAppearanceName(VisualStyle style) {
    using platform::Appearance;
    switch (style) {
    case VisualStyle::light: return std::string(Appearance::kVibrantLight);
    case VisualStyle::dark: return std::string(Appearance::kVibrantDark);
    case VisualStyle::automatic: break;
    }
    return std::string(Appearance::systemPrefersDark() ? Appearance::kVibrantDark : Appearance::kVibrantLight);
}

std::string getLocalizedName(VisualStyle style) {
    switch (style) {
    case VisualStyle::automatic: return platform::localized("THEME_AUTO", "Auto");
    case VisualStyle::light: return platform::localized("THEME_LIGHT", "Light");
    case VisualStyle::dark: return platform::localized("THEME_DARK", "Dark");
    }
    return {};
}

}  // namespace tovak
