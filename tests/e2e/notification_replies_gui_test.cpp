// Replies from desktop notifications with the real program, the default configuration's own page
// scripts and a stand-in client that keeps every chat's editor in the document (the closed chats'
// ones hidden): two contacts write, and each reply typed into a notification reaches the contact
// whose notification was answered, and nobody else, whatever was clicked before or after and
// whether or not the notification was withdrawn meanwhile. A reply the page cannot place (it
// reloaded and no longer knows the notification) is not sent: the user is told in the window.
// The page's own notifications as the web platform has them: pictures, close(), non-text titles.
#include <gtest/gtest.h>

#include "Accessibility.h"
#include "DesktopSession.h"
#include "FakeNotificationServer.h"
#include "Standin.h"

using platform::PropertyList;
using testsupport::Accessibility;
using testsupport::FakeNotificationServer;
using testsupport::HostedProgram;
using testsupport::PageRecord;
using testsupport::StandinServer;

namespace {

class NotificationReplies : public ::testing::Test {
protected:
    void SetUp() override {
        notifications = FakeNotificationServer::start(FakeNotificationServer::capabilitiesWithInlineReply());
        ASSERT_TRUE(notifications);
        StandinServer::Options options;
        options.configDirectory = PARLIVO_SOURCE_DIR "/tools/config/default";
        options.values = {{"PageURL", PropertyList("https://127.0.0.1:0/chats/?bridge=configuration")},
                          {"BaseURL", PropertyList("https://127.0.0.1:0/")}};
        server = std::make_unique<StandinServer>(options);
        ASSERT_TRUE(server->ok()) << server->error();
        program = HostedProgram::parlivo(*server);
        ASSERT_TRUE(server->waitForReady()) << program->output();
        // The configuration's scripts answered the program's start-up.
        ASSERT_TRUE(program->waitForOutput("JS didInit")) << program->output();
    }
    void TearDown() override {
        if (program) EXPECT_EQ(program->stop(), 0) << program->output();
    }

    // Runs `script` in the page; its value.
    PropertyList eval(const std::string& script) {
        auto done = server->waitForCommand(server->eval(script));
        EXPECT_TRUE(done && done->type == "evaluated") << (done ? done->json : "no answer") << program->output();
        return done ? (*done)["value"] : PropertyList();
    }
    // A contact writes; the desktop notification it became.
    FakeNotificationServer::Notification receive(const std::string& chat, const std::string& name, const std::string& text) {
        const auto before = notifications->notificationCount();
        eval("Chats.receive('" + chat + "', '" + name + "', '" + text + "'); true");
        EXPECT_TRUE(e2e::eventually([&] { return notifications->notificationCount() > before; })) << program->output();
        return notifications->notifications().back();
    }
    // What the page sent, chat and text, from record `from` on.
    std::vector<std::pair<std::string, std::string>> sent(size_t from) {
        std::vector<std::pair<std::string, std::string>> list;
        for (const auto& record : server->records())
            if (record.index >= from && record.type == "sent")
                list.emplace_back(record["chat"].stringOr(), record["text"].stringOr());
        return list;
    }
    // Waits for the `count`th message sent from record `from` on.
    bool waitForSent(size_t from, size_t count) {
        return e2e::eventually([&] { return sent(from).size() >= count; });
    }

    std::unique_ptr<FakeNotificationServer> notifications;
    std::unique_ptr<StandinServer> server;
    std::unique_ptr<HostedProgram> program;
};

using Sent = std::vector<std::pair<std::string, std::string>>;

}  // namespace

TEST_F(NotificationReplies, EachReplyReachesTheContactWhoseNotificationWasAnsweredInEitherOrder) {
    const auto fromAnn = receive("ann", "Ann", "Lunch?");
    const auto fromBob = receive("bob", "Bob", "Call me");
    ASSERT_TRUE(fromAnn.hasAction("inline-reply"));
    const size_t mark = server->mark();

    // No chat open: the last editor in the document is Bob's; the reply is Ann's.
    const std::string toAnn = "Yes, \"at one\" \\o/\nsee you";
    notifications->reply(fromAnn.id, toAnn);
    ASSERT_TRUE(waitForSent(mark, 1)) << program->output();
    // Ann's chat is open and its editor focused now; the reply is Bob's.
    notifications->reply(fromBob.id, "Later");
    ASSERT_TRUE(waitForSent(mark, 2)) << program->output();
    EXPECT_EQ(sent(mark), (Sent{{"ann", toAnn}, {"bob", "Later"}}));

    // A click first: it opens Bob's chat, brings the window up and withdraws every notification;
    // the reply typed into Ann's as it went still reaches Ann.
    const auto again = receive("ann", "Ann", "Still there?");
    const auto bobAgain = receive("bob", "Bob", "Hello?");
    notifications->invokeAction(bobAgain.id, "default");
    ASSERT_TRUE(e2e::eventually([&] { return eval("document.activeElement.getAttribute('aria-label')") ==
                                             PropertyList("Message to Bob"); }));
    notifications->reply(again.id, "Here");
    ASSERT_TRUE(waitForSent(mark, 3)) << program->output();
    // And a reply first, a click after: the reply to Bob goes to Bob, the click opens Ann's chat.
    const auto third = receive("bob", "Bob", "?");
    const auto annThird = receive("ann", "Ann", "!");
    notifications->reply(third.id, "Patience");
    notifications->invokeAction(annThird.id, "default");
    ASSERT_TRUE(waitForSent(mark, 4)) << program->output();
    ASSERT_TRUE(e2e::eventually([&] { return eval("document.activeElement.getAttribute('aria-label')") ==
                                             PropertyList("Message to Ann"); }));
    EXPECT_EQ(sent(mark), (Sent{{"ann", toAnn}, {"bob", "Later"}, {"ann", "Here"}, {"bob", "Patience"}}));
}

TEST_F(NotificationReplies, AReplyThePageCannotPlaceIsNotSentAndTheUserIsTold) {
    const auto fromAnn = receive("ann", "Ann", "Lunch?");
    // The page reloads: it no longer knows the notification.
    const size_t beforeReload = server->mark();
    // (The command's own record may go down with the page: the new page's "ready" is the sign.)
    server->eval("setTimeout(function () { location.reload(); }, 0); true");
    ASSERT_TRUE(server->waitForReady(60, beforeReload)) << program->output();
    const size_t mark = server->mark();

    Accessibility a11y(program->pid());
    notifications->reply(fromAnn.id, "Yes, at one");
    EXPECT_TRUE(a11y.waitFor(Accessibility::containing("label", "Your reply to Ann could not be sent"), 60))
        << a11y.describe() << program->output();
    EXPECT_TRUE(sent(mark).empty());
    // Nothing in any editor either.
    EXPECT_EQ(eval("Array.from(document.querySelectorAll('textarea')).map(e => e.value).join('')"), PropertyList(""));
}

TEST_F(NotificationReplies, ThePagesNotificationsKeepTheirPictureTextsAndCloseAsTheWebPlatformSays) {
    // A picture the page made (a blob: address) becomes the notification's; a missing one leaves
    // the program's own. A number as the title and the body shows as its digits.
    eval(R"(var c = document.createElement("canvas"); c.width = c.height = 24;
            c.getContext("2d").fillRect(0, 0, 24, 24);
            c.toBlob(function (b) { new Notification("Ann", { body: "picture", icon: URL.createObjectURL(b) }); }); true)");
    ASSERT_TRUE(e2e::eventually([&] { return notifications->notificationCount() == 1; })) << program->output();
    ASSERT_TRUE(notifications->notifications()[0].image);
    EXPECT_EQ(notifications->notifications()[0].image->width, 24);
    eval(R"(new Notification(42, { body: 7, icon: "/no-such-picture.png" }); true)");
    ASSERT_TRUE(e2e::eventually([&] { return notifications->notificationCount() == 2; })) << program->output();
    EXPECT_EQ(notifications->notifications()[1].summary, "42");
    EXPECT_EQ(notifications->notifications()[1].body, "7");
    EXPECT_FALSE(notifications->notifications()[1].image);

    // The same tag replaces the one on screen; close() withdraws it.
    eval(R"(window.first = new Notification("Bob", { body: "one", tag: "bob" }); true)");
    ASSERT_TRUE(e2e::eventually([&] { return notifications->notificationCount() == 3; }));
    eval(R"(window.second = new Notification("Bob", { body: "two", tag: "bob" }); true)");
    ASSERT_TRUE(e2e::eventually([&] { return notifications->notificationCount() == 4; }));
    const auto shown = notifications->notifications();
    EXPECT_EQ(shown[3].replacesId, shown[2].id);
    eval("first.close(); true");  // replaced already: withdraws nothing
    eval("second.close(); true");
    ASSERT_TRUE(e2e::eventually([&] { return !notifications->closedIds().empty(); })) << program->output();
    EXPECT_EQ(notifications->closedIds(), std::vector<std::uint32_t>{shown[3].id});
}
