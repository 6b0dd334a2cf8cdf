// The page bridge end to end: each event and action the page posts on "eventHandler", new
// messages that become desktop notifications (and their click and reply back into the page),
// the log, audio and media requests, and a table of hostile messages the program must survive.
#include <fstream>
#include <sstream>

#include "FakeNotificationServer.h"
#include "WavFile.h"
#include "WebHostRun.h"

namespace fs = std::filesystem;
using namespace e2e;
using testsupport::FakeNotificationServer;

namespace {


}  // namespace

// Events: each one's effect, seen where the user would see it.
TEST(WebHostBridge, EventsReachTheirEffects) {
    auto notifications = FakeNotificationServer::start(FakeNotificationServer::capabilitiesWithInlineReply());
    ASSERT_TRUE(notifications);
    WebHostRun run;
    run.home.recordOpenedURLs();
    ASSERT_TRUE(run.start());
    auto& server = run.server;
    auto& a11y = run.accessibility();

    // "toggleDoNotDisturb", twice: the page hears each state, the settings keep the last. (The
    // answers to the page's start-up, its own do-not-disturb state among them, come first.)
    run.roundTrip();
    size_t from = server.mark();
    server.post("eventHandler", "toggleDoNotDisturb");
    server.post("eventHandler", "toggleDoNotDisturb");
    run.roundTrip();
    auto dnd = run.calls("wqSetDoNotDisturb", from);
    ASSERT_EQ(dnd.size(), 2u);
    EXPECT_EQ(dnd[0].args(), list({true}));
    EXPECT_EQ(dnd[1].args(), list({false}));
    EXPECT_EQ(run.home.waitForSetting("doNotDisturbEnabled", false)["doNotDisturbEnabled"].asBool(), false);

    // A new message becomes a desktop notification; its click opens the chat in the page and a
    // reply goes to the chat, the text intact.
    server.post("incomingMessageHandler", dictionary({{"title", "Ann"}, {"body", "Hello there"}, {"id", "chat-\"1\"\n'x'"}}));
    run.roundTrip();
    ASSERT_EQ(notifications->notificationCount(), 1u) << run.program->output();
    const auto note = notifications->notifications()[0];
    EXPECT_EQ(note.summary, "Ann");
    EXPECT_EQ(note.body, "Hello there");
    from = server.mark();
    notifications->invokeAction(note.id, "default");
    auto opened = server.waitForCall("wqOpenChat", 30, from);
    ASSERT_TRUE(opened) << run.program->output();
    EXPECT_EQ(opened->args(), list({"chat-\"1\"\n'x'"}));
    server.post("incomingMessageHandler", dictionary({{"title", "Ann"}, {"body", "Again"}, {"id", "chat-\"1\"\n'x'"}}));
    run.roundTrip();
    ASSERT_EQ(notifications->notificationCount(), 2u);
    from = server.mark();
    notifications->reply(notifications->notifications()[1].id, "a \"reply\"\nwith 'quotes' \\ </script>");
    auto replied = server.waitForCall("wqSendMessageToChatWithTag", 30, from);
    ASSERT_TRUE(replied) << run.program->output();
    EXPECT_EQ(replied->args(), list({"a \"reply\"\nwith 'quotes' \\ </script>", "chat-\"1\"\n'x'"}));
    // "removeNotifications" takes the delivered ones off the screen.
    server.post("incomingMessageHandler", dictionary({{"title", "Bob"}, {"body", "Hi"}, {"id", "chat-2"}}));
    run.roundTrip();
    ASSERT_FALSE(notifications->openIds().empty());
    server.post("eventHandler", "removeNotifications");
    run.roundTrip();
    EXPECT_TRUE(notifications->openIds().empty()) << notifications->openIds().size() << " still open";

    // "contactWithError": the mail program gets the support mail with the system information.
    server.post("eventHandler", "contactWithError");
    auto mails = run.home.waitForOpenedURLs(1);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].rfind("mailto:", 0), 0u) << mails[0];
    EXPECT_NE(mails[0].find("SystemInfo"), std::string::npos) << mails[0];

    // "checkForUpdates": the user is told where updates come from.
    server.post("eventHandler", "checkForUpdates");
    EXPECT_TRUE(a11y.waitFor(Accessibility::containing("label", "package"))) << a11y.describe();

    // "settingsClicked" opens the preferences.
    server.post("eventHandler", "settingsClicked");
    EXPECT_TRUE(a11y.waitFor([](const Accessibility::Element& e) {
        return e.showing && e.role == "frame" && e.name.find("Preferences") != std::string::npos;
    })) << a11y.describe();

    // Letter case counts: "Reload" is no event.
    from = server.mark();
    const int requests = server.configurationRequests();
    server.post("eventHandler", "Reload");
    run.roundTrip();
    EXPECT_EQ(server.configurationRequests(), requests);
    EXPECT_FALSE(server.waitForReady(0, from));

    // "reload": a new configuration download and a new page, which starts up again.
    from = server.mark();
    server.post("eventHandler", "reload");
    ASSERT_TRUE(run.startedUp(from));
    EXPECT_EQ(server.configurationRequests(), requests + 1);
    EXPECT_EQ(run.stop(), 0);
}

// "logout": the page is told, every website datum goes, and the web client starts afresh.
TEST(WebHostBridge, LogoutWipesWebsiteDataAndReloads) {
    WebHostRun run;
    ASSERT_TRUE(run.start());
    auto& server = run.server;
    run.eval("document.cookie = 'session=kept; max-age=86400; path=/'; localStorage.setItem('k', 'v'); 1");
    EXPECT_EQ(run.eval("document.cookie").stringOr(), "session=kept");
    server.post("localWebStore", "the page's own text");
    run.roundTrip();

    const size_t from = server.mark();
    const int requests = server.configurationRequests();
    server.post("eventHandler", "logout");
    ASSERT_TRUE(server.waitForCall("wqHandleLogOut", 30, from)) << run.program->output() << "\n--- server ---\n" << server.log();
    ASSERT_TRUE(run.startedUp(from));
    EXPECT_TRUE(run.program->waitForOutput("ViewController ===> Deleted cookies!"));
    EXPECT_EQ(server.configurationRequests(), requests + 1);
    EXPECT_EQ(run.eval("document.cookie").stringOr(), "");
    EXPECT_TRUE(run.eval("localStorage.getItem('k')").isNull());
    // The page's own text is the program's, not the site's: it stays.
    auto update = server.waitForCall("wqLocalWebStore.update", 30, from);
    ASSERT_TRUE(update);
    EXPECT_EQ(update->args(), list({"the page's own text"}));
    EXPECT_EQ(run.stop(), 0);
}

// Actions: what may be opened outside, what may load inside, mail, and the end of the process.
TEST(WebHostBridge, ActionsOpenOnlyWhatTheyMay) {
    WebHostRun run;
    run.home.recordOpenedURLs({"http", "https", "mailto", "file", "ftp", "tel"});
    ASSERT_TRUE(run.start());
    auto& server = run.server;

    // "openURL": web and mail addresses go to the desktop's handler; nothing else does.
    for (const char* url : {"file:///etc/passwd", "ftp://example.org/x", "tel:+1555", "javascript:alert(1)", "not a url"})
        server.post("eventHandler", dictionary({{"action", "openURL"}, {"url", url}}));
    server.post("eventHandler", dictionary({{"action", "openURL"}}));
    server.post("eventHandler", dictionary({{"action", "openURL"}, {"url", 42}}));
    server.post("eventHandler", dictionary({{"url", "https://example.org/no-action"}}));
    server.post("eventHandler", dictionary({{"action", "openURL"}, {"url", "https://example.org/a?b=\"c\""}}));
    server.post("eventHandler", dictionary({{"action", "openURL"}, {"url", "mailto:ann@example.org"}}));
    // "openURLInApp": another site goes to the browser; a file nowhere.
    server.post("eventHandler", dictionary({{"action", "openURLInApp"}, {"url", "https://example.org/elsewhere"}}));
    server.post("eventHandler", dictionary({{"action", "openURLInApp"}, {"url", "file:///etc/passwd"}}));
    // "sendMail": the mail program, with the system information appended.
    server.post("eventHandler", dictionary({{"action", "sendMail"},
                                            {"address", "help@example.org"},
                                            {"subject", "Sub & ject"},
                                            {"message", "Line one\nline \"two\""}}));
    server.post("eventHandler", dictionary({{"action", "sendMail"}, {"address", "help@example.org"}}));
    run.roundTrip();
    auto opened = run.home.waitForOpenedURLs(4);
    ASSERT_EQ(opened.size(), 4u) << testing::PrintToString(opened);
    // Handed over as a well-formed URI: the quotes the page wrote are escaped.
    EXPECT_EQ(opened[0], "https://example.org/a?b=%22c%22");
    EXPECT_EQ(opened[1], "mailto:ann@example.org");
    EXPECT_EQ(opened[2], "https://example.org/elsewhere");
    EXPECT_EQ(opened[3].rfind("mailto:help@example.org?subject=Sub%20%26%20ject&body=Line%20one%0D%0Aline%20%22two%22", 0), 0u)
        << opened[3];
    EXPECT_NE(opened[3].find("SystemInfo"), std::string::npos);

    // "openURLInApp" on the web client's own origin loads in the web view.
    const size_t from = server.mark();
    server.post("eventHandler", dictionary({{"action", "openURLInApp"}, {"url", server.pageURL("inapp=1")}}));
    auto ready = server.waitForReady(60, from);
    ASSERT_TRUE(ready);
    EXPECT_EQ(ready->value["url"].stringOr(), server.pageURL("inapp=1"));
    ASSERT_TRUE(run.startedUp(from));

    // "exit": the process ends at once with the code, what the settings hold written first.
    server.post("eventHandler", "toggleDoNotDisturb");
    server.post("eventHandler", dictionary({{"action", "exit"}, {"code", 5000000000.0}}));  // no 32-bit code
    server.post("eventHandler", dictionary({{"action", "exit"}, {"code", "3"}}));
    run.roundTrip();
    EXPECT_TRUE(run.program->process().running());
    server.post("eventHandler", dictionary({{"action", "exit"}, {"code", 3}}));
    ASSERT_TRUE(run.program->process().waitForExit(30));
    EXPECT_EQ(run.program->process().exitStatus(), 3);
    EXPECT_EQ(run.home.settings()["doNotDisturbEnabled"].asBool(), true);
}

// Audio and media: the program fetches audio only from the web and answers the page that asked
// with the converted data; ffmpeg runs answer with their result or with the failure.
TEST(WebHostBridge, AudioAndMediaRequestsAreAnswered) {
    // The audio lies beside a copy of the page, where the program may fetch it.
    const fs::path pages = testsupport::makeTemporaryDirectory("standin-pages");
    for (const auto& entry : fs::directory_iterator(fs::path(PARLIVO_FIXTURES_DIR) / "standin" / "page"))
        fs::copy(entry.path(), pages / entry.path().filename());
    ASSERT_TRUE(testsupport::writeWavFile(pages / "voice.wav", 0.5));
    StandinServer::Options options;
    options.pageDirectory = pages;
    WebHostRun run(options);
    ASSERT_TRUE(run.start());
    auto& server = run.server;

    size_t from = server.mark();
    server.post("audioHandler", dictionary({{"id", "file"}, {"src", "file://" + (pages / "voice.wav").string()}}));
    server.post("audioHandler", dictionary({{"id", "a'b\"c\n"}, {"src", server.origin() + "/voice.wav"}}));
    auto audio = server.waitForCall("changeAudioToURL", 120, from);
    ASSERT_TRUE(audio) << run.program->output();
    EXPECT_EQ(audio->args()[1].stringOr(), "a'b\"c\n") << "the id as the page sent it";
    EXPECT_EQ(audio->args()[0].stringOr().rfind("data:audio/mp4;base64,", 0), 0u) << audio->args()[0].stringOr().substr(0, 40);
    run.roundTrip();
    EXPECT_EQ(run.calls("changeAudioToURL", from).size(), 1u) << "a file: source was fetched";

    // ffmpeg: a conversion that works, one that fails, and requests that are no requests. The
    // page encodes the file itself, as it would.
    const auto length = run.eval(
        "var x = new XMLHttpRequest(); x.open('GET', '/voice.wav', false);"
        "x.overrideMimeType('text/plain; charset=x-user-defined'); x.send();"
        "window.voice = btoa(Array.from(x.responseText, c => String.fromCharCode(c.charCodeAt(0) & 0xff)).join(''));"
        "window.voice.length");
    ASSERT_GT(length.asInt().value_or(0), 1000);
    from = server.mark();
    run.eval("Standin.post('ffmpegHandler', {src: 'data:audio/wav;base64,' + window.voice, id: 'ok \"1\"', "
             "parameters: ['-i', '%i', '-c:a', 'aac', '%o'], inDataType: 'wav', outDataType: 'm4a'}), 1");
    run.eval("Standin.post('ffmpegHandler', {src: 'data:audio/wav;base64,' + window.voice, id: 'fails', "
             "parameters: ['-i', '%i', '-no-such-option', '%o'], inDataType: 'wav', outDataType: 'm4a'}), 1");
    run.eval("Standin.post('ffmpegHandler', {src: 'data:audio/wav;base64,' + window.voice, id: 'no parameters', "
             "inDataType: 'wav', outDataType: 'm4a'}), 1");
    run.eval("Standin.post('ffmpegHandler', {src: 'data:audio/wav;base64,' + window.voice, id: 'bad type', "
             "parameters: ['-i', '%i', '%o'], inDataType: 'wav', outDataType: '../../x'}), 1");
    // The runs end in any order; the refused requests were refused as they came.
    for (const char* id : {"ok \"1\"", "fails"}) {
        EXPECT_TRUE(server.waitFor([id](const PageRecord& r) { return r.name == "wqFFmpegCallback" && r.args()[0].stringOr() == id; },
                                   120, from))
            << id << "\n" << run.program->output();
    }
    run.roundTrip();
    auto callbacks = run.calls("wqFFmpegCallback", from);
    ASSERT_EQ(callbacks.size(), 2u) << run.program->output();
    if (callbacks[0].args()[0].stringOr() == "fails") std::swap(callbacks[0], callbacks[1]);
    EXPECT_EQ(callbacks[0].args()[0].stringOr(), "ok \"1\"");
    EXPECT_EQ(callbacks[0].args()[1].asBool(), true);
    EXPECT_GT(callbacks[0].args()[2].stringOr().size(), 100u);
    EXPECT_EQ(callbacks[0].args()[3].stringOr(), "m4a");
    EXPECT_EQ(callbacks[1].args(), list({"fails", false}));
    EXPECT_EQ(run.stop(), 0);
    std::error_code ignored;
    fs::remove_all(pages, ignored);
}

// Hostile messages on every handler: wrong shapes, huge and deep values, texts that would end a
// script literal. The program refuses or escapes them; it stays up, and every answer it gives is
// a script the page can run.
TEST(WebHostBridge, HostileMessagesAreRefusedOrAnsweredIntact) {
    WebHostRun run;
    ASSERT_TRUE(run.start());
    auto& server = run.server;
    const size_t from = server.mark();
    const char* scripts[] = {
        // Wrong shapes on each handler.
        "Standin.post('eventHandler', 42)",
        "Standin.post('eventHandler', null)",
        "Standin.post('eventHandler', [1, 2])",
        "Standin.post('eventHandler', {action: 42})",
        "Standin.post('eventHandler', {action: 'download', download: 7, mimeType: 'text/plain'})",
        "Standin.post('eventHandler', {action: 'download', url: 'data:text/plain;base64,aGk=', mimeType: 'text/plain'})",
        "Standin.post('incomingMessageHandler', 'just text')",
        "Standin.post('incomingMessageHandler', {title: {nested: true}, id: ['x']})",
        "Standin.post('audioHandler', 'x')",
        "Standin.post('audioHandler', {id: 1, src: 'https://example.org/a.mp3'})",
        "Standin.post('ffmpegHandler', {src: 'no base64 here', id: 'x', parameters: [], inDataType: 'a', outDataType: 'b'})",
        "Standin.post('localWebStore', {not: 'text'})",
        "Standin.post('WQAlertHandler', {id: '1', title: 't', message: 'm', buttonTitles: ['OK']})",
        "Standin.post('WQAlertHandler', {id: 1, title: 't', buttonTitles: ['OK']})",
        "Standin.post('WQPatchJSHandler', {id: 'x', src: 'y'})",
        "Standin.post('WQNotificationHandler', 12)",
        "Standin.post('WQWebMediaHandler', [null])",
        "Standin.post('audioRecordHandler', {})",
        "Standin.post('WQTouchBarHandler', {show: {}})",
        // Huge texts, deep structures, many values.
        "Standin.post('logHandler', 'x'.repeat(64 * 1024 * 1024))",
        "Standin.post('eventHandler', 'didInit'.repeat(1000000))",
        "Standin.post('localWebStore', 'y'.repeat(2 * 1024 * 1024))",
        "(function () { var v = []; for (var i = 0; i < 5000; i++) v = [v]; Standin.post('eventHandler', v); })()",
        "(function () { var v = {}; for (var i = 0; i < 5000; i++) v = {a: v}; Standin.post('logHandler', v); })()",
        "Standin.post('logHandler', new Array(300000).fill(1))",
        "Standin.post('incomingMessageHandler', {title: 'T', body: 'b'.repeat(10 * 1024 * 1024), id: 'i'.repeat(100000)})",
        // Values that have no native form.
        "Standin.post('logHandler', new Date())",
        "Standin.post('logHandler', /re/)",
        "Standin.post('logHandler', new Map([[1, 2]]))",
        "Standin.post('logHandler', new Uint8Array(16))",
        "Standin.post('eventHandler', {action: 'openURL', url: new Date()})",
        // Texts that would end a script literal, in every field that goes back into a script.
        "Standin.post('localWebStore', '\\'); Standin.record(\"injected\", {}); (\\'')",
        "Standin.post('ffmpegHandler', {src: 'data:x;base64,AA==', id: '\"); Standin.record(\"injected\", {}); (\"', "
        "parameters: ['-no-such-option'], inDataType: 'wav', outDataType: 'm4a'})",
        "Standin.post('WQAlertHandler', {id: 1e300, title: 't', message: 'm', buttonTitles: []})",
    };
    for (const char* script : scripts) {
        auto record = server.waitForCommand(server.eval(std::string(script) + "; 'sent'"), 120);
        ASSERT_TRUE(record) << script;
        // Values the page itself cannot post (functions, symbols) throw in the page; the rest went.
        EXPECT_TRUE(record->type == "evaluated" || record->type == "error") << script << record->json;
    }
    ASSERT_TRUE(server.waitForCall("wqFFmpegCallback", 120, from)) << run.program->output();
    run.roundTrip();
    EXPECT_TRUE(run.program->process().running());
    EXPECT_FALSE(server.waitFor([](const PageRecord& r) { return r.type == "injected"; }, 0, from))
        << "a text from the page ended a script literal";
    // The answers that came are intact: the stored text went back as it was, the failed run
    // with its id.
    auto callbacks = run.calls("wqFFmpegCallback", from);
    ASSERT_EQ(callbacks.size(), 1u);
    EXPECT_EQ(callbacks[0].args(), list({"\"); Standin.record(\"injected\", {}); (\"", false}));
    const size_t beforeReload = server.mark();
    server.post("eventHandler", "reload");
    ASSERT_TRUE(run.startedUp(beforeReload));
    auto update = server.waitForCall("wqLocalWebStore.update", 30, beforeReload);
    ASSERT_TRUE(update);
    EXPECT_EQ(update->args(), list({"'); Standin.record(\"injected\", {}); ('"}));
    EXPECT_FALSE(server.waitFor([](const PageRecord& r) { return r.type == "injected"; }, 0, from));
    EXPECT_EQ(run.stop(), 0) << run.program->output().substr(0, 4000);
}
