// The web view with real WebKit: injected scripts, the page bridge's registration order and value
// conversion, evaluation that always completes, our own load time-out, and what the main window's
// web view changes (keys, tooltips, context menu, input touch bar).
#include <gdk/gdk.h>
#include <gtest/gtest.h>
#include <gtkmm/main.h>
#include <gtkmm/window.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include "RunLoop.h"
#include "TrellikTestSupport.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"
#include "settings/Trellik.h"
#include "web/WQWebView.h"

using namespace parlivo;
using platform::ScriptMessage;
using platform::ScriptValue;
using platform::UserScript;

namespace {

struct RecordingHandler : platform::ScriptMessageHandler {
    std::vector<ScriptMessage> messages;
    void didReceiveScriptMessage(const ScriptMessage& message) override { messages.push_back(message); }
};

struct RecordingNavigation : platform::WebViewNavigationDelegate {
    int finished = 0;
    std::vector<platform::Error> provisionalFailures, failures;
    void didFinishNavigation(platform::WebView&) override { ++finished; }
    void didFailProvisionalNavigation(platform::WebView&, const platform::Error& e) override {
        provisionalFailures.push_back(e);
    }
    void didFailNavigation(platform::WebView&, const platform::Error& e) override { failures.push_back(e); }
};

struct Overlay : WQWebViewOverlayDelegate {
    bool covers = false;
    bool overlayCovers(double, double) override { return covers; }
};

struct Owner : WQWebViewOwner {
    int reloads = 0;
    void reloadPage() override { ++reloads; }
};

class WQWebViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gtk_init_check(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
    }

    void SetUp() override { platform::UserDefaults::standard().remove(std::string(keys::returnKeyAction)); }

    std::shared_ptr<WQWebView> make(std::vector<UserScript> scripts = {}) {
        platform::WebView::Configuration configuration;
        configuration.userScripts = std::move(scripts);
        for (const char* name : {"first", "second", "third"}) configuration.scriptMessageHandlers.emplace_back(name, handler);
        auto view = WQWebView::create(std::move(configuration));
        view->setNavigationDelegate(navigation);
        window.add(view->widget());
        window.set_default_size(800, 600);
        window.show_all();
        return view;
    }

    bool load(WQWebView& view, const std::string& html) {
        const int before = navigation->finished;
        view.loadHTML(html, "https://page.example.org/");
        return testsupport::runLoopUntil([&] { return navigation->finished > before; }, 20);
    }

    static std::optional<platform::JavaScriptEvaluator::Result> evaluate(platform::JavaScriptEvaluator& view,
                                                                          const std::string& script) {
        std::optional<platform::JavaScriptEvaluator::Result> result;
        view.evaluateJavaScript(script, [&](const auto& r) { result = r; });
        testsupport::runLoopUntil([&] { return result.has_value(); }, 20);
        return result;
    }

    std::shared_ptr<RecordingHandler> handler = std::make_shared<RecordingHandler>();
    std::shared_ptr<RecordingNavigation> navigation = std::make_shared<RecordingNavigation>();
    Gtk::Window window;
};

}  // namespace

TEST_F(WQWebViewTest, ScriptsRunInOrderAndMessagesArriveConvertedUnderTheirNames) {
    auto view = make({{"window.log = ['start', document.documentElement ? 'has root' : 'no root'];",
                       UserScript::InjectionTime::atDocumentStart},
                      {"window.log.push('end', document.body.id);", UserScript::InjectionTime::atDocumentEnd}});
    EXPECT_EQ(view->scriptMessageHandlerNames(),
              (std::vector<std::string>{"first", "second", "third", "WQTouchBarHandler"}));
    ASSERT_TRUE(load(*view, "<body id='b'><script>window.log.push('page');</script></body>"));
    auto log = evaluate(*view, "window.log");
    ASSERT_TRUE(log && log->value);
    EXPECT_EQ(*log->value, ScriptValue(ScriptValue::Array{"start", "has root", "page", "end", "b"}));

    evaluate(*view, R"JS(
        webkit.messageHandlers.second.postMessage({id: "a\"b", n: 3, list: [1.5, null, true]});
        webkit.messageHandlers.first.postMessage("text");
        var deep = []; for (var i = 0; i < 500; i++) deep = [deep];
        webkit.messageHandlers.third.postMessage(deep);
        webkit.messageHandlers.third.postMessage(new Date());
        webkit.messageHandlers.first.postMessage("after");
    )JS");
    // "after" comes last: once it is there, the deep array and the date have been refused.
    ASSERT_TRUE(testsupport::runLoopUntil(
        [&] { return !handler->messages.empty() && handler->messages.back().body == ScriptValue("after"); }, 10));
    ASSERT_EQ(handler->messages.size(), 3u);
    EXPECT_EQ(handler->messages[0].name, "second");
    EXPECT_EQ(handler->messages[0].body["id"], ScriptValue("a\"b"));
    EXPECT_EQ(handler->messages[0].body["list"], ScriptValue(ScriptValue::Array{1.5, ScriptValue(), true}));
    EXPECT_EQ(handler->messages[1].body, ScriptValue("text"));
    EXPECT_EQ(handler->messages[2].body, ScriptValue("after"));
    EXPECT_EQ(handler->messages[0].webView.lock().get(), view.get());

    // Without its user content the page can no longer reach us.
    view->removeAllUserContent();
    EXPECT_TRUE(view->scriptMessageHandlerNames().empty());
    auto after = evaluate(*view, "try { webkit.messageHandlers.first.postMessage('late'); 'posted' } catch (e) { 'refused' }");
    ASSERT_TRUE(after && after->value);
    EXPECT_EQ(*after->value, ScriptValue("refused"));
}

TEST_F(WQWebViewTest, EvaluationCompletesExactlyOnceAlsoWhenTheViewGoes) {
    auto view = make();
    ASSERT_TRUE(load(*view, "<body></body>"));
    auto ok = evaluate(*view, "({answer: 42})");
    ASSERT_TRUE(ok);
    EXPECT_FALSE(ok->error);
    EXPECT_EQ(ok->value->operator[]("answer"), ScriptValue(42));
    auto thrown = evaluate(*view, "throw new Error('no')");
    ASSERT_TRUE(thrown);
    EXPECT_TRUE(thrown->error);
    auto function = evaluate(*view, "(function () {})");
    ASSERT_TRUE(function);
    EXPECT_FALSE(function->value);  // no native form

    int completions = 0;
    view->evaluateJavaScript("new Promise(function () {})", [&](const auto&) { ++completions; });
    view->evaluateJavaScript("1", [&](const auto&) { ++completions; });
    window.remove();
    view.reset();
    EXPECT_EQ(completions, 0);  // never inside the caller's own call
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return completions == 2; }, 10));
    // A second answer to either would already be queued behind the first.
    ASSERT_TRUE(testsupport::drainIdleWork());
    EXPECT_EQ(completions, 2);
}

TEST_F(WQWebViewTest, ALoadWithoutAnswerEndsInOurTimeOut) {
    // A server that accepts connections and never answers.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";

    auto view = make();
    view->loadURL(url, 1.0);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !navigation->provisionalFailures.empty(); }, 15));
    // The web process handles our stop before a script sent after it, and reports the stop's own
    // cancellation before the script's answer: once that is back, the cancellation has come too,
    // and it is not reported.
    ASSERT_TRUE(evaluate(*view, "1"));
    ASSERT_TRUE(testsupport::drainMainQueue());
    ASSERT_EQ(navigation->provisionalFailures.size(), 1u);
    EXPECT_EQ(navigation->provisionalFailures[0].domain, platform::URLErrorDomain);
    EXPECT_EQ(navigation->provisionalFailures[0].code, platform::URLErrorCode::timedOut);
    EXPECT_FALSE(platform::isLoadCancellation(navigation->provisionalFailures[0]));
    close(listener);
}

TEST_F(WQWebViewTest, KeysAreDroppedWhileHiddenAndReturnSwapsShiftForNewLines) {
    auto view = make();
    ASSERT_TRUE(load(*view, R"(<body><script>
        window.keys = [];
        document.addEventListener('keydown', function (e) { keys.push(e.key + (e.shiftKey ? '+shift' : '')); });
    </script></body>)"));
    GtkWidget* widget = GTK_WIDGET(view->gobj());
    gtk_widget_grab_focus(widget);
    auto press = [&](guint keyval, guint state) {
        GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
        event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
        event->key.send_event = TRUE;
        event->key.time = GDK_CURRENT_TIME;
        event->key.keyval = keyval;
        event->key.state = state;
        GdkKeymapKey* keys = nullptr;
        gint count = 0;
        if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()), keyval, &keys, &count) &&
            count > 0)
            event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
        g_free(keys);
        gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
        gtk_widget_event(widget, event);
        gdk_event_free(event);
    };
    auto keysSeen = [&] { return evaluate(*view, "keys")->value.value_or(ScriptValue()); };

    press(GDK_KEY_Return, 0);
    press(GDK_KEY_Return, GDK_SHIFT_MASK);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return keysSeen().size() == 2; }, 10));
    EXPECT_EQ(keysSeen(), ScriptValue(ScriptValue::Array{"Enter", "Enter+shift"}));

    platform::UserDefaults::standard().setInteger(std::string(keys::returnKeyAction), 2);  // new line
    press(GDK_KEY_Return, 0);
    press(GDK_KEY_Return, GDK_SHIFT_MASK);
    press(GDK_KEY_a, 0);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return keysSeen().size() == 5; }, 10));
    EXPECT_EQ(keysSeen(), ScriptValue(ScriptValue::Array{"Enter", "Enter+shift", "Enter+shift", "Enter", "a"}));

    view->ignoreKeyInput = true;
    press(GDK_KEY_b, 0);
    view->ignoreKeyInput = false;
    press(GDK_KEY_c, 0);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return keysSeen().size() == 6; }, 10));
    EXPECT_EQ(keysSeen()[5], ScriptValue("c"));
}

TEST_F(WQWebViewTest, ContextMenuTooltipsAndTouchBarFollowTheirOwners) {
    auto view = make();
    // WebKit's Reload gives way to ours, Preferences, a separator and Always on Top.
    std::vector<platform::ContextMenuItem> items(3);
    items[0].identifier = "WebKitContextMenuAction1";
    items[1].identifier = WQWebView::kWKMenuItemIdentifierReload;
    items[2].identifier = "WebKitContextMenuAction5";
    auto& trellik = Trellik::shared();
    trellik.setWindowMode(WindowMode::alwaysOnTop);
    view->willOpenContextMenu(items);
    ASSERT_EQ(items.size(), 7u);
    EXPECT_FALSE(items[0].hidden);
    EXPECT_TRUE(items[1].hidden);
    EXPECT_FALSE(items[2].hidden);
    EXPECT_EQ(items[3].identifier, WQWebView::kWQMenuItemIdentifierReload);
    EXPECT_EQ(items[3].title, "Reload");
    EXPECT_EQ(items[4].identifier, WQWebView::kWQMenuItemIdentifierPreferences);
    EXPECT_TRUE(items[5].separator);
    EXPECT_EQ(items[6].identifier, WQWebView::kWQMenuItemIdentifierAlwaysOnTop);
    EXPECT_EQ(items[6].checked, true);
    items[6].action(items[6]);
    EXPECT_EQ(trellik.windowMode(), WindowMode::defaultMode);
    items[6].action(items[6]);
    EXPECT_EQ(trellik.windowMode(), WindowMode::alwaysOnTop);
    trellik.setWindowMode(WindowMode::defaultMode);

    // Reload goes straight to the web view's owner, once, after the menu has closed; the
    // settings model's web-view delegate is not asked.
    trelliktest::EventLog log;
    auto delegate = std::make_shared<trelliktest::RecordingWebView>(log);
    trellik.setWebViewDelegate(delegate);
    auto owner = std::make_shared<Owner>();
    view->owner = owner;
    items[3].action(items[3]);
    EXPECT_EQ(owner->reloads, 0);
    ASSERT_TRUE(testsupport::drainMainQueue());
    EXPECT_EQ(owner->reloads, 1);
    // An owner gone before the menu closed is not reached, and nothing else is instead.
    std::weak_ptr<Owner> gone = owner;
    items[3].action(items[3]);
    owner.reset();
    ASSERT_TRUE(gone.expired());
    ASSERT_TRUE(testsupport::drainMainQueue());
    EXPECT_TRUE(log.events.empty());
    trellik.setWebViewDelegate(nullptr);

    std::vector<platform::ContextMenuItem> plain(1);
    plain[0].identifier = "WebKitContextMenuAction3";
    view->willOpenContextMenu(plain);
    EXPECT_EQ(plain.size(), 1u);

    auto overlay = std::make_shared<Overlay>();
    EXPECT_TRUE(view->toolTipAllowedAt(10, 10));
    view->overlayDelegate = overlay;
    EXPECT_TRUE(view->toolTipAllowedAt(10, 10));
    overlay->covers = true;
    EXPECT_FALSE(view->toolTipAllowedAt(10, 10));

    // The page's "show" and "hide" build and drop the input touch bar.
    ASSERT_TRUE(load(*view, "<body></body>"));
    EXPECT_FALSE(view->touchBar());
    evaluate(*view, "webkit.messageHandlers.WQTouchBarHandler.postMessage('show')");
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return view->showTouchBarIcons(); }));
    auto bar = view->touchBar();
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->customizationIdentifier(), "net.vantreo.mac.WhatsApp.webViewInputTouchBar");
    EXPECT_EQ(bar->defaultItemIdentifiers(), std::vector<std::string>{"NSTouchBarItemIdentifierCharacterPicker"});
    evaluate(*view, "webkit.messageHandlers.WQTouchBarHandler.postMessage({word: 'hide'})");
    evaluate(*view, "webkit.messageHandlers.WQTouchBarHandler.postMessage('hide')");
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !view->showTouchBarIcons(); }));
    EXPECT_FALSE(view->touchBar());
}

TEST_F(WQWebViewTest, WebKitsOwnContextMenuGetsOurItemsInPlaceOfItsReload) {
    auto view = make();
    ASSERT_TRUE(load(*view, "<body style='height: 100%'><p>text</p></body>"));
    // Looks at the menu after our handler changed it, and keeps it from popping up.
    struct Seen {
        std::vector<std::string> labels;
        bool webKitReload = false;
        GAction* alwaysOnTop = nullptr;
        bool done = false;
    } seen;
    const gulong inspector = g_signal_connect(
        view->gobj(), "context-menu",
        G_CALLBACK(+[](WebKitWebView*, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult*, gpointer data) -> gboolean {
            auto* seen = static_cast<Seen*>(data);
            for (GList* node = webkit_context_menu_get_items(menu); node; node = node->next) {
                auto* item = static_cast<WebKitContextMenuItem*>(node->data);
                if (webkit_context_menu_item_is_separator(item)) {
                    seen->labels.push_back("---");
                    continue;
                }
                if (webkit_context_menu_item_get_stock_action(item) == WEBKIT_CONTEXT_MENU_ACTION_RELOAD)
                    seen->webKitReload = true;
                if (webkit_context_menu_item_get_stock_action(item) != WEBKIT_CONTEXT_MENU_ACTION_CUSTOM) continue;
                GAction* action = webkit_context_menu_item_get_gaction(item);
                seen->labels.push_back(action && g_action_get_state(action) ? "checkable" : "plain");
                if (action && g_action_get_state(action)) seen->alwaysOnTop = G_ACTION(g_object_ref(action));
            }
            seen->done = true;
            return TRUE;
        }),
        &seen);
    GtkWidget* widget = GTK_WIDGET(view->gobj());
    GdkEvent* click = gdk_event_new(GDK_BUTTON_PRESS);
    click->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
    click->button.send_event = TRUE;
    click->button.time = GDK_CURRENT_TIME;
    click->button.button = GDK_BUTTON_SECONDARY;
    click->button.x = 40;
    click->button.y = 40;
    gdk_event_set_device(click, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_widget_event(widget, click);
    gdk_event_free(click);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return seen.done; }, 10));
    g_signal_handler_disconnect(view->gobj(), inspector);

    EXPECT_FALSE(seen.webKitReload);
    ASSERT_GE(seen.labels.size(), 4u);
    const std::vector<std::string> tail(seen.labels.end() - 4, seen.labels.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"plain", "plain", "---", "checkable"}));
    ASSERT_TRUE(seen.alwaysOnTop);
    auto& trellik = Trellik::shared();
    trellik.setWindowMode(WindowMode::defaultMode);
    g_action_activate(seen.alwaysOnTop, nullptr);
    EXPECT_EQ(trellik.windowMode(), WindowMode::alwaysOnTop);
    trellik.setWindowMode(WindowMode::defaultMode);
    g_object_unref(seen.alwaysOnTop);
}
