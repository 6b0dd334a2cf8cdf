#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A stand-in for the desktop's notification server (org.freedesktop.Notifications on the
// session bus): answers GetCapabilities, GetServerInformation, Notify and CloseNotification,
// records what it was asked, and emits ActionInvoked, NotificationReplied and
// NotificationClosed on request. It runs on its own thread and connection, so the code under
// test talks to it as to a real server. Use it on the test's private session bus.
class FakeNotificationServer {
public:
    // The two flavours of real servers: with an inline reply field (KDE Plasma and others) and
    // without (GNOME Shell).
    static std::vector<std::string> capabilitiesWithInlineReply();
    static std::vector<std::string> capabilitiesWithoutInlineReply();

    // Starts serving; returns once the name is owned (null when that fails).
    static std::unique_ptr<FakeNotificationServer> start(std::vector<std::string> capabilities);
    ~FakeNotificationServer();  // gives up the name and stops the thread

    struct Image {
        int width = 0, height = 0, rowstride = 0;
        bool hasAlpha = false;
        int bitsPerSample = 0, channels = 0;
        std::size_t bytes = 0;
    };

    // One Notify call as it arrived.
    struct Notification {
        std::uint32_t id = 0;  // the id the server answered
        std::string appName;
        std::uint32_t replacesId = 0;
        std::string appIcon;
        std::string summary;
        std::string body;
        std::vector<std::string> actions;  // keys and labels, alternating
        std::optional<std::string> desktopEntry;
        std::optional<std::string> soundName;
        std::optional<std::string> category;
        bool suppressSound = false;
        std::optional<Image> image;
        std::int32_t expireTimeout = 0;

        bool hasAction(const std::string& key) const;
    };

    std::vector<Notification> notifications() const;
    std::size_t notificationCount() const;
    // Ids named in CloseNotification calls, in order.
    std::vector<std::uint32_t> closedIds() const;
    int capabilityRequests() const;
    // Ids shown and not closed.
    std::vector<std::uint32_t> openIds() const;

    // Signals, as the server sends them when the user acts. Each returns once it is sent.
    void invokeAction(std::uint32_t id, const std::string& actionKey);
    void reply(std::uint32_t id, const std::string& text);
    void close(std::uint32_t id, std::uint32_t reason = 2 /* dismissed by the user */);

    struct Impl;

private:
    explicit FakeNotificationServer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace testsupport
