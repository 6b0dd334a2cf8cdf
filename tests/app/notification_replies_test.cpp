// Replies typed into desktop notifications, without a display: the page's answer decides whether a
// reply went to its chat; every other outcome (the page does not know the notification, reloaded,
// has an old configuration, fails, never answers, no web view, the program is locked) keeps the
// text for the user and tells them, once.
#include <gtest/gtest.h>

#include "RunLoop.h"
#include "WebHostFakes.h"
#include "notifications/WQWindowNotification.h"
#include "web/NotificationReplies.h"
#include "web/WebClientCommands.h"

using namespace parlivo;
using namespace webhosttest;
using testsupport::runLoopUntil;
using Result = platform::JavaScriptEvaluator::Result;

namespace {

class NotificationRepliesTest : public ::testing::Test {
protected:
    void SetUp() override {
        NotificationReplies::Environment environment;
        environment.copyToClipboard = [this](const std::string& text) { clipboard.push_back(text); };
        environment.showWindow = [this] { ++windowShown; };
        environment.presentNote = [this](const std::shared_ptr<WQWindowNotification>& note) { notes.push_back(note); };
        environment.isLocked = [this] { return locked; };
        environment.answerTimeout = 0.2;
        replies = NotificationReplies::create(std::move(environment));
        commands.setWebView(webView);
    }

    static UserNotification reply(std::string tag, std::string sender, std::string text) {
        UserNotification n;
        n.identifier = std::move(tag);
        n.title = std::move(sender);
        n.activationType = UserNotification::ActivationType::replied;
        n.response = std::move(text);
        return n;
    }

    // Sends `n` and lets the page answer with `answer`; true once the reply was settled either way.
    void sendAnswered(const UserNotification& n, Result answer) {
        webView->answer = [answer](const std::string&) { return answer; };
        replies->send(n, commands);
    }

    std::shared_ptr<NotificationReplies> replies;
    std::shared_ptr<FakeEvaluator> webView = std::make_shared<FakeEvaluator>();
    WebClientCommands commands;
    std::vector<std::string> clipboard;
    std::vector<std::shared_ptr<WQWindowNotification>> notes;
    int windowShown = 0;
    bool locked = false;
};

}  // namespace

TEST_F(NotificationRepliesTest, OnlyThePagesYesCountsAsSent) {
    struct Case {
        const char* name;
        Result answer;
        bool placed;
    };
    const Case cases[] = {
        {"the page placed it in the notification's chat", {ScriptValue(true), std::nullopt}, true},
        {"the page could not make sure of the chat", {ScriptValue(false), std::nullopt}, false},
        {"an old configuration's function answers nothing", {ScriptValue(), std::nullopt}, false},
        {"an answer that is no yes", {ScriptValue("true"), std::nullopt}, false},
        {"the function is missing or throws", {std::nullopt, std::string("ReferenceError")}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clipboard.clear();
        notes.clear();
        windowShown = 0;
        sendAnswered(reply("chat-ann", "Ann", "Yes, \"at one\"\nsee you \\o/"), c.answer);
        if (c.placed) {
            EXPECT_TRUE(clipboard.empty());
            EXPECT_TRUE(notes.empty());
            EXPECT_EQ(windowShown, 0);
        } else {
            EXPECT_EQ(clipboard, std::vector<std::string>{"Yes, \"at one\"\nsee you \\o/"});
            ASSERT_EQ(notes.size(), 1u);
            EXPECT_NE(notes[0]->text.find("Ann"), std::string::npos) << notes[0]->text;
            EXPECT_NE(notes[0]->text.find("clipboard"), std::string::npos) << notes[0]->text;
            EXPECT_EQ(windowShown, 1);
        }
    }
    // What the page was asked: its function, the text first and the notification's id second,
    // awaited as the body of an async function.
    ASSERT_FALSE(webView->scripts.empty());
    EXPECT_NE(webView->scripts[0].find(R"(return wqSendMessageToChatWithTag("Yes, \"at one\"\nsee you \\o\/", "chat-ann");)"),
              std::string::npos)
        << webView->scripts[0];
}

TEST_F(NotificationRepliesTest, NoAnswerInTimeOrNoPageKeepsTheReplyOnce) {
    // The page never answers: kept after the time-out; its late yes changes nothing.
    webView->deferred = true;
    replies->send(reply("chat-bob", "Bob", "late"), commands);
    ASSERT_TRUE(runLoopUntil([&] { return !notes.empty(); }));
    webView->completeAll({ScriptValue(true), std::nullopt});
    webView->deferred = false;

    // No web view at all (torn down, logged out).
    commands.setWebView({});
    replies->send(reply("chat-cy", "", "no page"), commands);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(clipboard, (std::vector<std::string>{"late", "no page"}));
    EXPECT_EQ(notes[1]->text.find("%@"), std::string::npos) << notes[1]->text;  // no sender: no name to show

    // Past the time-out of the first: nothing was told twice.
    EXPECT_TRUE(testsupport::runLoopPastTimer(0.3));
    EXPECT_EQ(notes.size(), 2u);

    // A reply without text or without a chat is nothing to send or keep.
    UserNotification nothing = reply("", "Di", "x");
    replies->send(nothing, commands);
    EXPECT_EQ(notes.size(), 2u);
}

TEST_F(NotificationRepliesTest, WhileLockedRepliesWaitForTheUnlockAndTheNoteCopiesAgain) {
    locked = true;
    replies->keep(reply("chat-ann", "Ann", "first"));
    sendAnswered(reply("chat-bob", "Bob", "second"), {ScriptValue(false), std::nullopt});  // locked as it failed
    EXPECT_TRUE(notes.empty());
    EXPECT_TRUE(clipboard.empty());  // nothing of them while the lock screen is up
    EXPECT_EQ(windowShown, 0);
    ASSERT_EQ(replies->held().size(), 2u);

    locked = false;
    replies->unlocked();
    EXPECT_TRUE(replies->held().empty());
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_NE(notes[0]->text.find("Ann"), std::string::npos);
    EXPECT_NE(notes[1]->text.find("Bob"), std::string::npos);
    EXPECT_EQ(clipboard, (std::vector<std::string>{"first", "second"}));

    // The clipboard holds the last one; each note puts its own text back.
    ASSERT_TRUE(notes[0]->button2Action);
    notes[0]->button2Action(*notes[0]);
    EXPECT_EQ(clipboard.back(), "first");
    replies->unlocked();  // nothing left to tell
    EXPECT_EQ(notes.size(), 2u);
}
