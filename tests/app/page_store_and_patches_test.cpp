#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "FakeJavaScriptEvaluator.h"
#include "RunLoop.h"
#include "ScriptPage.h"
#include "StringExtensions.h"
#include "WQDebugController.h"
#include "foundation/UserDefaults.h"
#include "system/Crypto.h"
#include "web/WQLocalWebStore.h"
#include "web/WQPatchJSHandler.h"

using namespace parlivo;
using platform::PropertyList;
namespace fs = std::filesystem;

namespace {

fs::path settingsFile(const std::string& name) { return fs::path(std::getenv("TMPDIR")) / name; }

platform::ScriptMessage message(std::string name, PropertyList body,
                                const std::shared_ptr<platform::JavaScriptEvaluator>& webView = nullptr) {
    return platform::ScriptMessage{std::move(name), std::move(body), webView};
}

// Texts a page may keep that break a naively built script.
const std::vector<std::string> hostileTexts = {
    "plain",
    "",
    "it's",
    "say \"hi\"",
    "two\nlines\r\n",
    "back\\slash\\",
    "line\u2028separator\u2029",
    "</script><script>alert(1)</script>",
    "{\"chats\":[1,2],\"draft\":\"x'); evil(); ('\"}",
    "emoji \U0001F600 and \x01 control",
};

std::string base64(std::string_view text) {
    return platform::Crypto::base64(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

TextPatch patch(std::string prefix, std::string before, std::string after) {
    return TextPatch::make("p", std::move(prefix), std::move(before), std::move(after));
}

}  // namespace

// --- local web store ---

TEST(WQLocalWebStoreTest, StoredTextReachesThePageUnchanged) {
    platform::UserDefaults defaults(settingsFile("store.plist"));
    WQLocalWebStore store(defaults);
    auto page = std::make_shared<ScriptPage>("var received = []; var wqLocalWebStore = { update: "
                                             "function (text) { received.push(text); } };");
    for (const auto& text : hostileTexts) {
        SCOPED_TRACE(text);
        store.didReceiveScriptMessage(message("localWebStore", PropertyList(text), page));
        bool done = false;
        store.updateStore(page, [&] { done = true; });
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return done; }));
        EXPECT_TRUE(page->errors.empty()) << page->errors.back();
        EXPECT_EQ(page->string("received[received.length - 1]"), text);
    }
    EXPECT_EQ(page->string("String(received.length)"), std::to_string(hostileTexts.size()));
}

TEST(WQLocalWebStoreTest, OnlyTextIsStoredAndItSurvivesARestart) {
    const fs::path file = settingsFile("restart.plist");
    {
        platform::UserDefaults defaults(file);
        WQLocalWebStore store(defaults);
        store.didReceiveScriptMessage(message("localWebStore", PropertyList("first")));
        store.didReceiveScriptMessage(message("localWebStore", PropertyList("second")));
        // Not text, not our name, or not what the settings file could give back: ignored.
        for (PropertyList other : {PropertyList(int64_t(42)), PropertyList(true), PropertyList(),
                                   PropertyList(PropertyList::Array{PropertyList("x")}),
                                   PropertyList(PropertyList::Dictionary{{"a", PropertyList("b")}}),
                                   PropertyList(std::string(WQLocalWebStore::maximumTextSize + 1, 'x')),
                                   PropertyList(std::string("nul\0inside", 10))})
            store.didReceiveScriptMessage(message("localWebStore", other));
        store.didReceiveScriptMessage(message("somethingElse", PropertyList("third")));
    }
    platform::UserDefaults reopened(file);
    WQLocalWebStore store(reopened);
    auto view = std::make_shared<FakeJavaScriptEvaluator>();
    bool done = false;
    store.updateStore(view, [&] { done = true; });
    ASSERT_EQ(view->scripts, (std::vector<std::string>{"wqLocalWebStore.update('second');"}));
    EXPECT_FALSE(done);  // the completion waits for the page
    view->answerNext("ReferenceError: Can't find variable: wqLocalWebStore");
    EXPECT_TRUE(done);  // ... and runs when the script failed too
}

TEST(WQLocalWebStoreTest, WithNothingStoredTheCompletionRunsAtOnce) {
    platform::UserDefaults defaults(settingsFile("empty.plist"));
    defaults.setInteger("WQLocalWebStore", 5);  // not text: counts as nothing
    WQLocalWebStore store(defaults);
    auto view = std::make_shared<FakeJavaScriptEvaluator>();

    auto& debug = tovak::WQDebugController::sharedInstance();
    debug.setDebug(true);
    testing::internal::CaptureStdout();
    int runs = 0;
    store.updateStore(view, [&] { ++runs; });
    const std::string log = testing::internal::GetCapturedStdout();
    debug.setDebug(false);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(view->scripts.empty());
    EXPECT_EQ(log, "WQLocalWebStore ===> WQLocalWebStore: No Data to update!\n");

    // Something stored but no web view: nothing to send, and nobody waits.
    defaults.setString("WQLocalWebStore", "text");
    store.updateStore(nullptr, [&] { ++runs; });
    EXPECT_EQ(runs, 2);
}

// --- text patches ---

TEST(WQPatchJSHandlerTest, PrefixLineListsEachPrefixOnceAndRunsAsAScript) {
    EXPECT_EQ(WQPatchJSHandler::makePatchPrefixesScript({}), "var wqPatchPrefixes = [];");
    EXPECT_EQ(WQPatchJSHandler::makePatchPrefixesScript(
                  {patch("a", "1", "2"), patch("", "1", "2"), patch("a", "3", "4"), patch("b", "1", "2")}),
              "var wqPatchPrefixes = ['a','','b'];");
    // Prefixes are names of scripts: whatever they hold, the line stays one valid statement.
    std::vector<TextPatch> hostile;
    for (const auto& text : hostileTexts) hostile.push_back(patch(text, "x", "y"));
    const std::string line = WQPatchJSHandler::makePatchPrefixesScript(hostile);
    ScriptPage page("");
    page.evaluateJavaScript(line, {});
    ASSERT_TRUE(page.errors.empty()) << page.errors.front();
    ASSERT_EQ(page.string("String(wqPatchPrefixes.length)"), std::to_string(hostileTexts.size()));
    for (size_t i = 0; i < hostileTexts.size(); ++i)
        EXPECT_EQ(page.string("wqPatchPrefixes[" + std::to_string(i) + "]"), hostileTexts[i]);
}

TEST(WQPatchJSHandlerTest, AppliesMatchingPatchesInOrder) {
    WQPatchJSHandler handler;
    EXPECT_EQ(handler.applyPatches("app.js", "x"), "x");  // no list: unchanged
    handler.setPatches(std::vector<TextPatch>{
        patch("app", "x", "y"),
        patch("", "y", "z"),          // works on the first one's output
        patch("app", "", "EMPTY"),    // nothing to find: skipped
        patch("app.js.map", "z", "never"),  // longer than the name: no match
        patch("", "aa", "b"),         // non-overlapping, left to right
        patch("App", "z", "case"),    // prefixes are case-sensitive
    });
    struct Case {
        std::string name, text, patched;
    };
    for (const auto& c : std::vector<Case>{
             {"app.js", "x y x", "z z z"},
             {"app", "x", "z"},
             {"ap", "x y", "x z"},
             {"myapp.js", "x y", "x z"},
             {"WQCustomIndex.html", "<p>y aaa</p>", "<p>z ba</p>"},
             {"app.js", "", ""},
         }) {
        SCOPED_TRACE(c.name + ": " + c.text);
        EXPECT_EQ(handler.applyPatches(c.name, c.text), c.patched);
    }
}

TEST(WQPatchJSHandlerTest, DataURLsAreReadStrictly) {
    struct Case {
        std::string blob, mimeType;
        std::optional<std::string> script;
    };
    const std::string js = "var a = 1;\n";
    const std::string encoded = base64(js);
    for (const auto& c : std::vector<Case>{
             {"data:text/javascript;base64," + encoded, "text/javascript", js},
             // Line breaks and blanks inside the Base64 text are skipped.
             {"data:text/javascript;base64," + encoded.substr(0, 4) + "\r\n " + encoded.substr(4), "text/javascript",
              js},
             {"data:text/javascript;base64,", "text/javascript", ""},
             {"data:text/javascript;charset=utf-8;base64," + encoded, "text/javascript", std::nullopt},
             {"data:text/javascript;base64," + encoded, "text/html", std::nullopt},
             {"text/javascript;base64," + encoded, "text/javascript", std::nullopt},
             {"data:text/javascript," + js, "text/javascript", std::nullopt},
             {"data:text/javascript;base64,A", "text/javascript", std::nullopt},        // does not decode
             {"data:text/javascript;base64,////", "text/javascript", std::nullopt},     // not UTF-8
             {"data:text/javascript;base64,YQ==YQ==", "text/javascript", std::nullopt},  // data after padding
         }) {
        SCOPED_TRACE(c.blob);
        EXPECT_EQ(WQPatchJSHandler::scriptFromDataURL(c.blob, c.mimeType), c.script);
    }
}

TEST(WQPatchJSHandlerTest, AnswersThePageWithThePatchedScript) {
    WQPatchJSHandler handler;
    handler.setPatches(std::vector<TextPatch>{patch("https://web.example/app", "debug = false", "debug = true")});
    auto page = std::make_shared<ScriptPage>(
        "var answers = []; function wqPatchJS(id, type, b64) { answers.push([id, type, b64]); }");
    const std::string script = "var debug = false; // 'ü'\n";
    for (const auto& id : hostileTexts) {
        SCOPED_TRACE(id);
        handler.didReceiveScriptMessage(message(
            "WQPatchJSHandler",
            PropertyList(PropertyList::Dictionary{{"id", PropertyList(id)},
                                                  {"src", PropertyList("https://web.example/app.js")},
                                                  {"blob", PropertyList("data:text/javascript;base64," + base64(script))},
                                                  {"mimeType", PropertyList("text/javascript")}}),
            page));
    }
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return page->scripts.size() == hostileTexts.size(); }));
    EXPECT_TRUE(page->errors.empty()) << page->errors.front();
    for (size_t i = 0; i < hostileTexts.size(); ++i) {
        EXPECT_EQ(page->string("answers[" + std::to_string(i) + "][0]"), hostileTexts[i]);
        EXPECT_EQ(page->string("answers[" + std::to_string(i) + "][1]"), "text/javascript");
    }
    gsize length = 0;
    guchar* decoded = g_base64_decode(page->string("answers[0][2]").c_str(), &length);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(decoded), length), "var debug = true; // 'ü'\n");
    g_free(decoded);
    EXPECT_EQ(page->scripts[0].find('\n'), std::string::npos);  // the Base64 text is one line
}

TEST(WQPatchJSHandlerTest, MalformedRequestsGetNoAnswer) {
    WQPatchJSHandler handler;
    auto view = std::make_shared<FakeJavaScriptEvaluator>();
    const PropertyList::Dictionary good{{"id", PropertyList("1")},
                                        {"src", PropertyList("app.js")},
                                        {"blob", PropertyList("data:text/javascript;base64," + base64("x"))},
                                        {"mimeType", PropertyList("text/javascript")}};
    auto without = [&](const char* key) {
        auto body = good;
        body.erase(key);
        return PropertyList(body);
    };
    auto with = [&](const char* key, PropertyList value) {
        auto body = good;
        body[key] = std::move(value);
        return PropertyList(body);
    };
    PropertyList deep("leaf");
    for (int i = 0; i < 1000; ++i) deep = PropertyList(PropertyList::Array{deep});

    const std::vector<PropertyList> bodies = {
        PropertyList("not a dictionary"),
        PropertyList(PropertyList::Array{PropertyList(good)}),
        deep,
        without("id"),
        without("src"),
        without("blob"),
        without("mimeType"),
        with("id", PropertyList(int64_t(1))),
        with("mimeType", PropertyList(PropertyList::Array{})),
        with("blob", deep),
        with("id", PropertyList(std::string(WQPatchJSHandler::maximumFieldSize + 1, '1'))),
        with("blob", PropertyList("data:text/javascript;base64," +
                                  std::string(WQPatchJSHandler::maximumBlobSize, 'Q'))),
    };
    for (const auto& body : bodies) handler.didReceiveScriptMessage(message("WQPatchJSHandler", body, view));
    handler.didReceiveScriptMessage(message("otherName", PropertyList(good), view));
    handler.didReceiveScriptMessage(message("WQPatchJSHandler", PropertyList(good), nullptr));  // no web view
    EXPECT_TRUE(view->scripts.empty());

    // The marker: a good request after all of them is the first and only answer.
    handler.didReceiveScriptMessage(message("WQPatchJSHandler", PropertyList(good), view));
    EXPECT_EQ(view->scripts, (std::vector<std::string>{"wqPatchJS(\"1\", \"text\\/javascript\", \"eA==\");"}));
}

TEST(WQPatchJSHandlerTest, AFailedAnswerIsLoggedWithItsError) {
    WQPatchJSHandler handler;
    auto view = std::make_shared<FakeJavaScriptEvaluator>();
    auto& debug = tovak::WQDebugController::sharedInstance();
    debug.setDebug(true);
    testing::internal::CaptureStdout();
    handler.didReceiveScriptMessage(
        message("WQPatchJSHandler",
                PropertyList(PropertyList::Dictionary{{"id", PropertyList("7")},
                                                      {"src", PropertyList("app.js")},
                                                      {"blob", PropertyList("data:a/b;base64," + base64("abcd"))},
                                                      {"mimeType", PropertyList("a/b")}}),
                view));
    view->answerNext("TypeError: wqPatchJS is not a function");
    const std::string log = testing::internal::GetCapturedStdout();
    debug.setDebug(false);
    EXPECT_EQ(log,
              "WQPatchJSHandler ===> Commiting Script: app.js --- 7 --- nil\n"
              "WQPatchJSHandler ===> Final Committing Script: app.js --- 8 --- nil\n"
              "WQPatchJSHandler ===> Done Commiting Script: app.js with Errors: TypeError: wqPatchJS is not a "
              "function\n");
}
