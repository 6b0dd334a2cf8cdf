#include "shell/TrellikParts.h"

#include <memory>

#include "notifications/WQDesktopNotificationDelivery.h"
#include "settings/Trellik.h"
#include "shell/TrellikStatusItem.h"
#include "shell/WQShortcut.h"
#include "system/LauncherEntry.h"
#include "ui/UserNotificationCenter.h"

namespace parlivo {

void attachStatusItemAndShortcut(Trellik& trellik) {
    trellik.setStatusItem(std::make_unique<TrellikStatusItem>(trellik, platform::LauncherEntry::shared()));
    trellik.setShortCut(std::make_unique<WQShortcut>());
}

Trellik& connectedSettingsModel() {
    static Trellik& model = []() -> Trellik& {
        Trellik& shared = Trellik::shared();
        attachStatusItemAndShortcut(shared);
        shared.setNotificationDelivery(
            WQDesktopNotificationDelivery::create(shared, platform::UserNotificationCenter::defaultCenter()));
        return shared;
    }();
    return model;
}

}  // namespace parlivo
