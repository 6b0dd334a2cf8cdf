#include "notifications/WQDesktopNotificationDelivery.h"

#include <gdkmm/pixbuf.h>

#include <algorithm>
#include <cmath>

#include "DebugPrint.h"
#include "ImageExtensions.h"
#include "WQBase64DataConverter.h"
#include "config/DynamicData.h"
#include "foundation/Localized.h"
#include "foundation/MainQueue.h"
#include "foundation/UserDefaults.h"
#include "foundation/WorkQueue.h"
#include "media/Sound.h"
#include "notifications/WQNotificationSound.h"
#include "settings/Keys.h"
#include "settings/Trellik.h"

namespace parlivo {

namespace {

void log(std::string_view message) { tovak::debugPrint(WQDesktopNotificationDelivery::kClassName, message); }

// Pictures are decoded here, one message after the other, so a large one never holds up the
// window and notifications keep the order of their messages.
platform::WorkQueue& pictureQueue() {
    static auto* queue = new platform::WorkQueue("parlivo.notification-pictures");
    return *queue;
}

}  // namespace

std::optional<platform::NotificationImage> WQDesktopNotificationDelivery::senderImage(const std::string& icon,
                                                                                     std::optional<double> iconRadius) {
    if (icon.empty()) return std::nullopt;
    auto image = tovak::WQBase64DataConverter().base64ToImage(icon);
    if (!image) return std::nullopt;
    const int side = std::max(image->get_width(), image->get_height());
    if (side > WQDesktopNotificationDelivery::maximumImageSide) {
        const double scale = double(WQDesktopNotificationDelivery::maximumImageSide) / side;
        image = image->scale_simple(std::max(1, int(std::lround(image->get_width() * scale))),
                                    std::max(1, int(std::lround(image->get_height() * scale))), Gdk::INTERP_BILINEAR);
        if (!image) return std::nullopt;
    }
    if (iconRadius) image = tovak::roundCorners(image, *iconRadius, *iconRadius);
    if (!image || image->get_bits_per_sample() != 8) return std::nullopt;

    platform::NotificationImage picture;
    picture.width = image->get_width();
    picture.height = image->get_height();
    picture.rowstride = image->get_rowstride();
    picture.hasAlpha = image->get_has_alpha();
    picture.bitsPerSample = image->get_bits_per_sample();
    picture.channels = image->get_n_channels();
    const std::size_t bytes = static_cast<std::size_t>(picture.rowstride) * (picture.height - 1) +
                              static_cast<std::size_t>(picture.width) * picture.channels;
    const guint8* pixels = image->get_pixels();
    picture.pixels.assign(pixels, pixels + bytes);
    if (!picture.isValid()) return std::nullopt;
    return picture;
}

namespace {

std::string hiddenSenderTitle() {
    return platform::localizedFormat(platform::localizedComment("NEW_MESSAGE", "New %@ Message"),
                                     {WQDesktopNotificationDelivery::serviceName});
}

}  // namespace

std::shared_ptr<WQDesktopNotificationDelivery> WQDesktopNotificationDelivery::create(
    Trellik& owner, platform::UserNotificationCenter& center, DynamicData& configuration) {
    auto delivery =
        std::shared_ptr<WQDesktopNotificationDelivery>(new WQDesktopNotificationDelivery(owner, center, configuration));
    center.setDelegate(delivery);
    return delivery;
}

std::shared_ptr<WQDesktopNotificationDelivery> WQDesktopNotificationDelivery::create(
    Trellik& owner, platform::UserNotificationCenter& center) {
    return create(owner, center, DynamicData::shared());
}

WQDesktopNotificationDelivery::WQDesktopNotificationDelivery(Trellik& owner, platform::UserNotificationCenter& center,
                                                             DynamicData& configuration)
    : owner_(owner), center_(center), configuration_(configuration) {}

platform::UserNotification WQDesktopNotificationDelivery::notificationFor(const IncomingMessage& message,
                                                                          bool locked) const {
    const auto& defaults = platform::UserDefaults::standard();
    const bool showSender =
        defaults.boolForKey(locked ? keys::privacyDesktopNotificationsShowSender : keys::desktopNotificationsShowSender);
    const bool showPreview =
        defaults.boolForKey(locked ? keys::privacyDesktopNotificationsShowPreview
                                   : keys::desktopNotificationsShowMessagePreview);
    const bool playAudio =
        defaults.boolForKey(locked ? keys::privacyDesktopNotificationsPlayAudio : keys::desktopNotificationsPlayAudio);

    platform::UserNotification notification;
    notification.title = showSender ? message.title : hiddenSenderTitle();
    notification.informativeText =
        showPreview ? message.body : platform::localizedComment("CLICK_FOR_DETAILS", "Click here for details");

    // A reply needs the sender and the message on screen, and the configuration's consent;
    // never while locked.
    notification.hasReplyButton = !locked && defaults.boolForKey(keys::desktopNotificationsShowSender) &&
                                  defaults.boolForKey(keys::desktopNotificationsShowMessagePreview) &&
                                  configuration_.messageSendingFromNotification().value_or(false) &&
                                  configuration_.enableSend().value_or(false);

    if (playAudio) {
        const auto sound = WQNotificationSoundManager::currentSoundSettings();
        // The custom sound is the program's to play, on delivery.
        if (!sound.customSound) notification.soundName = sound.fileName;
    }
    if (!message.id.empty()) notification.identifier = message.id;
    return notification;
}

void WQDesktopNotificationDelivery::deliver(const IncomingMessage& message, bool privacyVariant) {
    // Everything the settings decide is decided now, at the message; only the picture waits.
    auto notification = notificationFor(message, privacyVariant);
    const bool withImage = privacyVariant ? owner_.privacyShowSenderImage() : owner_.showSenderImage();
    std::string icon = withImage ? message.icon : std::string();
    std::weak_ptr<WQDesktopNotificationDelivery> weak = weak_from_this();
    const unsigned epoch = epoch_;
    const std::uint64_t sequence = ++sequence_;
    if (notification.identifier) ++decoding_[*notification.identifier].pending;
    pictureQueue().async([weak, epoch, sequence, notification = std::move(notification), icon = std::move(icon),
                          radius = message.iconRadius]() mutable {
        notification.contentImage = senderImage(icon, radius);
        platform::MainQueue::async([weak, epoch, sequence, notification = std::move(notification)]() mutable {
            auto self = weak.lock();
            if (!self) return;
            bool withdrawn = epoch != self->epoch_;  // the user looked at the window meanwhile
            if (const auto& identifier = notification.identifier) {
                auto entry = self->decoding_.find(*identifier);
                if (entry != self->decoding_.end()) {
                    withdrawn = withdrawn || sequence < entry->second.withdrawnBelow;  // the page closed it
                    if (--entry->second.pending == 0) self->decoding_.erase(entry);
                }
            }
            if (withdrawn) return;
            self->center_.deliverNotification(std::move(notification));
        });
    });
}

void WQDesktopNotificationDelivery::removeAllDelivered() {
    ++epoch_;
    center_.removeAllDeliveredNotifications();
}

void WQDesktopNotificationDelivery::removeDelivered(const std::string& identifier) {
    if (auto entry = decoding_.find(identifier); entry != decoding_.end()) entry->second.withdrawnBelow = sequence_ + 1;
    center_.removeDeliveredNotification(identifier);
}

void WQDesktopNotificationDelivery::playSound(const UserNotification&) {
    const auto settings = WQNotificationSoundManager::currentSoundSettings();
    if (!settings.customSound) return;
    log("Playing sound!");
    auto sound = settings.url ? platform::Sound::contentsOfFile(*settings.url) : platform::Sound::named(settings.fileName);
    if (!sound) return;
    sound->stop();
    sound->play();
}

void WQDesktopNotificationDelivery::didDeliverNotification(const platform::UserNotification& notification) {
    owner_.didDeliverNotification(userNotification(notification));
}

void WQDesktopNotificationDelivery::didActivateNotification(const platform::UserNotification& notification) {
    owner_.didActivateNotification(userNotification(notification));
}

UserNotification WQDesktopNotificationDelivery::userNotification(const platform::UserNotification& notification) {
    UserNotification result;
    result.identifier = notification.identifier.value_or("");
    result.title = notification.title;
    result.body = notification.informativeText;
    result.activationType = static_cast<UserNotification::ActivationType>(notification.activationType);
    result.response = notification.response;
    result.soundName = notification.soundName;
    return result;
}

}  // namespace parlivo
