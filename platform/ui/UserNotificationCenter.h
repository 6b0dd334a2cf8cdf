#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A picture for a notification, in the layout of the "image-data" hint (gdk-pixbuf's):
// rows of `rowstride` bytes, `channels` samples of `bitsPerSample` bits per pixel.
struct NotificationImage {
    int width = 0;
    int height = 0;
    int rowstride = 0;
    bool hasAlpha = false;
    int bitsPerSample = 8;
    int channels = 3;
    std::vector<std::uint8_t> pixels;

    // Sizes that agree with each other and with the bytes.
    bool isValid() const;
};

// One desktop notification: what the program asks to show, and what comes back when the user
// acts on it (the Mac's NSUserNotification).
struct UserNotification {
    // How the user acted on it; the numbers are the Mac's activation types.
    enum class ActivationType { none = 0, contentsClicked = 1, actionButtonClicked = 2, replied = 3,
                                additionalActionClicked = 4 };

    std::string title;
    std::string informativeText;
    std::optional<NotificationImage> contentImage;
    // Offer a reply field (shown only where the server can: "inline-reply").
    bool hasReplyButton = false;
    // A sound of the freedesktop sound theme; none plays no sound.
    std::optional<std::string> soundName;
    // Notifications with the same identifier replace each other on screen.
    std::optional<std::string> identifier;

    // Set when the notification comes back activated.
    ActivationType activationType = ActivationType::none;
    std::optional<std::string> response;  // the reply text
};

class UserNotificationCenterDelegate {
public:
    virtual ~UserNotificationCenterDelegate() = default;
    // The server took the notification (it is on screen or in its list).
    virtual void didDeliverNotification(const UserNotification& notification) {}
    // The user clicked the notification or replied to it.
    virtual void didActivateNotification(const UserNotification& notification) {}
};

// Desktop notifications through org.freedesktop.Notifications on the session bus, the stand-in
// for the Mac's NSUserNotificationCenter. Everything is asynchronous: no call waits for the bus.
//
// - The server's capabilities are asked once and kept; they are asked again whenever another
//   program takes over the notification server's name. Notifications handed over before the
//   first answer wait for it.
// - A notification offers the "default" action (a click) and, where the capabilities list
//   "inline-reply", an inline reply. Texts are cut to a sane length; the body is escaped where
//   the server reads "body-markup".
// - One server id per identifier: a notification replaces the one on screen with the same
//   identifier (replaces_id).
// - "Delivered" is the server's answer to Notify. The centre keeps what it delivered until the
//   server reports it closed, so removeAllDeliveredNotifications closes each.
// - Only signals from the server's current owner count, and only for ids this centre was given.
//   A notification that was withdrawn (by the program or the server) still answers for a while:
//   a reply typed into it as it went away is the user's text and is reported like any other.
//
// Main thread only.
class UserNotificationCenter {
public:
    struct Identity {
        std::string applicationName;  // Notify's app_name
        std::string applicationIcon;  // Notify's app_icon: an icon name of the icon theme
        std::string desktopEntry;     // the "desktop-entry" hint: the desktop file's name without ".desktop"
    };

    // Cut lengths, in characters.
    static constexpr std::size_t maximumTitleLength = 256;
    static constexpr std::size_t maximumBodyLength = 2048;
    // Larger pictures are left out (the program scales sender pictures down well below this).
    static constexpr int maximumImageSide = 1024;
    // How many withdrawn notifications still answer a click or a reply, newest kept.
    static constexpr std::size_t withdrawnNotificationsKept = 64;

    // The program's centre: its name, icon and desktop entry from the main bundle. Made on
    // first use, never destroyed.
    static UserNotificationCenter& defaultCenter();
    static Identity mainBundleIdentity();

    // Connects to the session bus and asks for the capabilities right away.
    explicit UserNotificationCenter(Identity identity);
    // Stops following the bus; answers still on their way are dropped. Notifications on screen
    // stay there.
    ~UserNotificationCenter();
    UserNotificationCenter(const UserNotificationCenter&) = delete;
    UserNotificationCenter& operator=(const UserNotificationCenter&) = delete;

    // Held weakly.
    void setDelegate(std::weak_ptr<UserNotificationCenterDelegate> delegate);

    void deliverNotification(UserNotification notification);
    void removeAllDeliveredNotifications();
    // Withdraws the notification with this identifier: the one on screen, one on its way to the
    // server and one still waiting for it.
    void removeDeliveredNotification(std::string_view identifier);
    // Delivered and not closed yet, oldest first.
    std::vector<UserNotification> deliveredNotifications() const;

    // Whether the server has answered GetCapabilities (or could not be asked), and what it
    // listed. Empty until then.
    bool capabilitiesKnown() const;
    const std::vector<std::string>& capabilities() const;
    bool serverSupports(std::string_view capability) const;
    // Runs `block` on the main loop as soon as the capabilities are known (right away when
    // they are).
    void whenCapabilitiesKnown(std::function<void()> block);

    // The notification's texts as the server gets them: cut to length; the body escaped for
    // servers with "body-markup". Exposed for the program's tests and fuzzing.
    static std::string summaryText(std::string_view title);
    static std::string bodyText(std::string_view informativeText, bool bodyMarkup);

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace platform
