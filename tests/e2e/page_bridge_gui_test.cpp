// The default configuration's page side of the bridge (tools/config/default/inject-*.js) in a
// real WebKitGTK page with no web client in it: the bare host injects the two scripts the way
// the program does and answers "didInit"; the test calls the page functions the program calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "Json.h"
#include "Standin.h"

namespace fs = std::filesystem;
using platform::PropertyList;
using testsupport::HostedProgram;
using testsupport::StandinServer;

namespace {

const std::string defaultConfig = PARLIVO_SOURCE_DIR "/tools/config/default/";
const std::vector<std::string> everyHandler = {
    "incomingMessageHandler", "logHandler", "eventHandler", "audioHandler", "ffmpegHandler", "localWebStore",
    "WQAlertHandler", "WQNotificationHandler", "WQWebMediaHandler", "WQPatchJSHandler", "audioRecordHandler"};

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class PageBridge : public ::testing::Test {
protected:
    // The host's declarations (as the program writes them, debug off), then the start script.
    void start(const std::string& prefixes = "[]") {
        ASSERT_TRUE(server.ok()) << server.error();
        directory = testsupport::makeTemporaryDirectory("bridge");
        std::ofstream(directory / "start.js") << "var wqPlatform = {\"Platform\":\"Linux\"};  var wqDebug = false; "
                                              << "var wqPatchPrefixes = " << prefixes << ";"
                                              << readText(defaultConfig + "inject-start.js");
        HostedProgram::Options options;
        options.arguments = {"--start-script", (directory / "start.js").string(), "--end-script",
                             defaultConfig + "inject-end.js", "--answer-init"};
        for (const auto& name : everyHandler) options.arguments.insert(options.arguments.end(), {"--handler", name});
        host = HostedProgram::host(server, options, "plain.html");
        ASSERT_TRUE(host->waitForOutput(R"(message eventHandler "didStartup")")) << host->output();
    }
    void TearDown() override {
        host.reset();
        std::error_code ignored;
        if (!directory.empty()) fs::remove_all(directory, ignored);
    }

    // The script's value as JSON, or "error: ..." when it threw.
    std::string evaluate(const std::string& script) {
        const std::string number = std::to_string(++scripts);
        const std::string result = "result " + number + " ", error = "error " + number + " ";
        size_t from = host->process().lines().size();
        // The host reads one script a line.
        std::string line = script;
        std::replace(line.begin(), line.end(), '\n', ' ');
        host->process().writeLine(line);
        for (;;) {
            const long index = host->process().waitForLineAfter(from, " " + number + " ", 30);
            if (index < 0) return "no answer";
            const std::string line = host->process().lines()[size_t(index)];
            if (line.rfind(result, 0) == 0) return line.substr(result.size());
            if (line.rfind(error, 0) == 0) return "error: " + line.substr(error.size());
            from = size_t(index) + 1;
        }
    }
    // The body of the first message on `handler` after output line `from`.
    std::optional<PropertyList> message(const std::string& handler, size_t from) {
        const long index = host->process().waitForLineAfter(from, "message " + handler + " ", 30);
        if (index < 0) return std::nullopt;
        return testsupport::parseJSON(host->process().lines()[size_t(index)].substr(9 + handler.size()));
    }

    StandinServer server;
    fs::path directory;
    std::unique_ptr<HostedProgram> host;
    int scripts = 0;
};

TEST_F(PageBridge, StartsUpInOrderAndSaysNothingWithDebugOff) {
    start();
    const std::string output = host->output();
    const auto didInit = output.find(R"(message eventHandler "didInit")");
    const auto willStartup = output.find(R"(message eventHandler "willStartup")");
    ASSERT_NE(didInit, std::string::npos);
    ASSERT_NE(willStartup, std::string::npos);
    EXPECT_LT(didInit, willStartup);
    EXPECT_LT(willStartup, output.find(R"(message eventHandler "didStartup")"));
    // The host answers every "didInit"; the page starts up once.
    EXPECT_EQ(evaluate(R"(wqInit.didFinishNativeInit(); "again")"), R"("again")");
    EXPECT_EQ(output.find("message logHandler"), std::string::npos);
    EXPECT_EQ(host->output().find("willStartup"), host->output().rfind("willStartup"));
}

// Every function the program calls, with the arguments it sends and with ones a page lacking
// what the function looks for, or a hostile one, might see: none throws.
TEST_F(PageBridge, EveryPageFunctionIsHarmlessOnAPageWithoutAClient) {
    start();
    const char* calls[] = {
        R"(wqInit.didFinishNativeInit())", R"(wqLocalWebStore.update('{"a":1}'))", R"(wqLocalWebStore.update('not json'))",
        R"(wqLocalWebStore.update(''))", R"(wqLockDown("true"))", R"(wqLockDown("false"))", R"(wqSetZoom(16))",
        R"(wqSetZoom("x"))", R"(wqSetStyle("Dark"))", R"(wqSetStyle("Mixed"))", R"(wqSetStyle(42))",
        R"(wqSetDoNotDisturb(true))", R"(wqEnableSending(false))", R"(wqModifyWallpaper('data:image/jpeg;base64,'))",
        R"(wqModifyWallpaper())", R"(wqModifyWallpaper('javascript:alert(1)'))", R"(wqOpenChat("nobody"))",
        R"(wqSendMessageToChatWithTag("hi \"you\"\n", "nobody"))", R"(wqSendMessageToChatWithTag("shared", null, true))",
        R"(wqStartAudioRecording())", R"(wqStopAudioRecording(true))", R"(wqShowConversationDetails())",
        R"(wqSearchConversationContent())", R"(wqOpenNewChat())", R"(wqOpenNewGroup())", R"(wqShowProfileAndStatus())",
        R"(wqShowArchive())", R"(wqShowActiveContacts())", R"(wqSendDocument())", R"(wqSendContact())",
        R"(wqSetStealthModeShowContentOnMouseOver(true))", R"(wqGetChatListWidth())", R"(wqWindowStatusDidChange(false))",
        R"(wqDownloadBlob("https://example.invalid/blob"))", R"(wqPatchJS("unknown", "text/javascript", "!!"))",
        R"(wqAlertCenter.callback(99, 0))", R"(changeAudioToURL('data:audio/mp4;base64,AA==', 'x'))",
        R"(wqFFmpegCallback("x", false))", R"(wqFFmpegCallback("x", true, "AA==", "mp4"))",
        R"(wqOpenFileURLsWithID('missing', ['data:text/plain;base64,aGk='], ['a.txt']))",
        R"(wqDropFileURLs(['data:text/plain;base64,aGk=', 'not a data url'], ['a.txt']))", R"(wqDropFileURLs())",
        R"(wqSendAudio([0.1, 0.2]))", R"(wqNotificationCenter.callback(7, 'ok'))", R"(wqHandleLogOut())"};
    for (const char* call : calls) {
        const std::string result = evaluate(std::string(call) + "; true");
        EXPECT_EQ(result, "true") << call;
    }
    // What the settings left on the page, where its own styles can find them.
    EXPECT_EQ(evaluate("document.documentElement.dataset.wqStyle"), R"("light")");
    EXPECT_EQ(evaluate("document.documentElement.style.zoom"), R"("")");
    EXPECT_EQ(evaluate("wqSetZoom(24); document.documentElement.style.zoom"), R"("1.5")");
    EXPECT_EQ(evaluate("'wqLocked' in document.documentElement.dataset"), "false");
}

TEST_F(PageBridge, PageNotificationsBecomeMessagesAndTheirClickOpensTheChat) {
    start();
    size_t from = host->process().lines().size();
    EXPECT_EQ(evaluate(R"(var n = new Notification('Ann "A"', {body: "Hi\nthere", icon: "https://x/i.png", tag: "chat-1"});
                         n.onclick = function () { window.opened = this.tag; }; Notification.permission)"),
              R"("granted")");
    auto body = message("incomingMessageHandler", from);
    ASSERT_TRUE(body);
    EXPECT_EQ((*body)["title"].stringOr(), "Ann \"A\"");
    EXPECT_EQ((*body)["body"].stringOr(), "Hi\nthere");
    // A picture the page cannot read leaves the program's own.
    EXPECT_FALSE((*body)["icon"].asString());
    EXPECT_EQ((*body)["id"].stringOr(), "chat-1");
    // One without a tag gets an id of its own.
    from = host->process().lines().size();
    evaluate("new Notification(42, {body: 7})");
    auto untagged = message("incomingMessageHandler", from);
    ASSERT_TRUE(untagged);
    EXPECT_FALSE((*untagged)["id"].stringOr().empty());
    EXPECT_EQ((*untagged)["title"].stringOr(), "42");  // a number as its digits
    EXPECT_EQ((*untagged)["body"].stringOr(), "7");

    // Through a service worker registration: the same message, and no browser notification.
    from = host->process().lines().size();
    EXPECT_EQ(evaluate(R"(typeof ServiceWorkerRegistration === "undefined" ||
                         ServiceWorkerRegistration.prototype.showNotification.call({}, "W", {tag: "sw-1"}) instanceof Promise)"),
              "true");
    if (evaluate(R"(typeof ServiceWorkerRegistration)") != R"("undefined")") {
        auto worker = message("incomingMessageHandler", from);
        ASSERT_TRUE(worker);
        EXPECT_EQ((*worker)["id"].stringOr(), "sw-1");
    }

    EXPECT_EQ(evaluate(R"(wqOpenChat("chat-1"))"), "true");
    EXPECT_EQ(evaluate("window.opened"), R"("chat-1")");
    EXPECT_EQ(evaluate(R"(wqOpenChat("chat-2"))"), "false");
}

TEST_F(PageBridge, StoreAndBlobDownloadsGoToTheHost) {
    start();
    size_t from = host->process().lines().size();
    evaluate(R"(wqLocalWebStore.update('{"theme":"x"}'); wqLocalWebStore.set("n", 'it\'s "q"'))");
    auto stored = message("localWebStore", from);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->stringOr(), R"({"theme":"x","n":"it's \"q\""})");

    from = host->process().lines().size();
    evaluate(R"(var a = document.createElement("a"); a.download = "notes.txt";
                a.href = URL.createObjectURL(new Blob(["hello"], {type: "text/plain"}));
                document.body.appendChild(a); a.addEventListener("click", e => e.preventDefault()); a.click();
                wqDownloadBlob(a.href))");
    auto download = message("eventHandler", from);
    ASSERT_TRUE(download) << host->output();
    EXPECT_EQ((*download)["action"].stringOr(), "download");
    EXPECT_EQ((*download)["download"].stringOr(), "data:text/plain;base64,aGVsbG8=");
    EXPECT_EQ((*download)["mimeType"].stringOr(), "text/plain");
    EXPECT_EQ((*download)["fileName"].stringOr(), "notes.txt");
}

TEST_F(PageBridge, ScriptsUnderAPatchPrefixRunAsTheHostReturnsThem) {
    start("[\"" + server.origin() + "/standin-\"]");
    const size_t from = host->process().lines().size();
    evaluate(R"(var s = document.createElement("script"); s.src = "/standin-script.js";
                s.onload = function () { webkit.messageHandlers.logHandler.postMessage("loaded " + window.standinScript); };
                document.head.appendChild(s))");
    auto request = message("WQPatchJSHandler", from);
    ASSERT_TRUE(request) << host->output();
    EXPECT_EQ((*request)["src"].stringOr(), server.origin() + "/standin-script.js");
    EXPECT_EQ((*request)["mimeType"].stringOr(), "text/javascript");
    EXPECT_EQ((*request)["blob"].stringOr().rfind("data:text/javascript;base64,", 0), 0u);
    // The original has not run; the host's answer runs, and the page hears its load.
    EXPECT_EQ(evaluate("window.standinScript === undefined"), "true");
    const size_t beforeAnswer = host->process().lines().size();
    evaluate("wqPatchJS(" + testsupport::jsonString((*request)["id"].stringOr()) +
             R"(, "text/javascript", btoa('window.standinScript = "STANDIN_PATCHED";')))");
    ASSERT_TRUE(host->process().waitForLineAfter(beforeAnswer, R"(message logHandler "loaded STANDIN_PATCHED")", 30) >= 0)
        << host->output();
    // Scripts outside the prefixes load as they are.
    EXPECT_EQ(evaluate(R"(document.head.appendChild(document.createElement("script")) && "ok")"), R"("ok")");
}

}  // namespace
