// The HTML notification panel with real WebKit: a page in a source web view asks for a panel,
// the panel page gets its start script and answers, and the answer reaches the page intact;
// malformed requests, load failures, the end of the panel's web process and a replacing request.
#include <gtest/gtest.h>
#include <gdkmm/monitor.h>
#include <gtkmm/eventbox.h>
#include <gtkmm/label.h>
#include <gtkmm/main.h>
#include <gtkmm/overlay.h>
#include <gtkmm/window.h>
#include <glibmm/miscutils.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ClosedPort.h"
#include "FakeJavaScriptEvaluator.h"
#include "LoopbackHTTPServer.h"
#include "RunLoop.h"
#include "notifications/WQNotificationCenter.h"
#include "ui/Appearance.h"
#include "web/WebView.h"

using namespace parlivo;
using platform::PropertyList;
using testsupport::runLoopUntil;

namespace {

std::string escaped(const std::string& text) {
    char* raw = g_uri_escape_string(text.c_str(), nullptr, false);
    std::string result(raw);
    g_free(raw);
    return result;
}

// A panel page that answers at once with `answer` (a JavaScript expression).
std::string answeringPanel(const std::string& answer) {
    return "<html><body><script>webkit.messageHandlers.WQNotificationCallbackHandler.postMessage(" + answer +
           ");</script></body></html>";
}

class NotificationPanelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gtk_init(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
    }

    void SetUp() override {
        WQNotificationCenter::Environment environment;
        environment.startScript = [] {
            return std::string("var wqStyle = 'Dark'; var wqPlatform = {\"Platform\":\"Linux\"}; ");
        };
        environment.appearance = [] { return std::string(platform::Appearance::kVibrantDark); };
        center = std::make_shared<WQNotificationCenter>(environment);
        window.set_default_size(900, 600);
        parent = std::make_shared<Gtk::Overlay>();
        parent->add(content);
        window.add(*parent);
        window.show_all();
        center->setParentView(parent);
    }
    void TearDown() override {
        center.reset();
        window.remove();
    }

    // The page that asks for panels: a real web view whose wqNotificationCenter.callback keeps
    // what it was handed.
    std::shared_ptr<platform::WebView> loadSourcePage() {
        auto page = platform::WebView::create({});
        bool loaded = false;
        struct Loaded : platform::WebViewNavigationDelegate {
            bool* flag;
            void didFinishNavigation(platform::WebView&) override { *flag = true; }
        };
        auto delegate = std::make_shared<Loaded>();
        delegate->flag = &loaded;
        page->setNavigationDelegate(delegate);
        page->loadHTML("<script>var got = []; var wqNotificationCenter = {callback: function (id, text) "
                       "{ got.push([id, text]); }};</script>",
                       "http://127.0.0.1/");
        EXPECT_TRUE(runLoopUntil([&] { return loaded; }, 20));
        return page;
    }
    std::optional<PropertyList> evaluate(platform::WebView& view, const std::string& script) {
        std::optional<platform::JavaScriptEvaluator::Result> result;
        view.evaluateJavaScript(script, [&](const auto& r) { result = r; });
        if (!runLoopUntil([&] { return result.has_value(); }, 20)) return std::nullopt;
        return result->value;
    }

    void request(const PropertyList& body, std::weak_ptr<platform::JavaScriptEvaluator> from) {
        center->didReceiveScriptMessage({std::string(WQNotificationCenter::messageName), body, std::move(from)});
    }
    static PropertyList show(std::int64_t id, const std::string& url, std::optional<std::string> html = std::nullopt) {
        PropertyList body = PropertyList::dictionary();
        body.set("id", id);
        body.set("url", url);
        if (html) body.set("html", *html);
        return body;
    }
    bool panelShown() {
        return center->isDisplayingNotification() && center->targetWebView() &&
               center->backdrop().get_parent() == parent.get() &&
               center->targetWebView()->widget().get_parent() == &center->backdrop();
    }
    bool panelGone() {
        return !center->isDisplayingNotification() && !center->targetWebView() && !center->backdrop().get_parent() &&
               center->notificationId() == -1;
    }

    Gtk::Window window;
    Gtk::Label content{"the page"};
    std::shared_ptr<Gtk::Overlay> parent;
    std::shared_ptr<WQNotificationCenter> center;
};

}  // namespace

TEST_F(NotificationPanelTest, ThePanelPageHasItsStartScriptAndItsAnswerReachesThePageIntact) {
    auto page = loadSourcePage();
    // The answer carries what the start script defined, and text that would break a script
    // built without escaping.
    const std::string tricky = "it's \"quoted\" \\ \n</script> \u2028 ';alert(1);//";
    request(show(7, "http://127.0.0.1/panel",
                 answeringPanel("wqStyle + '|' + wqPlatform.Platform + '|' + " + std::string("decodeURIComponent('") +
                                escaped(tricky) + "')")),
            page);
    ASSERT_TRUE(panelShown());
    EXPECT_EQ(center->notificationId(), 7);
    EXPECT_TRUE(center->backdrop().get_style_context()->has_class("dark"));

    ASSERT_TRUE(runLoopUntil([&] { return panelGone(); }, 20));
    auto got = evaluate(*page, "got");
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, PropertyList(PropertyList::Array{PropertyList::Array{7, "Dark|Linux|" + tricky}}));

    // A panel that answers with anything but text is closed unanswered.
    request(show(8, "http://127.0.0.1/panel", answeringPanel("{answer: 1}")), page);
    ASSERT_TRUE(panelShown());
    ASSERT_TRUE(runLoopUntil([&] { return panelGone(); }, 20));
    EXPECT_EQ(evaluate(*page, "got.length"), PropertyList(1));
}

// Every malformed request closes the panel that is open and shows none.
TEST_F(NotificationPanelTest, AMalformedRequestClosesThePanelAndShowsNone) {
    auto source = std::make_shared<FakeJavaScriptEvaluator>();
    auto withId = [](PropertyList id) {
        PropertyList body = show(1, "http://127.0.0.1/");
        body.set("id", std::move(id));
        return body;
    };
    PropertyList noURL = PropertyList::dictionary();
    noURL.set("id", 1);
    noURL.set("html", "<p>x</p>");
    struct Case {
        const char* what;
        PropertyList body;
    } cases[] = {
        {"not a dictionary", PropertyList("show")},
        {"id a string", withId("7")},
        {"id with a fraction", withId(7.5)},
        {"id missing", withId(PropertyList())},
        {"html without url", noURL},
        {"url not a URL", show(1, "not a url")},
        {"url of a local file", show(1, "file:///etc/passwd", "<p>x</p>")},
        {"url a script", show(1, "javascript:alert(1)")},
    };
    for (const auto& c : cases) {
        request(show(3, "http://127.0.0.1/", "<p>panel</p>"), source);
        ASSERT_TRUE(panelShown()) << c.what;
        request(c.body, source);
        EXPECT_TRUE(panelGone()) << c.what;
    }
    // Without the page that asked, or before the container is known.
    request(show(3, "http://127.0.0.1/", "<p>panel</p>"), std::weak_ptr<FakeJavaScriptEvaluator>());
    EXPECT_TRUE(panelGone());
    center->setParentView({});
    request(show(3, "http://127.0.0.1/", "<p>panel</p>"), source);
    EXPECT_TRUE(panelGone());
}

// The panel goes on any load failure of its own, the provisional ones too, and when its web
// process ends; a loaded page that is no error stays.
TEST_F(NotificationPanelTest, ALoadFailureOrTheEndOfItsWebProcessClosesThePanel) {
    auto source = std::make_shared<FakeJavaScriptEvaluator>();
    const testsupport::ClosedPort closed;
    request(show(4, "http://" + closed.host() + "/panel"), source);
    ASSERT_TRUE(panelShown());
    ASSERT_TRUE(runLoopUntil([&] { return panelGone(); }, 20));

    testsupport::LoopbackHTTPServer server(
        {{"/panel", {testsupport::LoopbackHTTPServer::response("200 OK", "<p id='panel'>panel</p>",
                                                                "Content-Type: text/html\r\n")}}});
    request(show(5, server.url("/panel")), source);
    ASSERT_TRUE(panelShown());
    ASSERT_TRUE(runLoopUntil([&] {
        auto found = evaluate(*center->targetWebView(), "!!document.getElementById('panel')");
        return found && *found == PropertyList(true);
    }, 20));
    EXPECT_TRUE(panelShown());
    center->targetWebView()->terminateWebProcess();
    ASSERT_TRUE(runLoopUntil([&] { return panelGone(); }, 20));
    EXPECT_TRUE(source->scripts.empty());
}

// A second request while a panel is shown replaces its web view and id under the same backdrop;
// the late end of the first panel's answer leaves the second alone.
TEST_F(NotificationPanelTest, ASecondRequestReplacesThePanelAndTheFirstAnswerLeavesItAlone) {
    auto source = std::make_shared<FakeJavaScriptEvaluator>();
    request(show(1, "http://127.0.0.1/", answeringPanel("'first'")), source);
    ASSERT_TRUE(panelShown());
    Gtk::Label above("something added later");
    parent->add_overlay(above);
    ASSERT_TRUE(runLoopUntil([&] { return source->pendingCount() == 1; }, 20));
    EXPECT_EQ(source->scripts[0], "wqNotificationCenter.callback(1, 'first');");
    auto first = center->targetWebView();

    request(show(2, "http://127.0.0.1/", "<p>second</p>"), source);
    ASSERT_TRUE(panelShown());
    EXPECT_NE(center->targetWebView(), first);
    EXPECT_EQ(center->notificationId(), 2);
    const auto children = parent->get_children();
    EXPECT_EQ(children.back(), &center->backdrop()) << "the backdrop is brought to the front";

    source->answerNext();
    EXPECT_TRUE(panelShown());
    EXPECT_EQ(center->notificationId(), 2);
    static_cast<Gtk::Container&>(*parent).remove(above);
}

TEST_F(NotificationPanelTest, MinSizeResizesTheWindowWithinTheWorkArea) {
    auto source = std::make_shared<FakeJavaScriptEvaluator>();
    auto sized = [](PropertyList minSize) {
        PropertyList body = show(6, "http://127.0.0.1/", "<p>sized</p>");
        body.set("minSize", std::move(minSize));
        return body;
    };
    auto size = [&] {
        int width = 0, height = 0;
        window.get_size(width, height);
        return std::pair(width, height);
    };
    request(sized(PropertyList::Array{700, 500}), source);
    ASSERT_TRUE(panelShown());
    EXPECT_TRUE(runLoopUntil([&] { return size() == std::pair(700, 500); }, 10)) << size().first << "x" << size().second;

    Gdk::Rectangle area;
    window.get_display()->get_monitor_at_window(window.get_window())->get_workarea(area);
    request(sized(PropertyList::Array{100000, 100000}), source);
    ASSERT_TRUE(panelShown());
    EXPECT_TRUE(runLoopUntil([&] { return size() == std::pair(area.get_width(), area.get_height()); }, 10))
        << size().first << "x" << size().second;
}
