// The page bridge without a display: which messages reach the native side and in what form, the
// refusals that keep hostile pages harmless, and the scripts the answers are made of.
#include <gtest/gtest.h>

#include <climits>

#include "WebHostFakes.h"
#include "web/PageMessageDispatcher.h"
#include "web/PageScripts.h"
#include "web/ScriptValueConversion.h"

using namespace parlivo;
using namespace webhosttest;
using platform::ScriptMessage;

namespace {

struct RecordingHost : PageBridgeHost {
    std::vector<std::string> log;
    std::optional<std::string> pageURL = std::string("https://web.example.org/");
    std::string lastSource;
    ScriptValue::Array lastParameters;

    void showDesktopNotification(const IncomingMessage& m) override {
        log.push_back("notify:" + m.title + "|" + m.body + "|" + m.id);
    }
    void openSettings() override { log.push_back("openSettings"); }
    void contactWithError() override { log.push_back("contactWithError"); }
    void pageDidInit(const std::shared_ptr<JavaScriptEvaluator>& webView) override {
        log.push_back(webView ? "didInit" : "didInit:noWebView");
    }
    void pageWillStartup() override { log.push_back("willStartup"); }
    void pageDidStartup() override { log.push_back("didStartup"); }
    void reloadRequested() override { log.push_back("reload"); }
    void logoutRequested() override { log.push_back("logout"); }
    void toggleDoNotDisturb() override { log.push_back("toggleDoNotDisturb"); }
    void removeNotifications() override { log.push_back("removeNotifications"); }
    void checkForUpdates() override { log.push_back("checkForUpdates"); }
    void closeNotification(const std::string& id) override { log.push_back("close:" + id); }
    void saveDownload(std::string dataURL, const std::string& mimeType,
                      const std::optional<std::string>& fileName) override {
        log.push_back("save:" + std::string(dataURL) + "|" + mimeType + "|" + fileName.value_or("<none>"));
    }
    void openExternalURL(const std::string& url) override { log.push_back("browser:" + url); }
    void loadURLInWebView(const std::string& url) override { log.push_back("inApp:" + url); }
    std::optional<std::string> configuredPageURL() override { return pageURL; }
    void sendMail(const std::string& a, const std::string& s, const std::string& m) override {
        log.push_back("mail:" + a + "|" + s + "|" + m);
    }
    void exitProcess(int code) override { log.push_back("exit:" + std::to_string(code)); }
    void convertAudio(const std::string& id, const std::string& url, std::weak_ptr<JavaScriptEvaluator>) override {
        log.push_back("audio:" + id + "|" + url);
    }
    void runFFmpeg(const std::string& id, std::string source, const std::string& in, const std::string& out,
                   ScriptValue::Array parameters, std::weak_ptr<JavaScriptEvaluator>) override {
        lastSource = std::move(source);
        lastParameters = std::move(parameters);
        log.push_back("ffmpeg:" + id + "|" + in + "|" + out);
    }
};

class PageBridgeTest : public ::testing::Test {
protected:
    std::shared_ptr<RecordingHost> host = std::make_shared<RecordingHost>();
    std::shared_ptr<FakeEvaluator> webView = std::make_shared<FakeEvaluator>();
    PageMessageDispatcher dispatcher{host};

    // Posts `json` (the body as the page would post it) on `name`; returns what reached the host.
    std::vector<std::string> post(std::string_view name, const std::string& json) {
        host->log.clear();
        auto body = platform::scriptValueFromJSON(json);
        EXPECT_TRUE(body) << json;
        dispatcher.didReceiveScriptMessage(ScriptMessage{std::string(name), body.value_or(ScriptValue()), webView});
        return host->log;
    }
};

using Log = std::vector<std::string>;

}  // namespace

TEST_F(PageBridgeTest, EventsAreMatchedExactly) {
    const std::pair<const char*, Log> cases[] = {
        {"\"settingsClicked\"", {"openSettings"}},
        {"\"contactWithError\"", {"contactWithError"}},
        {"\"didInit\"", {"didInit"}},
        {"\"willStartup\"", {"willStartup"}},
        {"\"didStartup\"", {"didStartup"}},
        {"\"reload\"", {"reload"}},
        {"\"logout\"", {"logout"}},
        {"\"toggleDoNotDisturb\"", {"toggleDoNotDisturb"}},
        {"\"removeNotifications\"", {"removeNotifications"}},
        {"\"checkForUpdates\"", {"checkForUpdates"}},
        {"\"Reload\"", {}},
        {"\"reload \"", {}},
        {"\"unknownEvent\"", {}},
        {"42", {}},
        {"[\"reload\"]", {}},
        {"null", {}},
    };
    for (const auto& [body, expected] : cases) {
        SCOPED_TRACE(body);
        EXPECT_EQ(post("eventHandler", body), expected);
    }
}

TEST_F(PageBridgeTest, ActionsReachTheHostOnlyWithTheirKeysAndAllowedAddresses) {
    const std::pair<const char*, Log> cases[] = {
        {R"({"action":"download","download":"data:text/plain;base64,aGk=","mimeType":"text/plain","fileName":"a.txt"})",
         {"save:data:text/plain;base64,aGk=|text/plain|a.txt"}},
        {R"({"action":"download","download":"data:x;base64,aGk=","mimeType":"text/plain"})",
         {"save:data:x;base64,aGk=|text/plain|<none>"}},
        {R"({"action":"download","download":"data:x;base64,aGk=","mimeType":"text/plain","fileName":7})",
         {"save:data:x;base64,aGk=|text/plain|<none>"}},
        {R"({"action":"download","url":"data:x;base64,aGk=","mimeType":"text/plain"})", {}},
        {R"({"action":"download","download":"data:x;base64,aGk="})", {}},
        {R"({"action":"openURL","url":"https://example.org/a?b=c"})", {"browser:https://example.org/a?b=c"}},
        {R"({"action":"openURL","url":"mailto:someone@example.org"})", {"browser:mailto:someone@example.org"}},
        {R"({"action":"openURL","url":"file:///etc/passwd"})", {}},
        {R"J({"action":"openURL","url":"javascript:alert(1)"})J", {}},
        {R"({"action":"openURL","url":"/usr/bin/xterm"})", {}},
        {R"({"action":"openURL","url":"not a url"})", {}},
        {R"({"action":"openURL"})", {}},
        {R"({"url":"https://example.org/"})", {}},
        {R"({"action":"noSuchAction","url":"https://example.org/"})", {}},
        {R"({"action":"openURLInApp","url":"https://web.example.org/other/page"})",
         {"inApp:https://web.example.org/other/page"}},
        {R"({"action":"openURLInApp","url":"https://web.example.org:443/x"})", {"inApp:https://web.example.org:443/x"}},
        {R"({"action":"openURLInApp","url":"http://web.example.org/x"})", {"browser:http://web.example.org/x"}},
        {R"({"action":"openURLInApp","url":"https://evil.example.com/"})", {"browser:https://evil.example.com/"}},
        {R"({"action":"openURLInApp","url":"file:///home"})", {}},
        {R"({"action":"sendMail","address":"a@b.c","subject":"S","message":"M"})", {"mail:a@b.c|S|M"}},
        {R"({"action":"sendMail","address":"a@b.c","subject":"S"})", {}},
        {R"({"action":"exit","code":3})", {"exit:3"}},
        {R"({"action":"exit","code":-1})", {"exit:-1"}},
        {R"({"action":"exit","code":2147483648})", {}},
        {R"({"action":"exit","code":1.5})", {}},
        {R"({"action":"exit","code":"3"})", {}},
        {R"({"action":"closeNotification","id":"chat-1@c.us"})", {"close:chat-1@c.us"}},
        {R"({"action":"closeNotification","id":7})", {}},
        {R"({"action":"closeNotification","id":""})", {}},
        {R"({"action":"closeNotification"})", {}},
    };
    for (const auto& [body, expected] : cases) {
        SCOPED_TRACE(body);
        EXPECT_EQ(post("eventHandler", body), expected);
    }
    host->pageURL.reset();  // no configuration yet: nothing is the web client
    EXPECT_EQ(post("eventHandler", R"({"action":"openURLInApp","url":"https://web.example.org/x"})"),
              Log{"browser:https://web.example.org/x"});
}

TEST_F(PageBridgeTest, NewMessagesBecomeNotificationsOnlyFromDictionaries) {
    EXPECT_EQ(post("incomingMessageHandler", R"({"title":"Ann","body":"Hi","id":"chat@1","iconRadius":4})"),
              Log{"notify:Ann|Hi|chat@1"});
    // A number is shown as its digits; null and a missing key as nothing.
    EXPECT_EQ(post("incomingMessageHandler", R"({"title":5,"body":null})"), Log{"notify:5||"});
    EXPECT_EQ(post("incomingMessageHandler", R"({"title":"Ann","body":2.5,"id":7})"), Log{"notify:Ann|2.5|"});
    EXPECT_EQ(post("incomingMessageHandler", R"("just text")"), Log{});
    auto message = PageMessageDispatcher::incomingMessage(*platform::scriptValueFromJSON(R"({"iconRadius":2.5})"));
    ASSERT_TRUE(message);
    EXPECT_EQ(message->iconRadius, 2.5);
}

TEST_F(PageBridgeTest, ConversionRequestsAreCheckedStepByStep) {
    const std::pair<const char*, Log> audio[] = {
        {R"({"id":"a1","src":"https://media.example.org/x.aac"})", {"audio:a1|https://media.example.org/x.aac"}},
        {R"({"id":"a1","src":"file:///home/user/secret.aac"})", {}},
        {R"({"id":"a1","src":"blob:https://web.example.org/123"})", {}},
        {R"({"id":"a1","src":"no url"})", {}},
        {R"({"id":1,"src":"https://media.example.org/x.aac"})", {}},
        {R"("https://media.example.org/x.aac")", {}},
    };
    for (const auto& [body, expected] : audio) {
        SCOPED_TRACE(body);
        EXPECT_EQ(post("audioHandler", body), expected);
    }
    const std::pair<const char*, Log> ffmpeg[] = {
        {R"({"src":"data:a;base64,aGk=","id":"f1","parameters":["-i","%i","%o"],"inDataType":"ogg","outDataType":"mp3"})",
         {"ffmpeg:f1|ogg|mp3"}},
        {R"({"src":"data:a;base64,aGk=","id":"f1","inDataType":"ogg","outDataType":"mp3"})", {}},
        {R"({"src":"data:a;base64,aGk=","id":"f1","parameters":[],"inDataType":"ogg"})", {}},
        {R"({"src":"data:a;base64,aGk=","id":"f1","parameters":[],"inDataType":"../../x","outDataType":"mp3"})", {}},
        {R"({"src":"data:a;base64,aGk=","id":"f1","parameters":[],"inDataType":"ogg","outDataType":"mp3 -y"})", {}},
    };
    for (const auto& [body, expected] : ffmpeg) {
        SCOPED_TRACE(body);
        EXPECT_EQ(post("ffmpegHandler", body), expected);
    }
    post("ffmpegHandler",
         R"({"src":"data:a;base64,aGk=","id":"f1","parameters":["-i","%i",3,"%o"],"inDataType":"ogg","outDataType":"mp3"})");
    EXPECT_EQ(host->lastSource, "data:a;base64,aGk=");  // decoded by the host, off the main thread
    EXPECT_EQ(host->lastParameters.size(), 4u);  // the wrapper decides about elements that are not text
}

TEST_F(PageBridgeTest, HostileMessagesReachNothing) {
    // Bodies that are valid JSON but of every wrong shape, on every name the bridge serves.
    const char* bodies[] = {
        "null", "true", "-0", "1e308", "[]", "{}", R"({"action":null})", R"({"action":["download"]})",
        R"({"action":"download","download":{"a":1},"mimeType":"x"})", R"({"action":"exit","code":1e20})",
        R"({"id":{"toString":"x"},"src":"https://a.example/"})", R"({"src":"data:;base64,","id":"","parameters":{}})",
    };
    for (std::string_view name : {"eventHandler", "audioHandler", "ffmpegHandler", "incomingMessageHandler"}) {
        for (const char* body : bodies) {
            SCOPED_TRACE(std::string(name) + " " + body);
            const Log log = post(name, body);
            if (name == "incomingMessageHandler" && body[0] == '{') {
                EXPECT_EQ(log.size(), 1u);  // every dictionary is a message; its fields default to empty
            } else {
                EXPECT_EQ(log, Log{});
            }
        }
    }
    // A logging page is never answered; an unknown name only prints its report.
    EXPECT_EQ(post("logHandler", R"({"deep":[[[["x"]]]]})"), Log{});
    testing::internal::CaptureStdout();
    post("someOtherHandler", R"({"a":1})");
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "####### UNHANDLED MESSAGE! #######\nTITLE: {\"a\":1}\n");
    EXPECT_EQ(host->log, Log{});
}

TEST_F(PageBridgeTest, EachNameReadsNoMoreThanItsHandlerCanUse) {
    // Values as the page posts them, checked against the name's shape before they are read: an
    // oversized or misshapen body is refused whole, what fits reaches the host as before, and a
    // whole file is left to be read apart.
    struct Case {
        const char* name;
        const char* expression;
        bool accepted;
        Log reaches;
    } cases[] = {
        {"eventHandler", "'didInit'.repeat(200000)", false, {}},
        {"eventHandler", "({action: 'sendMail', address: 'a@b.example', subject: 's', message: 'm'.repeat(2 << 20)})",
         false, {}},
        {"eventHandler", "({action: 'sendMail', address: 'a@b.example', subject: 's', message: 'hello'})", true,
         {"mail:a@b.example|s|hello"}},
        {"eventHandler", "({action: 'download', download: 'data:text/plain;base64,' + 'QUJD'.repeat(100000), "
                         "mimeType: 'text/plain'})", true, {"save:<read apart>|text/plain|<none>"}},
        {"eventHandler", "({action: 'openURL', url: 'https://a.example/' + 'p'.repeat(2 << 20)})", false, {}},
        {"incomingMessageHandler", "({title: 't'.repeat(600000), body: 'b'.repeat(600000), id: 'c'})", false, {}},
        {"incomingMessageHandler", "({title: 'T', body: 'b', icon: 'i'.repeat(5 << 20), id: 'c'})", false, {}},
        {"incomingMessageHandler", "({title: 'T', body: 'b', icon: 'data:image/png;base64,' + 'A'.repeat(300000), "
                                   "id: 'c'})", true, {"notify:T|b|c"}},
        {"ffmpegHandler", "({src: 'A'.repeat(400000), id: 'x', parameters: new Array(20000).fill('-y'), "
                          "inDataType: 'wav', outDataType: 'm4a'})", false, {}},
        {"ffmpegHandler", "({src: 'data:a;base64,' + 'QUJD'.repeat(100000), id: 'x', parameters: ['-y'], inDataType: 'wav', "
                          "outDataType: 'm4a'})", true, {"ffmpeg:x|wav|m4a"}},
        {"audioHandler", "'https://a.example/a.mp3'", false, {}},
        {"audioHandler", "({id: 'i'.repeat(100000), src: 'https://a.example/a.mp3'})", false, {}},
        {"logHandler", "'l'.repeat(10 << 20)", true, {}},  // debug off: taken, never read
    };
    JSCContext* context = jsc_context_new();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.expression);
        JSCValue* value = jsc_context_evaluate(context, c.expression, -1);
        auto reading = platform::readScriptMessage(value, dispatcher.messageShape(c.name));
        g_object_unref(value);
        ASSERT_EQ(reading.body.has_value(), c.accepted) << reading.refusal;
        if (!c.accepted) {
            EXPECT_EQ(reading.refusal, std::string(c.name) == "audioHandler" && c.expression[0] == '\''
                                           ? "not of a kind the handler takes"
                                           : "past the handler's size limits");
            continue;
        }
        if (std::string(c.name) == "logHandler") {
            EXPECT_EQ(*reading.body, ScriptValue());
        }
        for (auto& deferred : reading.deferred) {
            auto text = platform::scriptStringFromJSC(deferred.value, deferred.maxBytes);
            g_object_unref(deferred.value);
            ASSERT_TRUE(text);
            EXPECT_GT(text->size(), platform::kDeferredMemberBytes);
            reading.body->set(deferred.key, ScriptValue(deferred.key == "download" ? "<read apart>" : *text));
        }
        host->log.clear();
        dispatcher.didReceiveScriptMessage(ScriptMessage{c.name, *reading.body, webView});
        EXPECT_EQ(host->log, c.reaches);
        if (std::string(c.name) == "ffmpegHandler") {
            EXPECT_EQ(host->lastSource.size(), 400014u);
        }
    }
    g_object_unref(context);
}

TEST_F(PageBridgeTest, OutsideTextsReachThePageIntactWhateverTheyHold) {
    const std::string texts[] = {
        "plain", "with \"double\" quotes", "with 'single' quotes", "back\\slash\\", "line\nbreak\r\n",
        "separators \u2028 and \u2029", "</script><script>alert(1)</script>", "tab\tand\x01control",
        "emoji 😀 and ümlaut", "');alert(1);('", "\");alert(1);(\"",
    };
    for (const auto& text : texts) {
        SCOPED_TRACE(text);
        RecordingPage page;
        const std::string scripts[] = {
            pagescripts::changeAudioToURL(text, "QUJD", text),
            pagescripts::ffmpegCallback(text, std::string("QUJD"), text),
            pagescripts::ffmpegCallback(text, std::nullopt, text),
            pagescripts::sendMessageToChatWithTag(text, text),
            pagescripts::sendSharedText(text),
            pagescripts::openChat(text),
            pagescripts::downloadBlob(text),
            pagescripts::setStyle(text),
        };
        for (const auto& script : scripts) ASSERT_TRUE(page.run(script)) << script;
        const ScriptValue expected(ScriptValue::Array{
            call({"changeAudioToURL", "data:" + text + ";base64,QUJD", text}),
            call({"wqFFmpegCallback", text, true, "QUJD", text}),
            call({"wqFFmpegCallback", text, false}),
            call({"wqSendMessageToChatWithTag", text, text}),
            call({"wqSendMessageToChatWithTag", text, ScriptValue(), true}),
            call({"wqOpenChat", text}),
            call({"wqDownloadBlob", text}),
            call({"wqSetStyle", text}),
        });
        EXPECT_EQ(page.calls(), expected);
    }
}

TEST(PageScriptsTest, FixedCommandTextsAreExact) {
    EXPECT_EQ(pagescripts::didFinishNativeInit(), "wqInit.didFinishNativeInit();");
    EXPECT_EQ(pagescripts::windowStatusDidChange(true), "wqWindowStatusDidChange(true);");
    EXPECT_EQ(pagescripts::handleLogOut(), "wqHandleLogOut();");
    EXPECT_EQ(pagescripts::modifyWallpaper(std::nullopt), "wqModifyWallpaper()");
    EXPECT_EQ(pagescripts::modifyWallpaper(std::string("QUJD")), "wqModifyWallpaper('data:image/jpeg;base64,QUJD')");
    EXPECT_EQ(pagescripts::setZoom(-3), "wqSetZoom(-3);");
    EXPECT_EQ(pagescripts::setStyle("Dark"), "wqSetStyle(\"Dark\");");
    EXPECT_EQ(pagescripts::setDoNotDisturb(false), "wqSetDoNotDisturb(false);");
    EXPECT_EQ(pagescripts::enableSending(true), "wqEnableSending(true);");
    EXPECT_EQ(pagescripts::stopAudioRecording(false), "wqStopAudioRecording(false);");
    EXPECT_EQ(pagescripts::setStealthModeShowContentOnMouseOver(true), "wqSetStealthModeShowContentOnMouseOver(true)");
    EXPECT_EQ(pagescripts::lockDown(true), "wqLockDown(\"true\");");
    EXPECT_EQ(pagescripts::ffmpegCallback("7", std::nullopt, "mp3"), "wqFFmpegCallback(\"7\", false);");
    const std::pair<NativeAction, const char*> menu[] = {
        {NativeAction::showConversationDetail, "wqShowConversationDetails();"},
        {NativeAction::searchConversationContent, "wqSearchConversationContent();"},
        {NativeAction::newChat, "wqOpenNewChat();"},
        {NativeAction::newGroup, "wqOpenNewGroup();"},
        {NativeAction::profileAndStatus, "wqShowProfileAndStatus();"},
        {NativeAction::archive, "wqShowArchive();"},
        {NativeAction::activeContacts, "wqShowActiveContacts();"},
        {NativeAction::document, "wqSendDocument();"},
        {NativeAction::contact, "wqSendContact();"},
    };
    for (const auto& [action, script] : menu) EXPECT_EQ(pagescripts::menuCommand(action), std::string(script));
    for (auto action : {NativeAction::camera, NativeAction::image, NativeAction::video})
        EXPECT_FALSE(pagescripts::menuCommand(action));
}
