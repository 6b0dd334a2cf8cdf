// Desktop notifications end to end inside the program, against a fake notification server on
// the test's private session bus: from the page's message to what the server shows (settings in
// both columns, do-not-disturb, sender and preview rules, the reply rule for both kinds of
// server), and back from a click or a reply to what would reach the page; clearing, the unread
// count, tray and badge, and the sounds played on delivery.

#include <gtest/gtest.h>
#include <gtkmm/main.h>

#include <cstdlib>
#include <set>

#include "FakeNotificationServer.h"
#include "PayloadFixture.h"
#include "RunLoop.h"
#include "StringExtensions.h"
#include "TrellikTestSupport.h"
#include "WQDirectory.h"
#include "WavFile.h"
#include "config/DynamicData.h"
#include "foundation/MainQueue.h"
#include "media/Sound.h"
#include "notifications/WQDesktopNotificationDelivery.h"
#include "notifications/WQNotificationSound.h"
#include "shell/TrellikParts.h"
#include "shell/TrellikStatusItem.h"
#include "shell/WQWindowController.h"
#include "system/LauncherEntry.h"
#include "ui/StatusNotifierItem.h"
#include "ui/UserNotificationCenter.h"

using namespace parlivo;
using namespace trelliktest;
using testsupport::FakeNotificationServer;
using testsupport::runLoopUntil;
using platform::PropertyList;
namespace fs = std::filesystem;

namespace {

platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }

// Stands in for the main view controller: what its page would be asked to run, built as the web
// host builds it (the reply text and the chat tag through the one escaper).
struct PageWebView : RecordingWebView {
    explicit PageWebView(EventLog& log) : RecordingWebView(log) {}
    std::vector<std::string> scripts;
    void openChatOrReply(const UserNotification& n) override {
        RecordingWebView::openChatOrReply(n);
        if (n.activationType == UserNotification::ActivationType::replied) {
            if (n.response && !n.identifier.empty())
                scripts.push_back("wqSendMessageToChatWithTag(" + tovak::javascriptStringLiteral(*n.response) + ", " +
                                  tovak::javascriptStringLiteral(n.identifier) + ");");
        } else if (!n.identifier.empty()) {
            scripts.push_back("wqOpenChat(" + tovak::javascriptStringLiteral(n.identifier) + ");");
        }
    }
};

// A small square picture as the page sends it.
std::string iconDataURL() {
    auto pixbuf = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, true, 8, 400, 400);
    pixbuf->fill(0x3366ccff);
    gchar* buffer = nullptr;
    gsize size = 0;
    gdk_pixbuf_save_to_buffer(pixbuf->gobj(), &buffer, &size, "png", nullptr, nullptr);
    gchar* base64 = g_base64_encode(reinterpret_cast<const guchar*>(buffer), size);
    std::string url = std::string("data:image/png;base64,") + base64;
    g_free(base64);
    g_free(buffer);
    return url;
}

PropertyList messageBody(PropertyList title, std::string body, std::string id, bool icon = true) {
    PropertyList message = PropertyList::dictionary();
    if (!title.isNull()) message.set("title", title);
    if (!body.empty()) message.set("body", body);
    if (icon) message.set("icon", iconDataURL());
    if (!id.empty()) message.set("id", id);
    return message;
}

void configure(bool allowSendingFromNotification, bool send) {
    auto root = payloadfixture::validRoot();
    root.set("AllowMessageSendingFromNotification", allowSendingFromNotification);
    root.set("Send", send);
    ASSERT_TRUE(DynamicData::shared().processConfigurationData(payloadfixture::seal(root), true));
}

class DesktopNotificationsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gtk_init(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
        setenv("PARLIVO_AUDIO_SINK", "fakesink", 1);
    }

    void SetUp() override {
        clearSettings();
        for (auto key : {WQNotificationSoundManager::keyFileName, WQNotificationSoundManager::keyCustomSound,
                         WQNotificationSoundManager::keyURL})
            defaults().remove(std::string(key));
        configure(true, true);
    }

    void TearDown() override { stop(); }

    // A server of the given kind, and the settings model with its delivery through a centre of
    // its own.
    void start(std::vector<std::string> capabilities) {
        server = FakeNotificationServer::start(std::move(capabilities));
        ASSERT_TRUE(server);
        trellik = std::make_unique<Trellik>();
        attachStatusItemAndShortcut(*trellik);
        bool started = false;
        platform::MainQueue::after(0.01, [&] { started = true; });  // after the model's own start-up turns
        ASSERT_TRUE(runLoopUntil([&] { return started; }));
        center = std::make_unique<platform::UserNotificationCenter>(platform::UserNotificationCenter::Identity{
            "Parlivo for WhatsApp", "net.vantreo.mac.WhatsApp", "net.vantreo.mac.WhatsApp"});
        trellik->setNotificationDelivery(WQDesktopNotificationDelivery::create(*trellik, *center));
        web = std::make_shared<PageWebView>(log);
        window = std::make_shared<RecordingWindow>(log);
        trellik->setWebViewDelegate(web);
        trellik->setWindowDelegate(window);
    }

    void stop() {
        trellik.reset();
        center.reset();
        server.reset();
    }

    // Waits until the server holds `count` notifications and the centre has their answers.
    void waitForNotifications(std::size_t count) {
        ASSERT_TRUE(runLoopUntil([&] { return server->notificationCount() >= count; }));
        ASSERT_EQ(server->notificationCount(), count);
        const auto ids = server->openIds();
        ASSERT_TRUE(runLoopUntil([&] { return center->deliveredNotifications().size() == ids.size(); }));
    }

    void set(std::string_view key, bool value) { defaults().setBool(std::string(key), value); }

    std::unique_ptr<FakeNotificationServer> server;
    std::unique_ptr<Trellik> trellik;
    std::unique_ptr<platform::UserNotificationCenter> center;
    EventLog log;
    std::shared_ptr<PageWebView> web;
    std::shared_ptr<RecordingWindow> window;
};

}  // namespace

TEST_F(DesktopNotificationsTest, WhatIsShownFollowsTheSettingsOfTheLockState) {
    start(FakeNotificationServer::capabilitiesWithInlineReply());
    struct Case {
        const char* name;
        std::vector<std::pair<std::string_view, bool>> settings;
        PropertyList message;
        bool shown;
        const char* title = "";
        const char* body = "";
        bool image = false;
        bool sound = true;
    };
    using namespace keys;
    const auto full = [] { return messageBody("Ann", "See you at 8 <3", "chat-1"); };
    const std::vector<Case> cases = {
        {"all on", {}, full(), true, "Ann", "See you at 8 &lt;3", true},
        {"sender hidden: no picture either", {{desktopNotificationsShowSender, false}}, full(), true,
         "New WhatsApp Message", "See you at 8 &lt;3", false},
        {"picture switched off", {{desktopNotificationsShowSenderImage, false}}, full(), true, "Ann",
         "See you at 8 &lt;3", false},
        {"picture on, sender hidden",
         {{desktopNotificationsShowSender, false}, {desktopNotificationsShowSenderImage, true}}, full(), true,
         "New WhatsApp Message", "See you at 8 &lt;3", true},
        {"preview hidden", {{desktopNotificationsShowMessagePreview, false}}, full(), true, "Ann",
         "Click here for details", true},
        {"sound off", {{desktopNotificationsPlayAudio, false}}, full(), true, "Ann", "See you at 8 &lt;3", true, false},
        {"notifications off", {{desktopNotificationsEnabled, false}}, full(), false},
        {"do not disturb", {{doNotDisturbEnabled, true}}, full(), false},
        {"only an id", {}, messageBody(nullptr, "", "chat-2", false), true, "", "", false},
        {"a number as the title", {}, messageBody(PropertyList(42), "", "chat-3", false), true, "42", "", false},
        {"an icon that is no picture", {}, [] {
             auto m = messageBody("Bob", "Hi", "chat-4", false);
             m.set("icon", "data:image/png;base64,bm90IGEgcGljdHVyZQ==");
             return m;
         }(), true, "Bob", "Hi", false},
        {"locked: the privacy defaults", {{privacyLockdown, true}}, full(), true, "New WhatsApp Message",
         "Click here for details", false},
        {"locked: sender and preview allowed",
         {{privacyLockdown, true}, {privacyDesktopNotificationsShowSender, true}, {privacyDesktopNotificationsShowPreview, true}},
         full(), true, "Ann", "See you at 8 &lt;3", true},
        {"locked: the normal switches do not count",
         {{privacyLockdown, true}, {desktopNotificationsShowSender, false}, {privacyDesktopNotificationsShowSender, true}},
         full(), true, "Ann", "Click here for details", true},
        {"locked: sound off", {{privacyLockdown, true}, {privacyDesktopNotificationsPlayAudio, false}}, full(), true,
         "New WhatsApp Message", "Click here for details", false, false},
        {"locked: notifications off", {{privacyLockdown, true}, {privacyDesktopNotificationsEnabled, false}}, full(), false},
        {"locked: the normal switch off does not count",
         {{privacyLockdown, true}, {desktopNotificationsEnabled, false}}, full(), true, "New WhatsApp Message",
         "Click here for details", false},
        {"locked with do not disturb", {{privacyLockdown, true}, {doNotDisturbEnabled, true}}, full(), false},
    };

    std::vector<const Case*> shown;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        clearSettings();
        for (const auto& [key, value] : c.settings) set(key, value);
        PropertyList message = c.message;
        message.set("id", "chat-" + std::to_string(i));  // one chat each: nothing replaces anything
        trellik->showDesktopNotification(message);
        if (c.shown) shown.push_back(&c);
    }
    // Every message counts, shown or not.
    EXPECT_EQ(trellik->unreadMessages(), int(cases.size()));
    clearSettings();
    trellik->showDesktopNotification(messageBody("marker", "", "marker", false));
    waitForNotifications(shown.size() + 1);

    const auto sent = server->notifications();
    EXPECT_EQ(sent.back().summary, "marker");
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const Case& c = *shown[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sent[i].summary, c.title);
        EXPECT_EQ(sent[i].body, c.body);
        EXPECT_EQ(sent[i].image.has_value(), c.image);
        if (c.image) {
            EXPECT_EQ(sent[i].image->width, WQDesktopNotificationDelivery::maximumImageSide);  // scaled down
        }
        EXPECT_EQ(sent[i].soundName, c.sound ? std::optional<std::string>("message-new-instant") : std::nullopt);
        EXPECT_EQ(sent[i].suppressSound, !c.sound);
        EXPECT_EQ(sent[i].desktopEntry, "net.vantreo.mac.WhatsApp");
    }
}

TEST_F(DesktopNotificationsTest, TheReplyFieldNeedsSenderPreviewTheConfigurationAndAServerThatOffersIt) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string_view, bool>> settings;
        bool allow, send;
        bool reply;  // where the server offers a reply field
    };
    using namespace keys;
    const std::vector<Case> cases = {
        {"everything allows it", {}, true, true, true},
        {"configuration forbids sending from notifications", {}, false, true, false},
        {"configuration forbids sending", {}, true, false, false},
        {"sender hidden", {{desktopNotificationsShowSender, false}}, true, true, false},
        {"preview hidden", {{desktopNotificationsShowMessagePreview, false}}, true, true, false},
        {"locked, even with everything shown",
         {{privacyLockdown, true}, {privacyDesktopNotificationsShowSender, true}, {privacyDesktopNotificationsShowPreview, true}},
         true, true, false},
    };
    for (bool serverOffersReply : {true, false}) {
        SCOPED_TRACE(serverOffersReply ? "server with inline reply" : "server without inline reply");
        start(serverOffersReply ? FakeNotificationServer::capabilitiesWithInlineReply()
                                : FakeNotificationServer::capabilitiesWithoutInlineReply());
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            clearSettings();
            for (const auto& [key, value] : c.settings) set(key, value);
            configure(c.allow, c.send);
            trellik->showDesktopNotification(messageBody("Ann", "Hi", "chat-" + std::to_string(i), false));
        }
        waitForNotifications(cases.size());
        const auto sent = server->notifications();
        for (std::size_t i = 0; i < cases.size(); ++i) {
            SCOPED_TRACE(cases[i].name);
            EXPECT_TRUE(sent[i].hasAction("default"));
            EXPECT_EQ(sent[i].hasAction("inline-reply"), serverOffersReply && cases[i].reply);
        }
        stop();
    }
}

TEST_F(DesktopNotificationsTest, AClickOpensTheChatAndShowsTheWindowAndAReplyIsSentToTheChat) {
    start(FakeNotificationServer::capabilitiesWithInlineReply());
    auto& badge = platform::LauncherEntry::shared();
    trellik->showDesktopNotification(messageBody("Ann", "Hi", "chat-1@c.us"));
    trellik->showDesktopNotification(messageBody("Bob", "Yo", "chat-2@c.us"));
    waitForNotifications(2);
    EXPECT_EQ(trellik->unreadMessages(), 2);
    EXPECT_EQ(badge.badgeCount(), 2);
    EXPECT_EQ(TrellikStatusItem::of(*trellik)->statusItem()->iconName(), TrellikStatusItem::themedIconName("StatusItemDefaultNotification"));
    const auto sent = server->notifications();
    log.events.clear();

    server->invokeAction(sent[0].id, "default");
    ASSERT_TRUE(runLoopUntil([&] { return web->scripts.size() == 1; }));
    EXPECT_EQ(web->scripts[0], R"(wqOpenChat("chat-1@c.us");)");
    EXPECT_EQ(log.events, (std::vector<std::string>{"web.openChatOrReply(chat-1@c.us)", "window.showWindow"}));
    EXPECT_EQ(trellik->unreadMessages(), 1);
    EXPECT_EQ(badge.badgeCount(), 1);

    // A reply goes to its chat and leaves the window where it is.
    server->reply(sent[1].id, "On my way, \"soon\"\n</script>");
    ASSERT_TRUE(runLoopUntil([&] { return web->scripts.size() == 2; }));
    EXPECT_EQ(web->scripts[1], R"(wqSendMessageToChatWithTag("On my way, \"soon\"\n\u003c\/script>", "chat-2@c.us");)");
    EXPECT_EQ(log.events.back(), "web.openChatOrReply(chat-2@c.us)");
    EXPECT_EQ(trellik->unreadMessages(), 0);
    EXPECT_FALSE(badge.badgeCount());
    EXPECT_EQ(TrellikStatusItem::of(*trellik)->statusItem()->iconName(), TrellikStatusItem::themedIconName("StatusItemDefaultIdle-symbolic"));
}

TEST_F(DesktopNotificationsTest, AReplyThatArrivesWhileLockedGoesToNoChatAndIsKept) {
    start(FakeNotificationServer::capabilitiesWithInlineReply());
    trellik->showDesktopNotification(messageBody("Ann", "Hi", "chat-1", false));
    waitForNotifications(1);
    const auto id = server->notifications()[0].id;
    ASSERT_TRUE(server->notifications()[0].hasAction("inline-reply"));

    trellik->setPrivacyLockdown(true);  // the idle timer locked the program meanwhile
    server->reply(id, "typed into a notification of a locked program");
    server->invokeAction(id, "default");  // marker: a click still opens the chat behind the lock screen
    ASSERT_TRUE(runLoopUntil([&] { return !web->scripts.empty(); }));
    EXPECT_EQ(web->scripts, std::vector<std::string>{R"(wqOpenChat("chat-1");)"});
    EXPECT_EQ(log.events.front(), "web.keepReply(chat-1)");
}

TEST_F(DesktopNotificationsTest, RemovingNotificationsClosesEveryOneAndClearsTheCount) {
    start(FakeNotificationServer::capabilitiesWithoutInlineReply());
    trellik->showDesktopNotification(messageBody("Ann", "one", "chat-1", false));
    trellik->showDesktopNotification(messageBody("Bob", "two", "chat-2", false));
    trellik->showDesktopNotification(messageBody("Ann", "three", "chat-1", false));  // replaces "one"
    waitForNotifications(3);
    const auto shown = server->openIds();
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_EQ(trellik->unreadMessages(), 2);  // on screen and in the count

    trellik->clearDeliveredNotifications();  // the page's "removeNotifications"
    ASSERT_TRUE(runLoopUntil([&] { return server->openIds().empty(); }));
    // Each one shown is closed. The replacement's answer may still be on its way when the page
    // clears: the program then closes that id once more as it arrives, which is harmless.
    const auto closed = server->closedIds();
    EXPECT_EQ(std::set<std::uint32_t>(closed.begin(), closed.end()), std::set<std::uint32_t>(shown.begin(), shown.end()));
    EXPECT_EQ(trellik->unreadMessages(), 0);
    EXPECT_FALSE(platform::LauncherEntry::shared().badgeCount());
}

TEST_F(DesktopNotificationsTest, TheCustomSoundIsPlayedOnDeliveryAndOnlyIt) {
    start(FakeNotificationServer::capabilitiesWithoutInlineReply());
    std::vector<std::string> played;
    auto token = platform::NotificationCenter::defaultCenter().addObserver(
        platform::Sound::didStartPlayingNotification,
        [&](const platform::Notification& n) { played.push_back(*n.info<std::string>("path")); });

    // A theme sound: the server plays it by name, the program plays nothing.
    WQNotificationSoundManager manager;
    manager.saveCurrentSound(*manager.soundForName("Bell"));
    trellik->showDesktopNotification(messageBody("Ann", "one", "chat-1", false));
    waitForNotifications(1);
    EXPECT_EQ(server->notifications()[0].soundName, "bell");

    // The custom sound: no sound name for the server; the program plays the file on delivery.
    ASSERT_TRUE(testsupport::writeWavFile(fs::temp_directory_path() / "chosen.wav", 0.3));
    std::optional<bool> imported;
    manager.userSelectedSound->importCustomSound(fs::temp_directory_path() / "chosen.wav",
                                                 [&](bool ok) { imported = ok; });
    ASSERT_TRUE(runLoopUntil([&] { return imported.has_value(); }, 30.0));
    ASSERT_TRUE(*imported);
    manager.saveCurrentSound(*manager.userSelectedSound);
    trellik->showDesktopNotification(messageBody("Ann", "two", "chat-2", false));
    waitForNotifications(2);
    EXPECT_FALSE(server->notifications()[1].soundName);
    EXPECT_TRUE(server->notifications()[1].suppressSound);
    ASSERT_TRUE(runLoopUntil([&] { return !played.empty(); }));
    EXPECT_EQ(played, std::vector<std::string>{*manager.userSelectedSound->url});

    // Do-not-disturb switched on after showing and before delivery: nothing plays.
    trellik->showDesktopNotification(messageBody("Ann", "three", "chat-3", false));
    set(keys::doNotDisturbEnabled, true);
    waitForNotifications(3);
    set(keys::doNotDisturbEnabled, false);
    trellik->showDesktopNotification(messageBody("Ann", "four", "chat-4", false));  // marker
    waitForNotifications(4);
    ASSERT_TRUE(runLoopUntil([&] { return played.size() >= 2; }));
    EXPECT_EQ(played.size(), 2u);
}

TEST_F(DesktopNotificationsTest, TheMainWindowBecomingKeyClearsThemAll) {
    server = FakeNotificationServer::start(FakeNotificationServer::capabilitiesWithInlineReply());
    ASSERT_TRUE(server);
    // The program's own settings model and notification centre.
    Trellik& shared = connectedSettingsModel();
    shared.showDesktopNotification(messageBody("Ann", "Hi", "chat-1", false));
    shared.showDesktopNotification(messageBody("Bob", "Yo", "chat-2", false));
    ASSERT_TRUE(runLoopUntil([&] { return server->openIds().size() == 2; }));
    ASSERT_TRUE(runLoopUntil([&] {
        return platform::UserNotificationCenter::defaultCenter().deliveredNotifications().size() == 2;
    }));
    EXPECT_EQ(shared.unreadMessages(), 2);

    auto controller = WQWindowController::instantiate(nullptr);
    ASSERT_TRUE(controller);
    controller->makeKeyAndOrderFront();
    ASSERT_TRUE(runLoopUntil([&] { return controller->window()->is_active(); }, 10.0));
    ASSERT_TRUE(runLoopUntil([&] { return server->openIds().empty(); }));
    EXPECT_EQ(shared.unreadMessages(), 0);
    EXPECT_FALSE(platform::LauncherEntry::shared().badgeCount());
    controller->destroyWindow();
}
