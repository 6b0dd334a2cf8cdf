// Page messages against their handlers' shapes in a real web view: what is too large or of the
// wrong kind is refused before it is read (with the debug line), what fits arrives, and a whole
// file read off the main thread arrives intact and in the order the page posted it.
#include <gtest/gtest.h>
#include <gtkmm/main.h>
#include <gtkmm/window.h>

#include <mutex>

#include "RunLoop.h"
#include "foundation/Log.h"
#include "web/WQWebView.h"

using platform::ScriptMessage;
using platform::ScriptMessageShape;
using platform::ScriptValue;

namespace {

struct ShapedHandler : platform::ScriptMessageHandler {
    std::vector<ScriptMessage> messages;
    void didReceiveScriptMessage(const ScriptMessage& message) override { messages.push_back(message); }
    ScriptMessageShape messageShape(std::string_view name) const override {
        if (name == "text") return ScriptMessageShape::text(16);
        if (name == "file") return ScriptMessageShape::dictionary(64, {{"data", 2u << 20}});
        if (name == "unread") {
            ScriptMessageShape shape;
            shape.read = false;
            return shape;
        }
        return {};
    }
};

std::mutex logMutex;
std::vector<std::string> logLines;
void collectLog(std::string_view line, platform::LogLevel level) {
    if (level != platform::LogLevel::debug) return;
    std::lock_guard lock(logMutex);
    logLines.emplace_back(line);
}

class PageMessageLimitsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gtk_init_check(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
    }
    void SetUp() override { platform::setSystemLogSink(collectLog); }
    void TearDown() override { platform::setSystemLogSink(nullptr); }

    std::shared_ptr<parlivo::WQWebView> make() {
        platform::WebView::Configuration configuration;
        for (const char* name : {"text", "file", "unread", "plain"})
            configuration.scriptMessageHandlers.emplace_back(name, handler);
        auto view = parlivo::WQWebView::create(std::move(configuration));
        window.add(view->widget());
        window.show_all();
        return view;
    }

    void post(platform::WebView& view, const std::string& script) {
        bool done = false;
        view.evaluateJavaScript(script, [&](const auto&) { done = true; });
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return done; }, 20)) << script;
    }

    // Waits for the marker the page posts last on "text"; everything before it has been decided.
    bool waitForMarker(const char* marker) {
        return testsupport::runLoopUntil(
            [&] { return !handler->messages.empty() && handler->messages.back().body == ScriptValue(marker); }, 30);
    }

    static std::vector<std::string> refusals() {
        std::lock_guard lock(logMutex);
        std::vector<std::string> lines;
        for (const auto& line : logLines)
            if (line.starts_with("Refused a page message")) lines.push_back(line);
        logLines.clear();
        return lines;
    }

    std::shared_ptr<ShapedHandler> handler = std::make_shared<ShapedHandler>();
    Gtk::Window window;
};

}  // namespace

TEST_F(PageMessageLimitsTest, BodiesPastTheShapeAreRefusedWithALogLineAndTheRestArrive) {
    auto view = make();
    post(*view, R"JS(
        var h = webkit.messageHandlers;
        h.text.postMessage("x".repeat(17));
        h.text.postMessage("x".repeat(50 * 1024 * 1024));
        h.text.postMessage({a: 1});
        h.file.postMessage("not a dictionary");
        h.file.postMessage({name: "n".repeat(65)});
        h.file.postMessage({data: "d".repeat(3 * 1024 * 1024)});
        h.plain.postMessage(new Array(300000).fill(1));
        h.plain.postMessage("p".repeat(2 * 1024 * 1024));
        h.plain.postMessage(new Date());
        h.unread.postMessage("u".repeat(10 * 1024 * 1024));
        h.plain.postMessage({fits: [1, 2, 3]});
        h.text.postMessage("sixteen bytes ok");
        h.text.postMessage("end");
    )JS");
    ASSERT_TRUE(waitForMarker("end"));
    ASSERT_EQ(handler->messages.size(), 4u);
    EXPECT_EQ(handler->messages[0].name, "unread");
    EXPECT_EQ(handler->messages[0].body, ScriptValue());  // never read
    EXPECT_EQ(handler->messages[1].body["fits"], ScriptValue(ScriptValue::Array{1, 2, 3}));
    EXPECT_EQ(handler->messages[2].body, ScriptValue("sixteen bytes ok"));

    const std::string tooLarge = "past the handler's size limits", wrongKind = "not of a kind the handler takes";
    const std::vector<std::string> expected = {
        "\"text\": " + tooLarge, "\"text\": " + tooLarge, "\"text\": " + wrongKind, "\"file\": " + wrongKind,
        "\"file\": " + tooLarge, "\"file\": " + tooLarge, "\"plain\": " + tooLarge, "\"plain\": " + tooLarge,
        "\"plain\": a value without a native form"};
    auto lines = refusals();
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(lines[i], "Refused a page message on " + expected[i]) << i;
}

TEST_F(PageMessageLimitsTest, AWholeFileIsReadApartAndArrivesIntactInPageOrder) {
    auto view = make();
    // Long enough to be read off the main thread; a short one is read at once. The messages
    // behind the long one wait for it, whatever their handler.
    post(*view, R"JS(
        var h = webkit.messageHandlers;
        var big = "0123456789abcdef".repeat(64 * 1024) + "\u00e9\u2028end";
        h.text.postMessage("before");
        h.file.postMessage({data: big, name: "big"});
        h.plain.postMessage({n: 1});
        h.file.postMessage({data: "small", name: "small"});
        h.file.postMessage({data: big + "x".repeat(2 * 1024 * 1024), name: "over"});
        h.text.postMessage("end");
    )JS");
    ASSERT_TRUE(waitForMarker("end"));
    ASSERT_EQ(handler->messages.size(), 5u);
    EXPECT_EQ(handler->messages[0].body, ScriptValue("before"));
    EXPECT_EQ(handler->messages[1].body["name"], ScriptValue("big"));
    const std::string* data = handler->messages[1].body["data"].asString();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->size(), 16u * 64 * 1024 + 2 + 3 + 3);
    EXPECT_TRUE(data->ends_with("\u00e9\u2028end"));
    EXPECT_EQ(handler->messages[1].webView.lock().get(), view.get());
    EXPECT_EQ(handler->messages[2].body["n"], ScriptValue(1));
    EXPECT_EQ(handler->messages[3].body["data"], ScriptValue("small"));
    EXPECT_EQ(handler->messages[4].body, ScriptValue("end"));
    EXPECT_EQ(refusals(), std::vector<std::string>{"Refused a page message on \"file\": past the handler's size limits"});

}
