// Desktop notifications with the real program and the stand-in page: a message the page reports
// on "incomingMessageHandler" becomes a notification on the session bus's notification server
// (a fake one, with a reply field), a reply typed into it reaches the page for that chat, and a
// click opens the chat.
#include <gtest/gtest.h>

#include "DesktopSession.h"
#include "FakeNotificationServer.h"
#include "Standin.h"

using platform::PropertyList;
using testsupport::FakeNotificationServer;
using testsupport::HostedProgram;
using testsupport::StandinServer;

TEST(DesktopNotification, APageMessageIsNotifiedAndTheReplyAndClickReachThePage) {
    auto notifications = FakeNotificationServer::start(FakeNotificationServer::capabilitiesWithInlineReply());
    ASSERT_TRUE(notifications);
    StandinServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    auto program = HostedProgram::parlivo(server);
    ASSERT_TRUE(server.waitForEvent("didStartup")) << program->output();

    PropertyList message = PropertyList::dictionary();
    message.set("title", "Ann \"the\" <b>Tester</b>");
    message.set("body", "Lunch <i>at</i> one?");
    message.set("id", "4915550001@c.us");
    const size_t mark = server.mark();
    auto posted = server.waitForCommand(server.post("incomingMessageHandler", message));
    ASSERT_TRUE(posted && posted->type == "posted");
    ASSERT_TRUE(e2e::eventually([&] { return notifications->notificationCount() == 1; })) << program->output();
    const auto shown = notifications->notifications().front();
    EXPECT_NE(shown.summary.find("Tester"), std::string::npos) << shown.summary;
    // The body is read as markup by servers that offer it: the page's tags arrive as text.
    EXPECT_NE(shown.body.find("Lunch"), std::string::npos) << shown.body;
    EXPECT_EQ(shown.body.find("<i>"), std::string::npos) << shown.body;
    ASSERT_TRUE(shown.hasAction("inline-reply"));

    // A reply with a quote and a line break reaches the page intact, for that chat.
    notifications->reply(shown.id, "Yes, \"at one\"\nsee you");
    auto sent = server.waitForCall("wqSendMessageToChatWithTag", 30, mark);
    ASSERT_TRUE(sent) << program->output();
    EXPECT_EQ(sent->args(), PropertyList(PropertyList::Array{"Yes, \"at one\"\nsee you", "4915550001@c.us"}));

    // Another message, clicked: the page opens its chat.
    message.set("body", "Or two?");
    posted = server.waitForCommand(server.post("incomingMessageHandler", message));
    ASSERT_TRUE(posted && posted->type == "posted");
    ASSERT_TRUE(e2e::eventually([&] { return notifications->notificationCount() == 2; })) << program->output();
    notifications->invokeAction(notifications->notifications().back().id, "default");
    auto opened = server.waitForCall("wqOpenChat", 30, mark);
    ASSERT_TRUE(opened) << program->output();
    EXPECT_EQ(opened->args()[0], PropertyList("4915550001@c.us"));
    EXPECT_EQ(program->stop(), 0) << program->output();
}
