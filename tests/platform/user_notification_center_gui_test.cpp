// Desktop notifications over org.freedesktop.Notifications, against a fake server on the test's
// private session bus: what Notify carries for each server flavour, replacement by identifier,
// delivery, activation by click and by reply, closing, withdrawing, forged signals and a server
// that changes hands.

#include <gtest/gtest.h>

#include <gio/gio.h>

#include <cstdlib>
#include <filesystem>

#include "FakeNotificationServer.h"
#include "PrivateSessionBus.h"
#include "RunLoop.h"
#include "foundation/NotificationCenter.h"
#include "media/Sound.h"
#include "ui/UserNotificationCenter.h"

using platform::UserNotification;
using platform::UserNotificationCenter;
using testsupport::FakeNotificationServer;
using testsupport::runLoopUntil;

namespace {

struct RecordingDelegate : platform::UserNotificationCenterDelegate {
    std::vector<UserNotification> delivered;
    std::vector<UserNotification> activated;
    void didDeliverNotification(const UserNotification& n) override { delivered.push_back(n); }
    void didActivateNotification(const UserNotification& n) override { activated.push_back(n); }
};

UserNotificationCenter::Identity identity() { return {"Parlivo Test", "net.vantreo.mac.WhatsApp", "net.vantreo.mac.WhatsApp"}; }

UserNotification message(std::string identifier, std::string title = "Ann", std::string body = "Hi") {
    UserNotification n;
    n.title = std::move(title);
    n.informativeText = std::move(body);
    n.identifier = std::move(identifier);
    return n;
}

platform::NotificationImage picture(int width, int height) {
    platform::NotificationImage image;
    image.width = width;
    image.height = height;
    image.hasAlpha = true;
    image.channels = 4;
    image.rowstride = width * 4;
    image.pixels.assign(static_cast<std::size_t>(width) * height * 4, 0x7f);
    return image;
}

class UserNotificationCenterTest : public ::testing::Test {
protected:
    void start(std::vector<std::string> capabilities) {
        server = FakeNotificationServer::start(std::move(capabilities));
        ASSERT_TRUE(server);
        center = std::make_unique<UserNotificationCenter>(identity());
        center->setDelegate(delegate);
    }

    // Delivers and waits until it is delivered and in the server's list: the server answers the
    // call before it lists the notification, so the program may have its answer a moment before
    // the test sees it there.
    void deliver(UserNotification n) {
        const auto before = delegate->delivered.size();
        const auto shown = server ? server->notificationCount() : 0;
        center->deliverNotification(std::move(n));
        ASSERT_TRUE(runLoopUntil([&] {
            return delegate->delivered.size() > before && (!server || server->notificationCount() > shown);
        }));
    }

    std::unique_ptr<FakeNotificationServer> server;
    std::unique_ptr<UserNotificationCenter> center;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(UserNotificationCenterTest, NotifyCarriesTheProgramsIdentityTextsSoundAndPicture) {
    struct Flavour {
        std::vector<std::string> capabilities;
        bool inlineReply;
    };
    for (const Flavour& flavour : {Flavour{FakeNotificationServer::capabilitiesWithInlineReply(), true},
                                   Flavour{FakeNotificationServer::capabilitiesWithoutInlineReply(), false}}) {
        SCOPED_TRACE(flavour.inlineReply ? "server with inline reply" : "server without inline reply");
        start(flavour.capabilities);

        UserNotification withReply = message("chat-1", "Ann <ann@example.org>", "1 < 2 & \"quotes\"");
        withReply.hasReplyButton = true;
        withReply.soundName = "message-new-instant";
        withReply.contentImage = picture(32, 24);
        deliver(withReply);
        UserNotification silent = message("chat-2");
        deliver(silent);

        const auto sent = server->notifications();
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(sent[0].appName, "Parlivo Test");
        EXPECT_EQ(sent[0].appIcon, "net.vantreo.mac.WhatsApp");
        EXPECT_EQ(sent[0].desktopEntry, "net.vantreo.mac.WhatsApp");
        EXPECT_EQ(sent[0].category, "im.received");
        // The title is plain text; the body is markup for these servers.
        EXPECT_EQ(sent[0].summary, "Ann <ann@example.org>");
        EXPECT_EQ(sent[0].body, "1 &lt; 2 &amp; &quot;quotes&quot;");
        EXPECT_TRUE(sent[0].hasAction("default"));
        EXPECT_EQ(sent[0].hasAction("inline-reply"), flavour.inlineReply);
        EXPECT_EQ(sent[0].soundName, "message-new-instant");
        EXPECT_FALSE(sent[0].suppressSound);
        ASSERT_TRUE(sent[0].image);
        EXPECT_EQ(sent[0].image->width, 32);
        EXPECT_EQ(sent[0].image->height, 24);
        EXPECT_EQ(sent[0].image->rowstride, 128);
        EXPECT_TRUE(sent[0].image->hasAlpha);
        EXPECT_EQ(sent[0].image->channels, 4);
        EXPECT_EQ(sent[0].image->bytes, 32u * 24u * 4u);

        // No reply asked for, no sound: no reply action, and the server's own sound is held back.
        EXPECT_TRUE(sent[1].hasAction("default"));
        EXPECT_FALSE(sent[1].hasAction("inline-reply"));
        EXPECT_FALSE(sent[1].soundName);
        EXPECT_TRUE(sent[1].suppressSound);
        EXPECT_FALSE(sent[1].image);

        center.reset();
        server.reset();
        delegate = std::make_shared<RecordingDelegate>();
    }
}

TEST_F(UserNotificationCenterTest, UntrustedTextsAreCutAndPlainServersGetTheBodyUnescaped) {
    start({"actions", "body"});
    const std::string longTitle(5000, 'x');
    std::string broken = "caf\xC3";  // cut in the middle of a character
    deliver(message("chat-1", longTitle + "\xFF", "<b>bold</b> " + broken));
    const auto sent = server->notifications();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(g_utf8_strlen(sent[0].summary.c_str(), -1), glong(UserNotificationCenter::maximumTitleLength));
    EXPECT_TRUE(sent[0].summary.ends_with("\u2026"));
    EXPECT_EQ(sent[0].body, "<b>bold</b> caf\uFFFD");

    EXPECT_EQ(UserNotificationCenter::bodyText(std::string(10000, 'y'), true).size(),
              UserNotificationCenter::maximumBodyLength - 1 + std::string("\u2026").size());
}

TEST_F(UserNotificationCenterTest, AServerWithoutSoundsLeavesTheNamedSoundToUs) {
    setenv("PARLIVO_AUDIO_SINK", "fakesink", 1);
    std::vector<std::string> played;
    auto token = platform::NotificationCenter::defaultCenter().addObserver(
        platform::Sound::didStartPlayingNotification, [&](const platform::Notification& n) {
            played.push_back(std::filesystem::path(*n.info<std::string>("path")).filename());
        });
    start({"actions", "body"});
    UserNotification silent = message("chat-1");
    deliver(silent);
    UserNotification withSound = message("chat-2");
    withSound.soundName = "bell";
    deliver(withSound);
    ASSERT_TRUE(runLoopUntil([&] { return !played.empty(); }));
    EXPECT_EQ(played, std::vector<std::string>{"bell.oga"});
}

TEST_F(UserNotificationCenterTest, OneServerIdPerIdentifier) {
    start(FakeNotificationServer::capabilitiesWithInlineReply());
    deliver(message("chat-1", "Ann", "first"));
    deliver(message("chat-2", "Bob", "other chat"));
    deliver(message("chat-1", "Ann", "second"));
    // A burst: the second is sent once the first's id is known, and replaces it.
    center->deliverNotification(message("chat-3", "Cy", "one"));
    center->deliverNotification(message("chat-3", "Cy", "two"));
    ASSERT_TRUE(runLoopUntil([&] { return delegate->delivered.size() == 5; }));

    const auto sent = server->notifications();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[0].replacesId, 0u);
    EXPECT_EQ(sent[1].replacesId, 0u);
    EXPECT_NE(sent[1].id, sent[0].id);
    EXPECT_EQ(sent[2].replacesId, sent[0].id);
    EXPECT_EQ(sent[2].id, sent[0].id);
    EXPECT_EQ(sent[4].replacesId, sent[3].id);

    const auto shown = center->deliveredNotifications();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[1].informativeText, "second");
    EXPECT_EQ(shown[2].informativeText, "two");
}

TEST_F(UserNotificationCenterTest, ClicksRepliesAndClosingComeBackForOurNotificationsOnly) {
    start(FakeNotificationServer::capabilitiesWithInlineReply());
    UserNotification n = message("chat-1");
    n.hasReplyButton = true;
    deliver(n);
    deliver(message("chat-2"));
    const auto sent = server->notifications();

    server->invokeAction(sent[0].id, "default");
    ASSERT_TRUE(runLoopUntil([&] { return delegate->activated.size() == 1; }));
    EXPECT_EQ(delegate->activated[0].activationType, UserNotification::ActivationType::contentsClicked);
    EXPECT_EQ(delegate->activated[0].identifier, "chat-1");
    EXPECT_FALSE(delegate->activated[0].response);

    server->reply(sent[0].id, "on my way");
    ASSERT_TRUE(runLoopUntil([&] { return delegate->activated.size() == 2; }));
    EXPECT_EQ(delegate->activated[1].activationType, UserNotification::ActivationType::replied);
    EXPECT_EQ(delegate->activated[1].response, "on my way");
    EXPECT_EQ(delegate->activated[1].title, "Ann");

    // Another program's id, an unknown action: nothing comes back.
    server->close(sent[1].id);
    ASSERT_TRUE(runLoopUntil([&] { return center->deliveredNotifications().size() == 1; }));
    server->invokeAction(4242, "default");
    server->invokeAction(sent[0].id, "something-else");
    // A notification that has just closed still answers: the user acted as it went.
    server->invokeAction(sent[1].id, "default");
    ASSERT_TRUE(runLoopUntil([&] { return delegate->activated.size() >= 3; }));
    EXPECT_EQ(delegate->activated.size(), 3u);
    EXPECT_EQ(delegate->activated[2].identifier, "chat-2");
}

TEST_F(UserNotificationCenterTest, AReplyToAWithdrawnNotificationStillComesBackWithinABound) {
    start(FakeNotificationServer::capabilitiesWithInlineReply());
    deliver(message("chat-1", "Ann"));
    deliver(message("chat-2", "Bob"));
    const auto sent = server->notifications();

    // The window became active: everything is withdrawn, and a reply typed into one of them as
    // it went still reaches the program, with what it was.
    center->removeAllDeliveredNotifications();
    ASSERT_TRUE(runLoopUntil([&] { return server->openIds().empty(); }));
    server->reply(sent[1].id, "typed as it went");
    ASSERT_TRUE(runLoopUntil([&] { return delegate->activated.size() == 1; }));
    EXPECT_EQ(delegate->activated[0].identifier, "chat-2");
    EXPECT_EQ(delegate->activated[0].title, "Bob");
    EXPECT_EQ(delegate->activated[0].response, "typed as it went");

    // One withdrawn by its identifier: the one on screen, and one still on its way.
    deliver(message("chat-3", "Cy"));
    center->removeDeliveredNotification("chat-3");
    EXPECT_TRUE(center->deliveredNotifications().empty());
    center->deliverNotification(message("chat-4", "Di"));
    center->removeDeliveredNotification("chat-4");
    ASSERT_TRUE(runLoopUntil([&] { return server->notificationCount() == 4 && server->openIds().empty(); }));
    EXPECT_TRUE(center->deliveredNotifications().empty());
    server->reply(server->notifications()[3].id, "to Di");
    ASSERT_TRUE(runLoopUntil([&] { return delegate->activated.size() == 2; }));
    EXPECT_EQ(delegate->activated[1].identifier, "chat-4");

    // Only the newest withdrawn ones are kept: the oldest answers no more.
    for (std::size_t i = 0; i < UserNotificationCenter::withdrawnNotificationsKept; ++i) {
        deliver(message("burst-" + std::to_string(i)));
        center->removeDeliveredNotification("burst-" + std::to_string(i));
    }
    server->reply(sent[1].id, "too late");
    server->reply(server->notifications().back().id, "marker");
    ASSERT_TRUE(runLoopUntil([&] { return delegate->activated.size() >= 3; }));
    EXPECT_EQ(delegate->activated.size(), 3u);
    EXPECT_EQ(delegate->activated.back().response, "marker");
}

TEST_F(UserNotificationCenterTest, ForgedSignalsFromAnotherProgramAreIgnored) {
    start(FakeNotificationServer::capabilitiesWithInlineReply());
    deliver(message("chat-1"));
    const auto id = server->notifications()[0].id;

    GDBusConnection* impostor = testsupport::newSessionBusConnection();
    ASSERT_TRUE(impostor);
    g_dbus_connection_emit_signal(impostor, nullptr, "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                                  "NotificationReplied", g_variant_new("(us)", id, "forged"), nullptr);
    g_dbus_connection_emit_signal(impostor, nullptr, "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                                  "ActionInvoked", g_variant_new("(us)", id, "default"), nullptr);
    g_dbus_connection_flush_sync(impostor, nullptr, nullptr);
    server->reply(id, "real");  // marker
    ASSERT_TRUE(runLoopUntil([&] { return !delegate->activated.empty(); }));
    ASSERT_EQ(delegate->activated.size(), 1u);
    EXPECT_EQ(delegate->activated[0].response, "real");
    g_dbus_connection_close_sync(impostor, nullptr, nullptr);
    g_object_unref(impostor);
}

TEST_F(UserNotificationCenterTest, RemoveAllClosesEveryNotificationStillShown) {
    start(FakeNotificationServer::capabilitiesWithoutInlineReply());
    deliver(message("chat-1"));
    deliver(message("chat-2"));
    deliver(message("chat-3"));
    const auto sent = server->notifications();
    server->close(sent[1].id);  // the user dismissed one already
    ASSERT_TRUE(runLoopUntil([&] { return center->deliveredNotifications().size() == 2; }));

    center->removeAllDeliveredNotifications();
    EXPECT_TRUE(center->deliveredNotifications().empty());
    ASSERT_TRUE(runLoopUntil([&] { return server->openIds().empty(); }));
    EXPECT_EQ(server->closedIds(), (std::vector<std::uint32_t>{sent[0].id, sent[2].id}));

    // One on its way while everything is withdrawn does not stay on screen.
    center->deliverNotification(message("chat-4"));
    center->removeAllDeliveredNotifications();
    ASSERT_TRUE(runLoopUntil([&] { return server->closedIds().size() == 3; }));
    EXPECT_TRUE(server->openIds().empty());
    // The next one of a withdrawn chat starts afresh.
    deliver(message("chat-1"));
    EXPECT_EQ(server->notifications().back().replacesId, 0u);
}

TEST_F(UserNotificationCenterTest, NotificationsBeforeTheCapabilitiesWaitForThem) {
    server = FakeNotificationServer::start(FakeNotificationServer::capabilitiesWithInlineReply());
    ASSERT_TRUE(server);
    center = std::make_unique<UserNotificationCenter>(identity());
    center->setDelegate(delegate);
    EXPECT_FALSE(center->capabilitiesKnown());
    UserNotification n = message("chat-1");
    n.hasReplyButton = true;
    center->deliverNotification(n);
    ASSERT_TRUE(runLoopUntil([&] { return delegate->delivered.size() == 1; }));
    EXPECT_TRUE(center->serverSupports("inline-reply"));
    EXPECT_TRUE(server->notifications()[0].hasAction("inline-reply"));
}

TEST_F(UserNotificationCenterTest, ANewServerIsAskedAgainAndKnowsNoOldIds) {
    start(FakeNotificationServer::capabilitiesWithInlineReply());
    deliver(message("chat-1"));
    ASSERT_TRUE(center->serverSupports("inline-reply"));

    server.reset();  // the desktop's server goes away ...
    server = FakeNotificationServer::start(FakeNotificationServer::capabilitiesWithoutInlineReply());
    ASSERT_TRUE(server);  // ... and another one takes over
    ASSERT_TRUE(runLoopUntil([&] { return !center->serverSupports("inline-reply"); }));
    EXPECT_TRUE(center->deliveredNotifications().empty());

    UserNotification n = message("chat-1");
    n.hasReplyButton = true;
    deliver(n);
    const auto sent = server->notifications();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].replacesId, 0u);
    EXPECT_FALSE(sent[0].hasAction("inline-reply"));
}

TEST_F(UserNotificationCenterTest, WithoutAServerNothingWaitsAndALaterServerIsUsed) {
    center = std::make_unique<UserNotificationCenter>(identity());
    center->setDelegate(delegate);
    bool known = false;
    center->whenCapabilitiesKnown([&] { known = true; });
    ASSERT_TRUE(runLoopUntil([&] { return known; }, 15.0));
    EXPECT_TRUE(center->capabilities().empty());
    // A server that starts later is asked, and takes the next notification.
    server = FakeNotificationServer::start(FakeNotificationServer::capabilitiesWithInlineReply());
    ASSERT_TRUE(server);
    ASSERT_TRUE(runLoopUntil([&] { return center->serverSupports("inline-reply"); }));
    deliver(message("chat-2"));
    ASSERT_EQ(delegate->delivered.size(), 1u);
    EXPECT_EQ(delegate->delivered[0].identifier, "chat-2");
}

}  // namespace
