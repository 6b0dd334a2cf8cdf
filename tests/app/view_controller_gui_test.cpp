// The main view controller with real WebKit against the configuration server and a page served
// over TLS on loopback: start-up and handshake, commands, navigation and downloads, failures and
// their screens, reloads, the lock screen and the share view.
#include <glib.h>
#include <gtest/gtest.h>
#include <gtkmm/main.h>
#include <gtkmm/overlay.h>
#include <gtkmm/window.h>

#include <gtkmm/button.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>

#include "ClosedPort.h"
#include "ServeProcess.h"
#include "PayloadFixture.h"
#include "WebHostFakes.h"
#include "RunLoop.h"
#include "StringExtensions.h"
#include "WQDebugController.h"
#include "WQTemporaryDirectory.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"
#include "settings/Trellik.h"
#include "system/Reachability.h"
#include "system/URLSession.h"
#include "config/DynamicDataErrorViewController.h"
#include "notifications/WQNotificationCenter.h"
#include "privacy/PrivacyViewController.h"
#include "web/LoadingViewController.h"
#include "web/ViewController.h"
#include "web/WebContext.h"
#include "WidgetLookup.h"

using namespace parlivo;
using namespace payloadfixture;
using platform::ScriptValue;
namespace fs = std::filesystem;

namespace {

struct ScriptedPanel : SavePanel {
    std::vector<Options> asked;
    std::optional<fs::path> answer;
    void run(const Options& options, std::function<void(std::optional<fs::path>)> done) override {
        asked.push_back(options);
        done(answer);
    }
};

fs::path writePayload(const std::string& name, const PropertyList& root) {
    const fs::path path = fs::path(g_get_tmp_dir()) / name;
    const Bytes bytes = seal(root);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
}

// This process's WebKit web processes (every thread lists the children it started).
std::vector<int> webProcesses() {
    std::vector<int> found;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::ifstream children(task.path() / "children");
        for (int pid; children >> pid;) {
            std::error_code error;
            const auto executable = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
            if (!error && executable.filename() == "WebKitWebProcess") found.push_back(pid);
        }
    }
    return found;
}

class ViewControllerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gtk_init_check(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
        if (g_getenv("PARLIVO_TEST_DEBUG")) tovak::WQDebugController::sharedInstance().setDebug(true);
        pageServer = new ServeProcess({"--payload", writePayload("dummy.payload", validRoot()).string(), "--static",
                                       PARLIVO_FIXTURES_DIR "/web-host"});
        ASSERT_GT(pageServer->port(), 0);
        g_log_set_handler("GLib-GObject", GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                          &countObjectCritical, nullptr);
    }
    // A GObject released once too often shows as GObject's own critical message: every test
    // counts them.
    static inline int objectCriticals = 0;
    static void countObjectCritical(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
        ++objectCriticals;
        g_log_default_handler(domain, level, message, nullptr);
    }
    static void TearDownTestSuite() {
        delete pageServer;
        pageServer = nullptr;
    }

    static std::string pageURL(const std::string& path = "/") {
        return "https://" + pageServer->host() + path;
    }
    // The configuration the tests start from: the page loaded directly, jQuery and the patch
    // prefixes asked for.
    static PropertyList configurationRoot() {
        PropertyList root = validRoot();
        root.set("CustomPageLoading", false);
        root.set("PageURL", pageURL());
        root.set("BaseURL", pageURL("/"));
        root.set("AddDraggingOverlay", true);
        root.set("InjectJsStart", PropertyList::data(
                                      "window.received = [['start', typeof wqPlatform, wqDebug, Array.isArray(wqPatchPrefixes)]];"));
        root.set("InjectJsEnd", PropertyList::data("window.received.push(['end', typeof jQuery]);"));
        root.set("CouldNotConnect", PropertyList::data("<html><body id='offline'>offline</body></html>"));
        return root;
    }

    void TearDown() override {
        if (controller) controller->close();
        controller.reset();
        platform::UserDefaults::standard().remove(std::string(keys::privacyLockdown));
        Trellik::shared().takePendingShare();
        EXPECT_EQ(objectCriticals, 0) << "a GObject was released once too often";
        objectCriticals = 0;
    }

    // Starts a controller against a configuration server for `root` (none: a server that is
    // not there).
    void start(std::optional<PropertyList> root) {
        if (root) configServer = std::make_unique<ServeProcess>(
                      std::vector<std::string>{"--payload", writePayload("config.payload", *root).string()});
        const std::string host = root ? configServer->host() : closedPort.host();
        // A controller started before goes first: it refers to its configuration to the end.
        if (controller) controller->close();
        controller.reset();
        configuration = DynamicData::create(platform::URLSession::shared(), {host, host});
        // The client may outlive the test (a retry in flight): it holds the counter, not the test.
        configuration->setLogObserver([count = downloadCount](std::string_view line) {
            if (line.starts_with("Downloading Data from")) ++*count;
        });
        ViewController::Environment environment;
        environment.configuration = configuration.get();
        environment.mockCaptureDevices = true;
        environment.crashBackoff = backoff;
        environment.savePanel = panel;
        environment.openExternalURL = [this](const std::string& url) {
            opened.push_back(url);
            return true;
        };
        environment.exitProcess = [this](int code) { exits.push_back(code); };
        environment.fetch = [](const std::string&, DownloadController::FetchCompletion done) {
            done(std::vector<std::uint8_t>{'P', 'K'});
        };
        controller = ViewController::create(environment);
        window = std::make_shared<Gtk::Window>();
        window->set_default_size(900, 600);
        window->add(controller->view());
        controller->setWindow(window);
        window->show_all();
        controller->viewDidLoad();
    }

    // Whether the web view `old` is no longer the controller's: gone, or another one in its place.
    // Compared as objects, not addresses: a new web view may be made where the old one was.
    bool replaced(const std::weak_ptr<WQWebView>& old) const {
        const auto was = old.lock();
        return !was || controller->aWkWebView() != was;
    }
    bool waitForPage() {
        return testsupport::runLoopUntil(
            [&] { return controller->aWkWebView() && !controller->loadingViewController() && pageHas("#marker"); }, 30);
    }
    bool pageHas(const std::string& selector) {
        auto found = evaluate("!!document.querySelector('" + selector + "')");
        return found && *found == ScriptValue(true);
    }
    std::optional<ScriptValue> evaluate(const std::string& script) {
        auto view = controller->aWkWebView();
        if (!view) return std::nullopt;
        std::optional<platform::JavaScriptEvaluator::Result> result;
        view->evaluateJavaScript(script, [&](const auto& r) { result = r; });
        if (!testsupport::runLoopUntil([&] { return result.has_value(); }, 20)) return std::nullopt;
        return result->value;
    }
    ScriptValue received() { return evaluate("window.received").value_or(ScriptValue()); }
    // Waits until the page has recorded a call of `name`; its arguments then.
    std::optional<ScriptValue> waitForCall(const std::string& name) {
        std::optional<ScriptValue> found;
        testsupport::runLoopUntil(
            [&] {
                const ScriptValue all = received();
                if (const auto* calls = all.asArray())
                    for (const auto& call : *calls)
                        if (call[std::size_t(0)] == ScriptValue(name)) found = call;
                return found.has_value();
            },
            20);
        return found;
    }
    std::vector<std::string> callNames() {
        std::vector<std::string> names;
        const ScriptValue all = received();
        if (const auto* calls = all.asArray())
            for (const auto& call : *calls) names.push_back(call[std::size_t(0)].stringOr());
        return names;
    }
    void post(const std::string& name, const std::string& bodyJS) { evaluate("post('" + name + "', " + bodyJS + ")"); }
    // What a request of the page for its own address ends in: the status, or the error's text.
    ScriptValue pageRequest() {
        auto view = controller->aWkWebView();
        if (!view) return {};
        std::optional<platform::JavaScriptEvaluator::Result> result;
        view->callAsyncJavaScript("return fetch(location.origin + '/?' + Math.random()).then(r => r.status, e => String(e));",
                                  [&](const auto& r) { result = r; });
        if (!testsupport::runLoopUntil([&] { return result.has_value(); }, 30)) return {};
        return result->value.value_or(ScriptValue(result->error.value_or("no value")));
    }

    static ServeProcess* pageServer;
    std::unique_ptr<ServeProcess> configServer;
    testsupport::ClosedPort closedPort;  // where the configuration is asked for when there is none
    std::shared_ptr<DynamicData> configuration;
    std::shared_ptr<ViewController> controller;
    std::shared_ptr<Gtk::Window> window;
    std::shared_ptr<ScriptedPanel> panel = std::make_shared<ScriptedPanel>();
    // Short delays, and a window no slow machine outlasts: the number of ends decides.
    CrashBackoff::Settings backoff{std::chrono::milliseconds(20), 3, std::chrono::hours(1)};
    std::vector<std::string> opened;
    std::vector<int> exits;
    std::shared_ptr<std::atomic<int>> downloadCount = std::make_shared<std::atomic<int>>(0);
    const std::atomic<int>& downloads = *downloadCount;
};

ServeProcess* ViewControllerTest::pageServer = nullptr;

}  // namespace

TEST_F(ViewControllerTest, StartBuildsTheWebViewLoadsThePageAndAnswersItsStartUp) {
    start(configurationRoot());
    ASSERT_TRUE(controller->loadingViewController());
    ASSERT_TRUE(waitForPage());
    auto view = controller->aWkWebView();
    EXPECT_EQ(view->scriptMessageHandlerNames(),
              (std::vector<std::string>{"incomingMessageHandler", "logHandler", "eventHandler", "audioHandler",
                                        "ffmpegHandler", "localWebStore", "WQAlertHandler", "WQNotificationHandler",
                                        "WQWebMediaHandler", "WQPatchJSHandler", "audioRecordHandler",
                                        "WQTouchBarHandler"}));
    EXPECT_EQ(view->customUserAgent(), "TestAgent/1.0");
    EXPECT_EQ(Trellik::shared().webViewDelegate().get(), static_cast<TrellikWebViewDelegate*>(controller.get()));
    EXPECT_TRUE(controller->aDropView());
    // The document-start script first (with the platform, debug flag and patch prefixes), the
    // page's own, then jQuery before the document-end script.
    auto calls = received();
    ASSERT_GE(calls.size(), 2u);
    const bool debug = tovak::WQDebugController::sharedInstance().debug();
    EXPECT_EQ(calls[std::size_t(0)], ScriptValue(ScriptValue::Array{"start", "object", debug, true}));
    EXPECT_EQ(calls[std::size_t(1)], ScriptValue(ScriptValue::Array{"end", "function"}));

    post("eventHandler", "'didInit'");
    EXPECT_TRUE(waitForCall("didFinishNativeInit"));
    platform::UserDefaults::standard().setInteger(std::string(keys::kFontSize), 15);
    platform::UserDefaults::standard().setInteger(std::string(keys::kVisualStyle), 2);
    post("eventHandler", "'willStartup'");
    ASSERT_TRUE(waitForCall("wqSetStyle"));
    EXPECT_EQ(controller->appliedAppearance(), "NSAppearanceNameVibrantDark");
    EXPECT_FALSE(controller->webDidStartUp());
    post("eventHandler", "'didStartup'");
    ASSERT_TRUE(waitForCall("wqGetChatListWidth"));
    EXPECT_TRUE(controller->webDidStartUp());
    EXPECT_EQ(controller->sendingEnabled(), true);
    auto names = callNames();
    const std::vector<std::string> expected{"start", "end", "didFinishNativeInit", "wqModifyWallpaper", "wqSetZoom",
                                            "wqSetStyle", "wqSetDoNotDisturb", "wqEnableSending", "wqGetChatListWidth"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(*waitForCall("wqSetZoom"), ScriptValue(ScriptValue::Array{"wqSetZoom", 15}));
    EXPECT_EQ(*waitForCall("wqSetStyle"), ScriptValue(ScriptValue::Array{"wqSetStyle", "Dark"}));
}

TEST_F(ViewControllerTest, CommandsAndActionsReachTheirEnds) {
    start(configurationRoot());
    ASSERT_TRUE(waitForPage());
    controller->sendMenuCommand(NativeAction::newGroup);
    controller->sendMenuCommand(NativeAction::camera);  // the media controller's, no page call
    controller->stopAudioRecording(true);
    UserNotification reply;
    reply.identifier = "chat\"1";
    reply.activationType = UserNotification::ActivationType::replied;
    reply.response = "line one\nline \"two\"";
    controller->openChatOrReply(reply);
    ASSERT_TRUE(waitForCall("wqSendMessageToChatWithTag"));
    EXPECT_EQ(*waitForCall("wqSendMessageToChatWithTag"),
              ScriptValue(ScriptValue::Array{"wqSendMessageToChatWithTag", *reply.response, "chat\"1"}));
    EXPECT_TRUE(waitForCall("wqOpenNewGroup"));
    EXPECT_EQ(*waitForCall("wqStopAudioRecording"), ScriptValue(ScriptValue::Array{"wqStopAudioRecording", true}));

    post("eventHandler", "{action: 'openURL', url: 'https://example.org/help'}");
    post("eventHandler", "{action: 'openURL', url: 'file:///etc/passwd'}");
    post("eventHandler", "{action: 'openURLInApp', url: 'https://elsewhere.example.org/'}");
    post("eventHandler", "{action: 'exit', code: 4}");
    // A conversion that fails is answered, the page's id arriving intact.
    post("ffmpegHandler", "{src: 'data:a;base64,aGk=', id: 'f\"1\\n', parameters: [], inDataType: 'ogg', outDataType: 'mp3'}");
    auto converted = waitForCall("wqFFmpegCallback");
    ASSERT_TRUE(converted);
    EXPECT_EQ(*converted, ScriptValue(ScriptValue::Array{"wqFFmpegCallback", "f\"1\n", false}));
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !exits.empty(); }));
    EXPECT_EQ(exits, std::vector<int>{4});
    EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/help", "https://elsewhere.example.org/"}));

    // The configured page's own origin stays in the web view.
    post("eventHandler", "{action: 'openURLInApp', url: '" + pageURL("/?again") + "'}");
    ASSERT_TRUE(testsupport::runLoopUntil([&] {
        auto href = evaluate("location.search");
        return href && *href == ScriptValue("?again") && pageHas("#marker");
    }));

    // The context menu's Reload of the web view starts a new cycle of the page: a new web view.
    const std::weak_ptr<WQWebView> before = controller->aWkWebView();
    controller->aWkWebView()->handleMenuItemClick(WQWebView::kWQMenuItemIdentifierReload);
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return controller->aWkWebView() && replaced(before); }, 30));
}

TEST_F(ViewControllerTest, NavigationsAreDecidedAndOnlyRealFailuresShowTheErrorPage) {
    start(configurationRoot());
    ASSERT_TRUE(waitForPage());
    // A file link in the same frame: the place is asked, the navigation cancelled, the page stays.
    fs::path target = fs::path(g_get_tmp_dir()) / "saved.zip";
    panel->answer = target;
    evaluate("location.href = '" + pageURL("/files/archive.zip") + "'");
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return fs::exists(target); }));
    ASSERT_EQ(panel->asked.size(), 1u);
    EXPECT_EQ(panel->asked[0].extension, "zip");
    EXPECT_TRUE(pageHas("#marker"));
    EXPECT_FALSE(controller->aError());

    // A blob is handed to the page by its scheme, never opened; its URL arrives intact.
    const std::string blob = "blob:" + pageURL("/\"quoted'");
    evaluate("location.href = " + tovak::javascriptStringLiteral(blob));
    auto blobCall = waitForCall("wqDownloadBlob");
    ASSERT_TRUE(blobCall);
    EXPECT_EQ((*blobCall)[std::size_t(1)].stringOr(), blob);
    EXPECT_TRUE(pageHas("#marker"));

    // New windows: only web and mail addresses reach the browser.
    platform::NavigationAction action;
    action.targetsNewWindow = true;
    action.url = "https://example.org/doc.zip";
    controller->decidePolicyForNavigationAction(*controller->aWkWebView(), action);
    action.url = "file:///etc/passwd";
    controller->decidePolicyForNavigationAction(*controller->aWkWebView(), action);
    controller->createWebViewRequested(*controller->aWkWebView(), action);
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.org/doc.zip"});

    // A real failure (nothing listens there): the configured error page and the error kept for
    // the support mail.
    const testsupport::ClosedPort closed;
    evaluate("location.href = 'https://" + closed.host() + "/'");
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return pageHas("#offline"); }, 20));
    ASSERT_TRUE(controller->aError());
    EXPECT_FALSE(platform::isLoadCancellation(*controller->aError()));
}

TEST_F(ViewControllerTest, CustomLoadingTakesOnlyASuccessfulAnswer) {
    PropertyList root = configurationRoot();
    root.set("CustomPageLoading", true);
    // The fetched page is patched under its own name before it is shown; other names' patches
    // leave it alone.
    root.set("Patches", PropertyList(TextPatch::archiveList(
                            {TextPatch::make("1", "WQCustomIndex", "web host test page", "patched page"),
                             TextPatch::make("2", "app.js", "marker", "gone")})));
    start(root);
    ASSERT_TRUE(waitForPage());
    EXPECT_EQ(evaluate("document.querySelector('#marker').textContent"), ScriptValue("patched page"));
    EXPECT_EQ(evaluate("document.baseURI"), ScriptValue(pageURL("/")));
    EXPECT_FALSE(controller->aError());
    controller->close();

    root.set("PageURL", pageURL("/no-such-page.html"));
    start(root);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return controller->aWkWebView() && pageHas("#offline"); }, 30));
    ASSERT_TRUE(controller->aError());
    EXPECT_EQ(controller->aError()->domain, "HTTP Status Error");
}

TEST_F(ViewControllerTest, AFailedConfigurationShowsTheErrorScreenUntilANewCycleStarts) {
    start(std::nullopt);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return controller->errorViewController() != nullptr; }, 30));
    EXPECT_EQ(downloads, 3);
    EXPECT_FALSE(controller->loadingViewController());
    EXPECT_FALSE(controller->aWkWebView());
    EXPECT_TRUE(controller->errorViewController()->view().get_parent());
    // A style chosen meanwhile reaches the windows, with no page to tell.
    Trellik::shared().setVisualStyle(VisualStyle::dark);
    EXPECT_EQ(controller->appliedAppearance(), "NSAppearanceNameVibrantDark");
    Trellik::shared().setVisualStyle(VisualStyle::light);
    EXPECT_EQ(controller->appliedAppearance(), "NSAppearanceNameVibrantLight");

    // A reload starts over: the old screen goes at once, the loading screen comes.
    controller->reloadWebApp();
    EXPECT_FALSE(controller->errorViewController());
    EXPECT_TRUE(controller->loadingViewController());
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return controller->errorViewController() != nullptr; }, 30));
    EXPECT_EQ(downloads, 6);

    // The network coming back retries once by itself, then the watch ends.
    ASSERT_TRUE(controller->reachability());
    g_signal_emit_by_name(g_network_monitor_get_default(), "network-changed", TRUE);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return downloads == 7; }, 30));
    EXPECT_FALSE(controller->errorViewController());
    EXPECT_FALSE(controller->reachability());
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return controller->errorViewController() != nullptr; }, 30));
    EXPECT_EQ(downloads, 9);
    g_signal_emit_by_name(g_network_monitor_get_default(), "network-changed", TRUE);
    controller->retryConfiguration();  // the button, the only way back now
    EXPECT_EQ(downloads, 10);
}

TEST_F(ViewControllerTest, AFailedPageLoadComesBackByTryAgainAndOncePerReportThatTheNetworkIsBack) {
    // The default configuration's own error page, and a page address where nothing listens.
    PropertyList root = configurationRoot();
    root.set("PageURL", "https://127.0.0.1:" + std::to_string(closedPort.port()) + "/");
    std::ifstream page(PARLIVO_SOURCE_DIR "/tools/config/default/could-not-connect.html");
    root.set("CouldNotConnect", PropertyList::data(std::string(std::istreambuf_iterator<char>(page), {})));
    start(root);
    auto showsErrorPage = [&] { return controller->aWkWebView() && pageHas("#try-again:not([hidden])"); };
    ASSERT_TRUE(testsupport::runLoopUntil(showsErrorPage, 30));
    ASSERT_TRUE(controller->pageRetryReachability());
    // Counted from what the server saw: a download the transport lost is tried again inside
    // the same cycle, so a cycle is "at least one more".
    int before = downloads;
    ASSERT_GE(before, 1);

    // The page's button starts a new cycle: a new configuration and a new page, which fails again.
    evaluate("document.getElementById('try-again').click(), 1");
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return downloads > before; }, 30));
    ASSERT_TRUE(testsupport::runLoopUntil(showsErrorPage, 30));

    // Each report that the network is there retries once; one that it is gone, and none at all,
    // retry nothing.
    before = downloads;
    GNetworkMonitor* monitor = g_network_monitor_get_default();
    g_signal_emit_by_name(monitor, "network-changed", TRUE);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return downloads > before; }, 30));
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return showsErrorPage() && controller->pageRetryReachability(); }, 30));
    before = downloads;
    g_signal_emit_by_name(monitor, "network-changed", FALSE);
    testsupport::drainMainQueue();
    EXPECT_EQ(downloads, before);
    EXPECT_TRUE(pageHas("#try-again"));
}

TEST_F(ViewControllerTest, TheLockClosesTheMicrophoneQuestionAndRefusesThePage) {
    platform::UserDefaults::standard().remove("pageMicrophoneAllowed");
    start(configurationRoot());
    ASSERT_TRUE(waitForPage());
    evaluate("navigator.mediaDevices.getUserMedia({audio: true}).then(function () { window.media = 'granted'; }, "
             "function (e) { window.media = e.name; }), 1");
    // The page asks only once it has the focus (WebKit's rule): the window is shown and active.
    window->present();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return controller->mediaPermissionDialog() != nullptr; }, 30));
    Trellik::shared().setPrivacyLockdown(true);
    EXPECT_FALSE(controller->mediaPermissionDialog());
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return evaluate("window.media") == ScriptValue("NotAllowedError"); }, 20));
    // Nothing was kept: the next time the user is asked again.
    EXPECT_FALSE(platform::UserDefaults::standard().object("pageMicrophoneAllowed"));
}

TEST_F(ViewControllerTest, TheLockScreenCoversThePageUntilTheLockIsReleased) {
    platform::UserDefaults::standard().setBool(std::string(keys::privacyLockdown), true);
    start(configurationRoot());
    ASSERT_TRUE(controller->privacyViewController());
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return controller->aWkWebView() != nullptr; }, 30));
    auto view = controller->aWkWebView();
    EXPECT_FALSE(view->widget().get_parent());  // made, but not attached behind the lock
    EXPECT_TRUE(controller->webContainer().get_visible());

    Trellik::shared().setPrivacyLockdown(false);
    EXPECT_FALSE(controller->privacyViewController());
    EXPECT_EQ(view->widget().get_parent(), &controller->webContainer());
    EXPECT_FALSE(view->ignoreKeyInput);
    ASSERT_TRUE(waitForPage());
    Trellik::shared().setPrivacyLockdown(true);
    EXPECT_TRUE(controller->privacyViewController());
    EXPECT_TRUE(view->ignoreKeyInput);
    EXPECT_FALSE(controller->webContainer().get_visible());
    auto lock = waitForCall("wqLockDown");
    ASSERT_TRUE(lock);
    EXPECT_EQ(*lock, ScriptValue(ScriptValue::Array{"wqLockDown", "true"}));

    // A reload while locked: the new page, behind the lock, is told the lock state once it has
    // started up (the lock's own call went to the old page).
    controller->reloadWebApp();
    ASSERT_TRUE(testsupport::runLoopUntil(
        [&] { return controller->aWkWebView() && controller->aWkWebView() != view && pageHas("#marker"); }, 30));
    EXPECT_FALSE(controller->aWkWebView()->widget().get_parent());
    post("eventHandler", "'didStartup'");
    lock = waitForCall("wqLockDown");
    ASSERT_TRUE(lock);
    EXPECT_EQ(*lock, ScriptValue(ScriptValue::Array{"wqLockDown", "true"}));
    Trellik::shared().setPrivacyLockdown(false);
}

TEST_F(ViewControllerTest, AShareWaitsForThePageAndGoesToTheChosenChat) {
    start(configurationRoot());
    ASSERT_TRUE(waitForPage());
    auto folder = std::make_shared<tovak::WQTemporaryDirectory>();
    controller->showShareView(folder, std::nullopt, std::string("shared \"text\""));
    ASSERT_TRUE(controller->shareToWebViewController());
    EXPECT_FALSE(controller->shareToWebViewController()->view().get_parent());  // the page has not started
    post("eventHandler", "'didStartup'");
    ASSERT_TRUE(testsupport::runLoopUntil([&] {
        auto share = controller->shareToWebViewController();
        return share && share->view().get_parent() == &controller->webContainer();
    }));
    auto share = controller->shareToWebViewController();
    // Right of the page's chat list (240 wide), over the rest of the container's width.
    ASSERT_TRUE(share->frame());
    EXPECT_DOUBLE_EQ(share->frame()->x, 240);
    EXPECT_DOUBLE_EQ(share->frame()->width, controller->webContainer().get_allocated_width() - 240);
    share->sendClicked();
    auto sent = waitForCall("wqSendMessageToChatWithTag");
    ASSERT_TRUE(sent);
    EXPECT_EQ(*sent, ScriptValue(ScriptValue::Array{"wqSendMessageToChatWithTag", "shared \"text\"", ScriptValue(), true}));
    EXPECT_FALSE(controller->shareToWebViewController());
}

// A share that came while there was no page waits in the settings model; the new web view's
// controller takes it and shows it, folder and all.
TEST_F(ViewControllerTest, AShareThatCameBeforeThePageIsShownWithTheNewWebView) {
    auto& trellik = Trellik::shared();
    ASSERT_FALSE(trellik.webViewDelegate());
    auto folder = std::make_shared<tovak::WQTemporaryDirectory>();
    const fs::path folderPath = folder->url();
    trellik.share(std::move(folder), std::nullopt, std::string("waiting text"));
    ASSERT_TRUE(trellik.pendingShare());
    start(configurationRoot());
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return controller->aWkWebView() != nullptr; }, 30));
    EXPECT_TRUE(controller->shareToWebViewController());
    EXPECT_FALSE(trellik.pendingShare());
    EXPECT_TRUE(fs::exists(folderPath));  // the share view holds it now
}

// A newer share replaces the one on screen: the old one slides away and its end does not let go
// of the newer one; the newer one's files reach the page's drop function, and its folder lives
// until they have been read.
TEST_F(ViewControllerTest, ANewerShareIsKeptAndItsFilesReachTheChat) {
    start(configurationRoot());
    ASSERT_TRUE(waitForPage());
    post("eventHandler", "'didStartup'");
    auto firstFolder = std::make_shared<tovak::WQTemporaryDirectory>();
    std::ofstream(firstFolder->url() / "old.txt") << "old";
    controller->showShareView(firstFolder, std::vector<std::filesystem::path>{firstFolder->url() / "old.txt"}, std::nullopt);
    auto first = controller->shareToWebViewController();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return first->view().get_parent() != nullptr; }));

    auto folder = std::make_shared<tovak::WQTemporaryDirectory>();
    const auto file = folder->url() / "shared file.txt";
    std::ofstream(file) << "shared bytes";
    const std::filesystem::path folderPath = folder->url();
    controller->showShareView(std::move(folder), std::vector<std::filesystem::path>{file}, std::nullopt);
    auto second = controller->shareToWebViewController();
    ASSERT_NE(second, first);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return first->view().get_parent() == nullptr; }, 20));
    EXPECT_EQ(controller->shareToWebViewController(), second) << "the old share's end let go of the newer one";
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return second->view().get_parent() != nullptr; }));
    // The old one's buttons answer no more.
    first->sendClicked();
    EXPECT_EQ(controller->shareToWebViewController(), second);

    second->sendClicked();
    EXPECT_FALSE(controller->shareToWebViewController());
    second.reset();
    auto dropped = waitForCall("wqDropFileURLs");
    ASSERT_TRUE(dropped);
    EXPECT_EQ((*dropped)[std::size_t(1)], ScriptValue(ScriptValue::Array{"data:text/plain;base64,c2hhcmVkIGJ5dGVz"}));
    EXPECT_EQ((*dropped)[std::size_t(2)], ScriptValue(ScriptValue::Array{"shared file.txt"}));
    const auto names = callNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "wqDropFileURLs"), 1) << "the replaced share was sent";
    // The share's folder goes once the files have been read and the panel is gone.
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return !std::filesystem::exists(folderPath); }, 20));
    // The replaced share's controller goes too, its panel with it.
    std::weak_ptr<ShareToWebViewController> replaced = first;
    first.reset();
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return replaced.expired(); }, 20));
}

// The drop view on the real clipboard: a copied file goes to the chat; with sending off the
// paste is left to the focused widget.
TEST_F(ViewControllerTest, APastedFileReachesTheChatOnlyWhileSendingIsOn) {
    start(configurationRoot());
    ASSERT_TRUE(waitForPage());
    post("eventHandler", "'didStartup'");
    auto dropView = controller->aDropView();
    ASSERT_TRUE(dropView);
    tovak::WQTemporaryDirectory folder;
    const auto file = folder.url() / "copied.txt";
    std::ofstream(file) << "copied";
    gchar* uri = g_filename_to_uri(file.c_str(), nullptr, nullptr);
    static std::string list;
    list = std::string(uri) + "\r\n";
    g_free(uri);
    GtkTargetEntry entry{const_cast<gchar*>("text/uri-list"), 0, 0};
    ASSERT_TRUE(gtk_clipboard_set_with_data(
        gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), &entry, 1,
        [](GtkClipboard*, GtkSelectionData* data, guint, gpointer) {
            gtk_selection_data_set(data, gdk_atom_intern_static_string("text/uri-list"), 8,
                                   reinterpret_cast<const guchar*>(list.data()), gint(list.size()));
        },
        [](GtkClipboard*, gpointer) {}, nullptr));

    controller->setSendingEnabled(false);
    std::optional<bool> handled;
    dropView->paste([&](bool result) { handled = result; });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return handled.has_value(); }));
    EXPECT_FALSE(*handled);

    controller->setSendingEnabled(true);
    handled.reset();
    dropView->paste([&](bool result) { handled = result; });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return handled.has_value(); }));
    EXPECT_TRUE(*handled);
    auto dropped = waitForCall("wqDropFileURLs");
    ASSERT_TRUE(dropped);
    EXPECT_EQ((*dropped)[std::size_t(2)], ScriptValue(ScriptValue::Array{"copied.txt"}));
    const auto names = callNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "wqDropFileURLs"), 1);
}

TEST_F(ViewControllerTest, AKilledWebProcessAndALogOutBuildTheWebClientAgain) {
    start(configurationRoot());
    ASSERT_TRUE(waitForPage());
    std::weak_ptr<WQWebView> first = controller->aWkWebView();
    controller->aWkWebView()->terminateWebProcess();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return replaced(first); }, 30));
    ASSERT_TRUE(waitForPage());
    EXPECT_EQ(downloads, 2);

    evaluate("localStorage.setItem('session', 'kept')");
    std::weak_ptr<WQWebView> second = controller->aWkWebView();
    controller->handleLogOut();
    ASSERT_TRUE(testsupport::runLoopUntil(
        [&] { return controller->aWkWebView() && replaced(second); }, 30));
    ASSERT_TRUE(waitForPage());
    EXPECT_EQ(downloads, 3);
    EXPECT_EQ(evaluate("localStorage.getItem('session')"), ScriptValue());
}

// The page's HTML panel covers it (no tooltips) until the page goes: a dead web process takes
// the panel with it. The log-out reports its end only once the website data is gone.
TEST_F(ViewControllerTest, TheNotificationPanelGoesWithThePageAndTheLogOutReportsItsEnd) {
    start(configurationRoot());
    ASSERT_TRUE(waitForPage());
    controller->viewDidAppear();  // the window was shown before the controller could hear it
    auto& panels = *controller->notificationCenter();
    post("WQNotificationHandler", "{id: 3, url: location.origin + '/', html: '<p>panel</p>'}");
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return panels.isDisplayingNotification(); }));
    EXPECT_TRUE(controller->overlayCovers(1, 1));
    controller->aWkWebView()->terminateWebProcess();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !panels.isDisplayingNotification(); }));
    EXPECT_FALSE(controller->overlayCovers(1, 1));
    ASSERT_TRUE(waitForPage());

    evaluate("localStorage.setItem('session', 'kept')");
    std::optional<bool> completed;
    controller->handleLogOut([&](bool done) {
        completed = done;
        EXPECT_FALSE(controller->aWkWebView()) << "the logged-out page is gone; the next one is not built yet";
    });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return completed.has_value(); }, 30));
    EXPECT_TRUE(*completed);
    ASSERT_TRUE(waitForPage());
    EXPECT_EQ(evaluate("localStorage.getItem('session')"), ScriptValue());
}

// A web process that ends again and again (a broken driver, a kill at every start) is not started
// at full speed forever: three reloads, then the connection-error screen, whose Try Again starts
// over. The program lives through all of it.
TEST_F(ViewControllerTest, AWebProcessThatKeepsEndingBacksOffToTheErrorScreenUntilTryAgain) {
    start(configurationRoot());
    ASSERT_TRUE(waitForPage());
    for (int reload = 1; reload <= 3; ++reload) {
        SCOPED_TRACE(reload);
        std::weak_ptr<WQWebView> ended = controller->aWkWebView();
        // Killed from outside (a crash) as well as ended by WebKit: both come back the same way.
        if (reload == 2) {
            controller->aWkWebView()->terminateWebProcess();
        } else {
            const auto processes = webProcesses();
            ASSERT_FALSE(processes.empty());
            for (int pid : processes) kill(pid, SIGKILL);
        }
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return replaced(ended); }, 30));
        ASSERT_TRUE(waitForPage());
        EXPECT_EQ(downloads, 1 + reload);
        EXPECT_FALSE(controller->errorViewController());
    }
    controller->aWkWebView()->terminateWebProcess();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return controller->errorViewController() != nullptr; }, 30));
    EXPECT_FALSE(controller->aWkWebView());
    EXPECT_FALSE(controller->loadingViewController());
    EXPECT_TRUE(controller->errorViewController()->view().get_parent());
    // No reload is waiting any more: past every timer the delays could have set, nothing was fetched.
    testsupport::runLoopPastTimer(1);
    EXPECT_EQ(downloads, 4);
    EXPECT_FALSE(controller->aWkWebView());

    auto* tryAgain = testsupport::findWidget<Gtk::Button>(controller->errorViewController()->view(), "tryAgainButton");
    ASSERT_TRUE(tryAgain);
    tryAgain->clicked();
    EXPECT_FALSE(controller->errorViewController());
    ASSERT_TRUE(waitForPage());
    EXPECT_EQ(downloads, 5);
    // The ends before Try Again count no more: the next one reloads again.
    std::weak_ptr<WQWebView> ended = controller->aWkWebView();
    controller->aWkWebView()->terminateWebProcess();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return replaced(ended); }, 30));
    ASSERT_TRUE(waitForPage());
    EXPECT_EQ(downloads, 6);
}

// A reload of the user's while the back-off waits is the only one: the waiting one is dropped.
TEST_F(ViewControllerTest, AReloadDuringTheBackOffReplacesTheWaitingOne) {
    backoff.firstDelay = std::chrono::milliseconds(300);
    start(configurationRoot());
    ASSERT_TRUE(waitForPage());
    controller->aWkWebView()->terminateWebProcess();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !controller->aWkWebView(); }, 30));
    EXPECT_TRUE(controller->loadingViewController()) << "the dead page is not left on screen";
    controller->reloadWebApp();
    ASSERT_TRUE(waitForPage());
    testsupport::runLoopPastTimer(1);
    EXPECT_EQ(downloads, 2);
}

// WebKit starts a new network process after one was killed, but forgets what it was told (the
// development server's certificate here): the page comes back and its requests work again.
TEST_F(ViewControllerTest, AKilledNetworkProcessBringsThePageBackWithWorkingRequests) {
    start(configurationRoot());
    ASSERT_TRUE(waitForPage());
    EXPECT_EQ(pageRequest(), ScriptValue(200));
    const int network = platform::WebContext::findNetworkProcess();
    ASSERT_GT(network, 0);
    ASSERT_EQ(platform::WebContext::shared().watchedNetworkProcess(), network);
    std::weak_ptr<WQWebView> before = controller->aWkWebView();
    ASSERT_EQ(kill(network, SIGKILL), 0);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return replaced(before); }, 30));
    ASSERT_TRUE(waitForPage());
    EXPECT_EQ(downloads, 2);
    EXPECT_EQ(pageRequest(), ScriptValue(200));
    // The new process is watched in its turn.
    const int next = platform::WebContext::findNetworkProcess();
    EXPECT_NE(next, network);
    EXPECT_EQ(platform::WebContext::shared().watchedNetworkProcess(), next);
}
