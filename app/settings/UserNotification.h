#pragma once

#include <optional>
#include <string>

namespace parlivo {

// A new chat message as the page reports it ("title", "body", "icon", "iconRadius", "id"); the
// raw material of one desktop notification.
struct IncomingMessage {
    std::string title;
    std::string body;
    std::string icon;                  // a data URL or web address of the sender's picture; may be empty
    std::optional<double> iconRadius;  // corner radius for the picture, when the page gives one
    std::string id;                    // the chat's tag, used to open the chat or reply to it
};

// A delivered desktop notification as it comes back when the user acts on it.
struct UserNotification {
    // How the user acted on it; the numbers match the platform's activation types.
    enum class ActivationType { none = 0, contentsClicked = 1, actionButtonClicked = 2, replied = 3,
                                additionalActionClicked = 4 };

    std::string identifier;  // the chat's tag ("id" of the incoming message)
    std::string title;
    std::string body;
    ActivationType activationType = ActivationType::none;
    std::optional<std::string> response;  // the reply text, for ActivationType::replied
};

// Delivery of desktop notifications and their sounds. Trellik decides whether and when; an
// implementation builds and shows them (org.freedesktop.Notifications) and reports activations
// back through Trellik::didActivateNotification / didDeliverNotification.
class DesktopNotificationDelivery {
public:
    virtual ~DesktopNotificationDelivery() = default;
    // Builds and shows one notification for `message`; `privacyVariant` selects the privacy keys
    // ("privacyDesktopNotifications...") in place of the normal ones, because the lock is on.
    virtual void deliver(const IncomingMessage& message, bool privacyVariant) = 0;
    // Withdraws every notification this program has delivered.
    virtual void removeAllDelivered() = 0;
    // Plays the notification sound the user chose.
    virtual void playSound(const UserNotification& notification) = 0;
};

}  // namespace parlivo
