// The local store against a real web view: the page posts its text on "localWebStore", the
// store keeps it, and the update script gives it back to the page, character for character.
#include <gtest/gtest.h>

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "RunLoop.h"
#include "foundation/UserDefaults.h"
#include "web/WQLocalWebStore.h"

using namespace parlivo;

namespace {

// The page: its own texts (written here, not by the program's escaper), a way to post one,
// and the page function the store calls.
constexpr const char* kPage = R"HTML(<!DOCTYPE html><html><head><script>
var texts = [
  "plain", "", "it's", 'say "hi"', "two\nlines\r\n", "tab\there", "back\\slash\\",
  "line\u2028separator\u2029", "<\/script><script>alert(1)<\/script>", "<!" + "-- comment",
  "x'); throw 1; ('", "emoji \uD83D\uDE00 und Umlaute \u00e4\u00f6\u00fc", "\u0001\u001f\u007f"
];
var received = [];
var wqLocalWebStore = { update: function (text) { received.push(text); } };
function post(i) { window.webkit.messageHandlers.localWebStore.postMessage(texts[i]); }
</script></head><body></body></html>)HTML";

// A web view and the few things the test asks of it.
class Page : public platform::JavaScriptEvaluator {
public:
    explicit Page(WQLocalWebStore& store) : store_(store) {
        auto* manager = webkit_user_content_manager_new();
        webkit_user_content_manager_register_script_message_handler(manager, "localWebStore");
        g_signal_connect(manager, "script-message-received::localWebStore", G_CALLBACK(&Page::received), this);
        view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_user_content_manager(manager));
        g_object_unref(manager);
        g_object_ref_sink(view_);
        window_ = gtk_offscreen_window_new();
        gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
        gtk_widget_show_all(window_);
        g_signal_connect(view_, "load-changed", G_CALLBACK(&Page::loadChanged), this);
        webkit_web_view_load_html(view_, kPage, "https://web.example/");
    }
    ~Page() override {
        gtk_widget_destroy(window_);
        g_object_unref(view_);
    }

    bool loaded() const { return loaded_; }
    int messages() const { return messages_; }

    void evaluateJavaScript(const std::string& script, Completion completion) override {
        auto* held = new Completion(std::move(completion));
        webkit_web_view_evaluate_javascript(view_, script.c_str(), -1, nullptr, nullptr, nullptr, &Page::evaluated,
                                            held);
    }

    // The value of an expression, as a string; none when it failed.
    std::optional<std::string> value(const std::string& expression) {
        std::optional<std::string> result;
        bool done = false;
        evaluateJavaScript("String(" + expression + ")", [&](const Result& answer) {
            if (answer.value && answer.value->asString()) result = *answer.value->asString();
            done = true;
        });
        if (!testsupport::runLoopUntil([&] { return done; }, 20)) return std::nullopt;
        return result;
    }

private:
    static void loadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
        if (event == WEBKIT_LOAD_FINISHED) static_cast<Page*>(self)->loaded_ = true;
    }

    // Only strings matter here; anything else reaches the store as a non-string body.
    static void received(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
        auto* self = static_cast<Page*>(data);
        JSCValue* value = webkit_javascript_result_get_js_value(result);
        platform::PropertyList body;
        if (jsc_value_is_string(value)) {
            char* text = jsc_value_to_string(value);
            body = platform::PropertyList(std::string(text));
            g_free(text);
        }
        self->store_.didReceiveScriptMessage(platform::ScriptMessage{"localWebStore", body, {}});
        ++self->messages_;
    }

    static void evaluated(GObject* source, GAsyncResult* asyncResult, gpointer data) {
        std::unique_ptr<Completion> completion(static_cast<Completion*>(data));
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), asyncResult, &error);
        Result result;
        if (error) {
            result.error = error->message;
            g_error_free(error);
        } else if (value) {
            if (jsc_value_is_string(value)) {
                char* text = jsc_value_to_string(value);
                result.value = platform::PropertyList(std::string(text));
                g_free(text);
            }
        }
        if (value) g_object_unref(value);
        if (*completion) (*completion)(result);
    }

    WQLocalWebStore& store_;
    WebKitWebView* view_ = nullptr;
    GtkWidget* window_ = nullptr;
    bool loaded_ = false;
    int messages_ = 0;
};

}  // namespace

TEST(LocalStoreWebViewTest, EveryTextComesBackToThePageUnchanged) {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    platform::UserDefaults defaults(std::filesystem::path(std::getenv("TMPDIR")) / "store.plist");
    WQLocalWebStore store(defaults);
    auto page = std::make_shared<Page>(store);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return page->loaded(); }, 30));
    const int count = std::stoi(page->value("texts.length").value_or("0"));
    ASSERT_EQ(count, 13);

    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(page->value("post(" + std::to_string(i) + ")"));
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return page->messages() == i + 1; }, 20));
        bool done = false;
        store.updateStore(page, [&] { done = true; });
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return done; }, 20));
        EXPECT_EQ(page->value("received.length"), std::to_string(i + 1));
        EXPECT_EQ(page->value("received[" + std::to_string(i) + "] === texts[" + std::to_string(i) + "]"), "true");
    }
}
