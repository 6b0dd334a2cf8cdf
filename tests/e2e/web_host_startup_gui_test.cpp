// The program against the stand-in page over TLS on loopback: the page's start-up handshake and
// what follows each of its events, the scripts and handlers the page finds, the stored text, the
// loading screen, and the custom route with its text patches.
#include <fstream>
#include <iterator>

#include "WebHostRun.h"

namespace fs = std::filesystem;
using namespace e2e;

namespace {

std::vector<std::string> names(const std::vector<PageRecord>& calls) {
    std::vector<std::string> result;
    for (const auto& call : calls) result.push_back(call.name);
    return result;
}

// The position of the first call of `name` in `calls`, or -1.
long position(const std::vector<PageRecord>& calls, std::string_view name) {
    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i].name == name) return long(i);
    return -1;
}

std::string base64(std::string_view bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned n = unsigned(uint8_t(bytes[i])) << 16 | unsigned(uint8_t(bytes[i + 1])) << 8 | uint8_t(bytes[i + 2]);
        for (int shift : {18, 12, 6, 0}) out += alphabet[(n >> shift) & 63];
    }
    if (i < bytes.size()) {
        unsigned n = unsigned(uint8_t(bytes[i])) << 16;
        if (i + 1 < bytes.size()) n |= unsigned(uint8_t(bytes[i + 1])) << 8;
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

const std::vector<std::string> handlerOrder = {
    "incomingMessageHandler", "logHandler", "eventHandler", "audioHandler", "ffmpegHandler", "localWebStore",
    "WQAlertHandler", "WQNotificationHandler", "WQWebMediaHandler", "WQPatchJSHandler", "audioRecordHandler",
    "WQTouchBarHandler"};

}  // namespace

// A first start: nothing stored, default settings. Each start-up event is answered with its
// calls, in order; the page got every handler and the configuration's scripts in every frame.
TEST(WebHostStartup, FirstStartAnswersEachStartupEventInOrder) {
    WebHostRun run;
    ASSERT_TRUE(run.start());
    auto& server = run.server;

    auto ready = server.waitForReady(30, run.startMark);
    ASSERT_TRUE(ready);
    EXPECT_EQ(ready->value["url"].stringOr(), server.pageURL());
    EXPECT_EQ(ready->value["marker"].stringOr(), "unpatched") << "default loading: the page as served";
    EXPECT_NE(ready->value["userAgent"].stringOr().find("ParlivoStandin/1"), std::string::npos)
        << "the configuration's user agent";
    PropertyList::Array expectedHandlers(handlerOrder.begin(), handlerOrder.end());
    EXPECT_EQ(ready->value["handlers"], PropertyList(expectedHandlers));
    // The host's declarations come before the configuration's start script, which saw them.
    const PropertyList& start = ready->value["injected"]["start"];
    EXPECT_EQ(start["frame"].stringOr(), "main");
    EXPECT_EQ(start["wqDebug"].asBool(), true) << "-de switches debug mode on";
    EXPECT_FALSE(start["wqPlatform"]["Platform"].stringOr().empty()) << ready->json;
    EXPECT_EQ(start["wqPatchPrefixes"], list({"standin-", "WQCustomIndex.html"}));
    EXPECT_TRUE(ready->value["injected"]["end"].isDictionary()) << "the document-end script ran";
    EXPECT_TRUE(ready->value["injected"]["end"]["jQuery"].isNull()) << "no jQuery unless asked for";
    auto frame = server.waitFor([](const PageRecord& r) { return r.type == "frame"; }, 30, run.startMark);
    ASSERT_TRUE(frame) << "the sub-frame did not load";
    EXPECT_EQ(frame->value["injected"]["start"]["frame"].stringOr(), "sub") << "scripts in every frame";

    // The handshake, as the page saw it, once its last call (the answer to didStartup that asks
    // for the chat list's width) has arrived: the program answers after the page said it started.
    ASSERT_TRUE(server.waitForCall("wqGetChatListWidth", 30, run.startMark)) << "the answers to didStartup did not arrive";
    const auto calls = run.calls({}, run.startMark);
    const auto called = names(calls);
    EXPECT_EQ(position(calls, "wqLocalWebStore.update"), -1) << "nothing stored, nothing handed over";
    const long init = position(calls, "wqInit.didFinishNativeInit");
    const long wallpaper = position(calls, "wqModifyWallpaper");
    const long zoom = position(calls, "wqSetZoom"), style = position(calls, "wqSetStyle");
    const long dnd = position(calls, "wqSetDoNotDisturb"), sending = position(calls, "wqEnableSending");
    const long width = position(calls, "wqGetChatListWidth");
    ASSERT_GE(init, 0);
    ASSERT_GE(wallpaper, 0);
    ASSERT_GE(zoom, 0);
    ASSERT_GE(style, 0);
    ASSERT_GE(dnd, 0);
    ASSERT_GE(sending, 0);
    ASSERT_GE(width, 0) << testing::PrintToString(called);
    // willStartup: wallpaper, zoom, style; didStartup: do not disturb, sending, chat-list width.
    EXPECT_LT(init, wallpaper);
    EXPECT_LT(wallpaper, zoom);
    EXPECT_LT(zoom, style);
    EXPECT_LT(style, dnd);
    EXPECT_LT(dnd, sending);
    EXPECT_LT(sending, width);
    EXPECT_EQ(calls[size_t(wallpaper)].args(), PropertyList::array()) << "no wallpaper file: no argument";
    EXPECT_EQ(calls[size_t(zoom)].args(), list({16}));
    EXPECT_EQ(calls[size_t(dnd)].args(), list({false}));
    EXPECT_EQ(calls[size_t(sending)].args(), list({true})) << "the configuration's \"Send\"";
    const std::string styleWord = calls[size_t(style)].args()[0].stringOr();
    EXPECT_TRUE(styleWord == "Light" || styleWord == "Dark") << styleWord;

    // The loading screen went when the page had loaded; the reminder to start at login came
    // with the page's start-up (launch at login is off on a first start).
    auto& a11y = run.accessibility();
    EXPECT_TRUE(a11y.waitFor(Accessibility::containing("label", "automatically when you log in"))) << a11y.describe();
    EXPECT_TRUE(a11y.waitUntilGone(Accessibility::named("label", "Loading ..."))) << a11y.describe();
    EXPECT_TRUE(run.program->waitForOutput("ViewController ===> Remove loading view!"));
    // Neither drawing them nor the start loaded an SVG renderer or the HEIF conversion's
    // libraries: those come with the first SVG or the first conversion.
    std::ifstream maps("/proc/" + std::to_string(run.program->pid()) + "/maps");
    const std::string mapped{std::istreambuf_iterator<char>(maps), std::istreambuf_iterator<char>()};
    EXPECT_FALSE(mapped.empty());
    for (const char* library : {"librsvg", "libpixbufloader-svg", "libheif", "libde265", "libx265"})
        EXPECT_EQ(mapped.find(library), std::string::npos) << library << " is loaded at start";
    EXPECT_EQ(run.stop(), 0) << run.program->output();
}

// A later start: the page's stored text, the wallpaper and the settings reach the page, the text
// intact whatever it holds; a text the page stores is kept and handed to the page after a reload.
TEST(WebHostStartup, StoredTextWallpaperAndSettingsReachThePage) {
    WebHostRun run;
    const std::string stored = "{\"it's\":\"a \\\"quote\\\"\",\n\"line\":\"</script>\\u2028 \\\\ end\"}\u2028x";
    PropertyList settings = PropertyList::dictionary();
    settings.set("WQLocalWebStore", stored);
    settings.set("kFontSize", 20);
    settings.set("kVisualStyle", 2);  // dark
    settings.set("doNotDisturbEnabled", true);
    run.home.writeSettings(settings);
    const std::string jpeg = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(1000, '\x7f') + "\xFF\xD9";
    std::ofstream(run.home.userContentDirectory() / "wallpaper.jpg", std::ios::binary) << jpeg;
    ASSERT_TRUE(run.start());
    auto& server = run.server;

    const auto calls = run.calls({}, run.startMark);
    const long update = position(calls, "wqLocalWebStore.update");
    ASSERT_GE(update, 0) << testing::PrintToString(names(calls));
    EXPECT_EQ(calls[size_t(update)].args(), list({stored})) << "the text as stored, character for character";
    EXPECT_LT(update, position(calls, "wqInit.didFinishNativeInit")) << "the text comes before the end of init";
    // The picture is read off the main thread: its call may come after the start-up.
    auto wallpaper = server.waitForCall("wqModifyWallpaper", 30, run.startMark);
    ASSERT_TRUE(wallpaper);
    EXPECT_EQ(wallpaper->args(), list({"data:image/jpeg;base64," + base64(jpeg)}));
    for (const auto& [name, args] : {std::pair{"wqSetZoom", list({20})}, std::pair{"wqSetStyle", list({"Dark"})},
                                     std::pair{"wqSetDoNotDisturb", list({true})}}) {
        auto call = server.waitForCall(name, 30, run.startMark);
        ASSERT_TRUE(call) << name;
        EXPECT_EQ(call->args(), args) << name;
    }
    // The page stores a new text; the settings keep it, and a reload hands it back.
    const std::string next = "second 'text'\r\n\"with\" \\ and \u00e9";
    server.post("localWebStore", next);
    run.roundTrip();
    const size_t beforeReload = server.mark();
    server.post("eventHandler", "reload");
    ASSERT_TRUE(run.startedUp(beforeReload));
    auto handedBack = server.waitForCall("wqLocalWebStore.update", 30, beforeReload);
    ASSERT_TRUE(handedBack);
    EXPECT_EQ(handedBack->args(), list({next}));
    EXPECT_EQ(run.stop(), 0);
}

// The custom route: the program fetches the page itself, patches it under its own name, and
// loads it with the configuration's base; jQuery comes before the configuration's end script
// when asked for. A script the page hands over comes back patched under its own name.
TEST(WebHostStartup, CustomLoadedPageAndScriptsArePatched) {
    StandinServer::Options options;
    options.values = {{"CustomPageLoading", true}, {"InjectJQuery", true}};
    WebHostRun run(options);
    ASSERT_TRUE(run.start());
    auto& server = run.server;
    auto ready = server.waitForReady(30, run.startMark);
    ASSERT_TRUE(ready);
    EXPECT_EQ(ready->value["marker"].stringOr(), "patched") << ready->json;
    EXPECT_EQ(ready->value["url"].stringOr(), server.origin() + "/") << "loaded with the configuration's base";
    EXPECT_FALSE(ready->value["injected"]["end"]["jQuery"].stringOr().empty()) << ready->json;
    EXPECT_TRUE(run.program->waitForOutput("ViewController ===> CUSTOM LOADING"));

    // Scripts the page names with the prefix "standin-" are patched; others come back as they were. Ids and
    // types with quotes and line breaks come back intact.
    struct Case {
        const char* id;
        std::string src;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"plain-1", "standin-script.js", "window.s = \"STANDIN_UNPATCHED\";", "window.s = \"STANDIN_PATCHED\";"},
        {"q\"uo'te\n\u2028</script>", "standin-other.js", "STANDIN_UNPATCHED x2 STANDIN_UNPATCHED",
         "STANDIN_PATCHED x2 STANDIN_PATCHED"},
        {"outside", "other.js", "STANDIN_UNPATCHED", "STANDIN_UNPATCHED"},
        {"utf8", "standin-é.js", "é → STANDIN_UNPATCHED", "é → STANDIN_PATCHED"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const size_t from = server.mark();
        server.post("WQPatchJSHandler", dictionary({{"id", c.id},
                                                    {"src", c.src},
                                                    {"mimeType", "text/javascript"},
                                                    {"blob", "data:text/javascript;base64," + base64(c.text)}}));
        auto patched = server.waitFor([](const PageRecord& r) { return r.type == "patched"; }, 30, from);
        ASSERT_TRUE(patched) << run.program->output();
        EXPECT_EQ(patched->value["id"].stringOr(), c.id);
        EXPECT_EQ(patched->value["mimeType"].stringOr(), "text/javascript");
        EXPECT_EQ(patched->value["text"].stringOr(), c.expected);
    }
    // A request whose data URL is of another type, or is no data URL: no answer.
    const size_t from = server.mark();
    server.post("WQPatchJSHandler", dictionary({{"id", "charset"},
                                                {"src", server.origin() + "/standin-x.js"},
                                                {"mimeType", "text/javascript"},
                                                {"blob", "data:text/javascript;charset=utf-8;base64," + base64("x")}}));
    server.post("WQPatchJSHandler", dictionary({{"id", "nodata"},
                                                {"src", server.origin() + "/standin-x.js"},
                                                {"mimeType", "text/javascript"},
                                                {"blob", base64("x")}}));
    const size_t after = run.roundTrip();
    EXPECT_FALSE(server.waitFor([](const PageRecord& r) { return r.type == "patched"; }, 0, from))
        << "answered a request that is no data URL of its type";
    (void)after;
    EXPECT_EQ(run.stop(), 0);
}

// The custom route takes only a 2xx answer: a page the server does not have is a failed load,
// which shows the configuration's error page, not the server's 404 body.
TEST(WebHostStartup, CustomLoadingOfAMissingPageShowsTheErrorPage) {
    StandinServer::Options options;
    options.values = {{"CustomPageLoading", true}, {"PageURL", "https://127.0.0.1:0/missing/"}};
    WebHostRun run(options);
    ASSERT_TRUE(run.server.ok()) << run.server.error();
    run.launch();
    ASSERT_TRUE(run.program->waitForOutput("JSLog: standin: could-not-connect page shown", 90)) << run.program->output();
    EXPECT_TRUE(run.program->waitForOutput("ViewController ===> HTTP status 404"));
    EXPECT_FALSE(run.server.waitForReady(0, run.startMark)) << "the server's 404 body became the page";
    // The error page replaced the loading screen.
    auto& a11y = run.accessibility();
    EXPECT_TRUE(a11y.waitUntilGone(Accessibility::named("label", "Loading ..."))) << a11y.describe();
    EXPECT_EQ(run.stop(), 0);
}
