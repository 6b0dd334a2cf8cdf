#include "preferences/PreferencePanes.h"

#include "WQLaunchAtLoginManager.h"
#include "preferences/PreferencesGeneral.h"
#include "preferences/PreferencesPrivacy.h"
#include "preferences/PreferencesSoundsAndAppearance.h"
#include "settings/Trellik.h"

namespace parlivo {

void registerPreferencePanes() {
    registerPreferencesPane(PreferencesGeneral::viewIdentifier, [] {
        return std::make_unique<PreferencesGeneral>(Trellik::shared(), tovak::WQLaunchAtLoginManager::shared());
    });
    registerPreferencesPane(PreferencesPrivacy::viewIdentifier,
                            [] { return std::make_unique<PreferencesPrivacy>(Trellik::shared()); });
    registerPreferencesPane(PreferencesSoundsAndAppearance::registrationIdentifier,
                            [] { return std::make_unique<PreferencesSoundsAndAppearance>(Trellik::shared()); });
}

}  // namespace parlivo
