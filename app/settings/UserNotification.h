#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "foundation/PropertyList.h"

namespace parlivo {

// A new chat message as the page reports it ("title", "body", "icon", "iconRadius", "id"); the
// raw material of one desktop notification.
struct IncomingMessage {
    std::string title;
    std::string body;
    std::string icon;                  // the sender's picture as a data URL (Base64 after "base64,"); may be empty
    std::optional<double> iconRadius;  // corner radius for the picture, when the page gives one
    std::string id;                    // the chat's tag, used to open the chat or reply to it

    // Chat tags are short; a longer "id" is no tag and gives none (a cut tag could name
    // another chat).
    static constexpr std::size_t maximumIdentifierLength = 512;
    // Sender pictures are small; a longer "icon" is left out instead of being decoded.
    static constexpr std::size_t maximumIconLength = 4 * 1024 * 1024;

    // The page's message body (untrusted; any value). "title" and "body" in their text form
    // (a string as it is, a number as its digits, null or missing as empty); "icon" and "id"
    // only when they are text; "iconRadius" only when it is a number. Anything that is not a
    // dictionary gives an empty message.
    static IncomingMessage fromMessageBody(const platform::PropertyList& body);
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
    // The sound the notification system plays for it; none when the program plays its own.
    std::optional<std::string> soundName;
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
    // Withdraws the one with this identifier (the page closed it), also one still being built.
    virtual void removeDelivered(const std::string& identifier) {}
    // A shown notification without a sound name, where the settings allow a sound: plays the
    // user's custom sound file (the notification system plays every other sound itself).
    virtual void playSound(const UserNotification& notification) = 0;
};

}  // namespace parlivo
