#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tovak {

// The framework's own visual style (the main program has a four-case enumeration of its own,
// stored under another key). The raw values are what the settings store.
enum class VisualStyle : int {
    automatic = 0,  // "auto": follows the desktop's light or dark preference
    light = 1,
    dark = 2,
};

// Every style in raw-value order: automatic, light, dark.
const std::vector<VisualStyle>& allVisualStyles();
int rawValue(VisualStyle style);
// None for anything but 0, 1 and 2.
std::optional<VisualStyle> visualStyleFromRawValue(long long rawValue);

// The appearance the style selects (platform::Appearance::kVibrantLight or kVibrantDark);
// automatic asks the desktop every time.
std::string getAppearanceName(VisualStyle style);
// "Auto", "Light", "Dark", looked up under "THEME_AUTO", "THEME_LIGHT", "THEME_DARK" (the
// framework has no bundle of its own on Linux: the program's strings table).
std::string getLocalizedName(VisualStyle style);

}  // namespace tovak
