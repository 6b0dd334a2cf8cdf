#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "settings/UserNotification.h"
#include "ui/UserNotificationCenter.h"

namespace parlivo {

class DynamicData;
class Trellik;

// The settings model's desktop notifications: turns a message that Trellik decided to show into
// a desktop notification under the user's settings (sender, picture, preview, reply field,
// sound; the privacy variants while locked), hands it to the user-notification centre, and
// reports the centre's deliveries and activations back to Trellik. Plays the custom sound on
// delivery. Main thread.
class WQDesktopNotificationDelivery : public DesktopNotificationDelivery,
                                      public platform::UserNotificationCenterDelegate,
                                      public std::enable_shared_from_this<WQDesktopNotificationDelivery> {
public:
    static constexpr std::string_view kClassName = "Trellik";
    // The service named in the hidden-sender title ("New WhatsApp Message").
    static constexpr std::string_view serviceName = "WhatsApp";
    // Sender pictures are scaled down to this side at most before they travel to the server.
    static constexpr int maximumImageSide = 256;

    // Makes the delivery of `owner` and makes it the delegate of `center`. The owner keeps the
    // delivery (Trellik::setNotificationDelivery); the centre and the configuration outlive it.
    static std::shared_ptr<WQDesktopNotificationDelivery> create(Trellik& owner, platform::UserNotificationCenter& center,
                                                                 DynamicData& configuration);
    static std::shared_ptr<WQDesktopNotificationDelivery> create(Trellik& owner, platform::UserNotificationCenter& center);

    // The notification for `message` under the settings of the lock state given, without the
    // sender's picture, which deliver() adds off the main thread before it hands the
    // notification to the centre.
    platform::UserNotification notificationFor(const IncomingMessage& message, bool locked) const;
    // The page's picture ("icon"), decoded within the image reader's size cap, scaled down to
    // maximumImageSide and given the corners the page asked for. Any thread.
    static std::optional<platform::NotificationImage> senderImage(const std::string& icon,
                                                                  std::optional<double> iconRadius);

    // DesktopNotificationDelivery
    void deliver(const IncomingMessage& message, bool privacyVariant) override;
    void removeAllDelivered() override;
    void removeDelivered(const std::string& identifier) override;
    void playSound(const UserNotification& notification) override;

    // platform::UserNotificationCenterDelegate
    void didDeliverNotification(const platform::UserNotification& notification) override;
    void didActivateNotification(const platform::UserNotification& notification) override;

    // The notification as the settings model and the web view see it.
    static UserNotification userNotification(const platform::UserNotification& notification);

private:
    WQDesktopNotificationDelivery(Trellik& owner, platform::UserNotificationCenter& center, DynamicData& configuration);

    Trellik& owner_;
    platform::UserNotificationCenter& center_;
    DynamicData& configuration_;
    // Raised when everything is withdrawn; messages whose picture was still being decoded then
    // are not shown.
    unsigned epoch_ = 0;
    // Messages whose picture is being decoded, by identifier: one withdrawn meanwhile is not
    // shown (those numbered below `withdrawnBelow`).
    struct Decoding {
        unsigned pending = 0;
        std::uint64_t withdrawnBelow = 0;
    };
    std::map<std::string, Decoding, std::less<>> decoding_;
    std::uint64_t sequence_ = 0;
};

}  // namespace parlivo
