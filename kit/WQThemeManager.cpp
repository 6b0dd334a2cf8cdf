#include "WQThemeManager.h"

#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "ui/Appearance.h"

namespace tovak {

WQThemeManager& WQThemeManager::shared() {
    static WQThemeManager* manager = new WQThemeManager(platform::UserDefaults::standard());  // lives until exit
    return *manager;
}

WQThemeManager::WQThemeManager(platform::UserDefaults& defaults) : defaults_(defaults) {
    systemThemeObserver_ = platform::Appearance::addSystemAppearanceObserver([this] { themeChanged(); });
}

WQThemeManager::~WQThemeManager() = default;  // the token unregisters the observer

VisualStyle WQThemeManager::visualStyle() const {
    const auto raw = defaults_.integerForKey(kWQThemeManagerUserDefaultsKey);
    return visualStyleFromRawValue(raw).value_or(allVisualStyles().front());
}

void WQThemeManager::setVisualStyle(VisualStyle style) {
    defaults_.setInteger(kWQThemeManagerUserDefaultsKey, rawValue(style));
    platform::NotificationCenter::defaultCenter().post(visualStyleDidChangeNotification, this);
}

void WQThemeManager::themeChanged() {
    if (visualStyle() == VisualStyle::automatic) setVisualStyle(VisualStyle::automatic);
}

}  // namespace tovak
