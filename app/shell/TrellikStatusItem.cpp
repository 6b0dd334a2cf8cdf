#include "shell/TrellikStatusItem.h"

#include <filesystem>

#include "foundation/Bundle.h"
#include "foundation/Localized.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "settings/Trellik.h"
#include "system/LauncherEntry.h"
#include "ui/StatusNotifierItem.h"

namespace parlivo {

namespace {

// The icons are installed into the hicolor icon theme next to the bundle's resources (in the build
// tree as in an install), named after the application; a template image ships as its symbolic
// variant. The tray host finds them by name, in that folder (the item's icon theme path).
std::filesystem::path iconDirectory() {
    return std::filesystem::path(TrellikStatusItem::iconThemePath()) / "hicolor" / "scalable" / "status";
}

void postDisplayChanged(const TrellikStatusItem* item) {
    platform::NotificationCenter::defaultCenter().post(names::statusItemDisplayChanged, item);
}

std::string iconFileName(const TrellikStatusItem::Image& image) {
    const std::string themed = TrellikStatusItem::themedIconName(image.name);
    return image.isTemplate ? themed + "-symbolic" : themed;
}

}  // namespace

TrellikStatusItem::TrellikStatusItem(Trellik& owner, platform::LauncherEntry& badge) : owner_(owner), badge_(badge) {
    privacyObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
        names::privacyChanged, [this](const platform::Notification&) { update(); });
}

TrellikStatusItem::~TrellikStatusItem() = default;

TrellikStatusItem* TrellikStatusItem::of(const Trellik& trellik) {
    return dynamic_cast<TrellikStatusItem*>(trellik.statusItem());
}

void TrellikStatusItem::createStatusItem() {
    if (statusItem_) return;
    statusItem_ = std::make_unique<platform::StatusNotifierItem>("net.vantreo.mac.WhatsApp", iconThemePath());
    statusItem_->setDisplayChangedHandler([this](bool) { postDisplayChanged(this); });
    statusItem_->setTooltip(platform::Bundle::main().infoString("CFBundleName").value_or("Parlivo for WhatsApp"));
    // The tray cannot report a plain click, so the click's action is the first menu entry.
    statusItem_->setMenu({{platform::localized("STATUS_ITEM_SHOW_HIDE", "Show or Hide Window"),
                           [this] { handleStatusButtonClick(); }}});
}

void TrellikStatusItem::removeStatusItem() {
    const bool wasShown = isShownInTray();
    statusItem_.reset();
    if (wasShown) postDisplayChanged(this);
}

bool TrellikStatusItem::isShownInTray() const { return statusItem_ && statusItem_->isOnDisplay(); }

std::string TrellikStatusItem::iconThemePath() {
    std::error_code error;
    const auto icons = platform::Bundle::main().resourcePath() / ".." / "icons";
    const auto canonical = std::filesystem::weakly_canonical(icons, error);
    return (error ? icons : canonical).string();
}

std::optional<TrellikStatusItem::Image> TrellikStatusItem::image(TrellikStatusItemStyle style) {
    const bool monochrome = platform::UserDefaults::standard().boolForKey(keys::kMonochromeMenuBar);
    Image image;
    switch (style) {
    case TrellikStatusItemStyle::notification:
        image = monochrome ? Image{"StatusItemMonochromeNotification", true}
                           : Image{"StatusItemDefaultNotification", false};
        break;
    case TrellikStatusItemStyle::warning:
        image = Image{"StatusItemWarning", false};
        break;
    default:
        image = monochrome ? Image{"StatusItemMonochromeIdle", true} : Image{"StatusItemDefaultIdle", true};
        break;
    }
    if (!std::filesystem::is_regular_file(iconDirectory() / (iconFileName(image) + ".svg"))) return std::nullopt;
    return image;
}

void TrellikStatusItem::update() {
    auto& defaults = platform::UserDefaults::standard();
    const int unread = owner_.unreadMessages();
    const bool doNotDisturb = defaults.boolForKey(keys::doNotDisturbEnabled);
    const bool locked = owner_.privacyLockdown();

    if (statusItem_) {
        const bool notify = unread > 0 && !doNotDisturb &&
                            defaults.boolForKey(locked ? keys::privacyMenuBarNotification : keys::menuBarNotificationsEnabeld);
        auto picture = image(notify ? TrellikStatusItemStyle::notification : TrellikStatusItemStyle::defaultStyle);
        if (picture)
            statusItem_->setImage(themedIconName(picture->name), picture->isTemplate);
        else
            statusItem_->setImage({}, false);
    }

    const bool showBadge = unread > 0 && !doNotDisturb &&
                           defaults.boolForKey(locked ? keys::privacyDockIconNotification : keys::dockIconNotificationsEnabeld);
    badge_.setBadgeCount(showBadge ? std::optional<std::int64_t>(unread) : std::nullopt);
}

std::string TrellikStatusItem::themedIconName(const std::string& imageName) {
    return "net.vantreo.mac.WhatsApp." + imageName;
}

void TrellikStatusItem::handleStatusButtonClick() {
    if (auto window = owner_.windowDelegate()) window->handleStatusButtonClick();
}

}  // namespace parlivo
