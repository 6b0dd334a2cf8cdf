#include "web/ViewController.h"

#include <gdk/gdk.h>
#include <gtkmm/clipboard.h>
#include <gtkmm/eventbox.h>
#include <gtkmm/messagedialog.h>
#include <gtkmm/overlay.h>
#include <gtkmm/window.h>

#include <cstdio>
#include <cstdlib>

#include "DebugPrint.h"
#include "StringExtensions.h"
#include "ViewExtensions.h"
#include "WQApplicationInfo.h"
#include "WQBase64DataConverter.h"
#include "WQDebugController.h"
#include "WQDirectory.h"
#include "WQFileType.h"
#include "WQLaunchAtLoginManager.h"
#include "config/DynamicDataErrorViewController.h"
#include "config/WQDiagnosis.h"
#include "config/WQSendMail.h"
#include "foundation/Bundle.h"
#include "foundation/FileManager.h"
#include "foundation/Log.h"
#include "foundation/WorkQueue.h"
#include "foundation/MainQueue.h"
#include "foundation/NotificationCenter.h"
#include "foundation/URL.h"
#include "foundation/ProcessInfo.h"
#include "foundation/UserDefaults.h"
#include "media/FFmpegWrapper.h"
#include "media/WQAudioRecorder.h"
#include "media/WQDropView.h"
#include "media/WQWebMediaController.h"
#include "notifications/WQNotificationCenter.h"
#include "notifications/WQWindowNotification.h"
#include "privacy/PrivacyViewController.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "settings/PrivacyGate.h"
#include "settings/Trellik.h"
#include "shell/AppDelegate.h"
#include "shell/WQWebContainerView.h"
#include "system/Crypto.h"
#include "system/Reachability.h"
#include "system/URLSession.h"
#include "system/VendorServices.h"
#include "system/Workspace.h"
#include "ui/Appearance.h"
#include "web/FileChooserSavePanel.h"
#include "web/LoadingViewController.h"
#include "web/MediaPermissionDialog.h"
#include "web/NavigationPolicy.h"
#include "web/NotificationReplies.h"
#include "web/PageScripts.h"
#include "web/WQAlertCenter.h"
#include "web/WQLocalWebStore.h"
#include "web/WQPatchJSHandler.h"
#include "web/WebContext.h"

namespace parlivo {

namespace {

void debugLog(std::string_view message) { tovak::debugPrint(ViewController::kClassName, message); }

// The shared alert centre lives for the whole run; the web view names handlers through owners.
class ForwardingHandler : public platform::ScriptMessageHandler {
public:
    explicit ForwardingHandler(platform::ScriptMessageHandler& target) : target_(target) {}
    void didReceiveScriptMessage(const platform::ScriptMessage& message) override {
        target_.didReceiveScriptMessage(message);
    }
    platform::ScriptMessageShape messageShape(std::string_view name) const override {
        return target_.messageShape(name);
    }

private:
    platform::ScriptMessageHandler& target_;
};

// The save panel names the page's file: behind the privacy lock it waits for the release (or,
// when too much waits, the save ends as cancelled).
class PrivacyGatedSavePanel : public SavePanel {
public:
    explicit PrivacyGatedSavePanel(std::shared_ptr<SavePanel> panel) : panel_(std::move(panel)) {}
    void run(const Options& options, std::function<void(std::optional<std::filesystem::path>)> done) override {
        auto answer = std::make_shared<std::function<void(std::optional<std::filesystem::path>)>>(std::move(done));
        PrivacyGate::shared().showWhenUnlocked([panel = panel_, options, answer] { panel->run(options, *answer); },
                                               [answer] { (*answer)(std::nullopt); });
    }

private:
    std::shared_ptr<SavePanel> panel_;
};

// Scripts and pages are ours to run, but a bundle file is still read with a bound.
constexpr std::uintmax_t kMaximumBundleScriptBytes = 4u << 20;

}  // namespace

// --- Construction ---

std::shared_ptr<ViewController> ViewController::create() { return create(Environment{}); }

std::shared_ptr<ViewController> ViewController::create(Environment environment) {
    // The page's website data lives in the application's own folders; set before any web view.
    static const bool configured = platform::WebContext::configure(
        {tovak::WQDirectory::appDirectory() / "WebsiteData",
         platform::FileManager::cachesDirectory() / tovak::WQApplicationInfo::bundleIdentifier() / "WebKit"});
    (void)configured;
    auto controller = std::shared_ptr<ViewController>(new ViewController(std::move(environment)));
    controller->setUp();
    return controller;
}

ViewController::ViewController(Environment environment)
    : environment_(std::move(environment)),
      mainView_(std::make_unique<Gtk::Overlay>()),
      backgroundEffectView_(std::make_unique<Gtk::Overlay>()),
      background_(std::make_unique<Gtk::EventBox>()),
      webContainer_(std::make_shared<Gtk::Overlay>()),
      audioRecorder_(WQAudioRecorder::create()),
      localWebStore_(std::make_shared<WQLocalWebStore>()),
      alertCenter_(std::make_shared<ForwardingHandler>(WQAlertCenter::shared())),
      notificationCenter_(std::make_shared<WQNotificationCenter>()),
      webMediaController_(WQWebMediaController::create()),
      patchJSHandler_(std::make_shared<WQPatchJSHandler>()),
      crashBackoff_(environment_.crashBackoff) {}

void ViewController::setUp() {
    mainView_->set_hexpand(true);
    mainView_->set_vexpand(true);
    // The background: the window's own colour, behind the loading screen and the page.
    background_->get_style_context()->add_class("background");
    background_->set_visible_window(true);
    backgroundEffectView_->add(*background_);
    mainView_->add(*backgroundEffectView_);
    mainView_->add_overlay(*webContainer_);
    mainView_->show_all();

    dispatcher_ = std::make_shared<PageMessageDispatcher>(weak_from_this());
    replies_ = NotificationReplies::create(
        {[](const std::string& text) { Gtk::Clipboard::get()->set_text(text); },
         [] {
             if (auto window = Trellik::shared().windowDelegate()) window->showWindow();
         },
         [](const std::shared_ptr<WQWindowNotification>& note) { WQWindowNotificationController::shared().addNotification(note); },
         [] { return platform::UserDefaults::standard().boolForKey(std::string(keys::privacyLockdown)); }});
    std::weak_ptr<ViewController> weak = weak_from_this();
    auto savePanel = environment_.savePanel ? environment_.savePanel : std::make_shared<FileChooserSavePanel>(window_);
    environment_.savePanel = savePanel;
    downloads_ = DownloadController::create(
        std::make_shared<PrivacyGatedSavePanel>(savePanel),
        [weak](const std::string& message) {
            if (auto self = weak.lock()) self->reportFailureToUser(message);
        },
        environment_.fetch);

    // Only a width change needs a new chat-list width from the page.
    connections_.push_back(mainView_->signal_size_allocate().connect([weak](Gtk::Allocation& allocation) {
        auto self = weak.lock();
        if (!self || allocation.get_width() == self->lastLayoutWidth_) return;
        self->lastLayoutWidth_ = allocation.get_width();
        self->viewDidLayout();
    }));
}

ViewController::~ViewController() { close(); }

Gtk::Widget& ViewController::view() { return *mainView_; }

void ViewController::setWindow(std::weak_ptr<Gtk::Window> window) {
    window_ = std::move(window);
    if (auto panel = std::dynamic_pointer_cast<FileChooserSavePanel>(environment_.savePanel))
        *panel = FileChooserSavePanel(window_);
}

void ViewController::setWebContainerView(std::shared_ptr<WQWebContainerView> containerView) {
    webContainerView_ = std::move(containerView);
}

DynamicData& ViewController::configuration() {
    return environment_.configuration ? *environment_.configuration : DynamicData::shared();
}

void ViewController::close() {
    for (auto& connection : connections_) connection.disconnect();
    connections_.clear();
    observers_.clear();
    if (reachability_) reachability_->stopNotifier();
    reachability_.reset();
    ++pageLoadGeneration_;
    ++crashReloadToken_;
    tearDownWebView();
    auto& config = configuration();
    if (config.delegate.get() == static_cast<DynamicDataDelegate*>(this)) config.delegate.reset();
    auto& trellik = Trellik::shared();
    if (trellik.webViewDelegate().get() == static_cast<TrellikWebViewDelegate*>(this)) trellik.setWebViewDelegate(nullptr);
    shareToWebViewController_.reset();
    privacyViewController_.reset();
    loadingViewController_.reset();
    removeErrorScreen();
}

// --- Start sequence ---

void ViewController::viewDidLoad() {
    if (loaded_) return;
    loaded_ = true;
    configuration().delegate = shared_from_this();
    tearDownWebView();
    showLoadingView(true);
    sendingEnabled_.reset();
    replaceReachability();
    configuration().startDownload();

    std::weak_ptr<ViewController> weak = weak_from_this();
    observers_.push_back(platform::NotificationCenter::defaultCenter().addObserver(names::privacyChanged, [weak](const auto&) {
        if (auto self = weak.lock()) self->privacyChanged();
    }));
    if (auto window = window_.lock()) {
        connections_.push_back(window->property_is_active().signal_changed().connect([weak] {
            if (auto self = weak.lock()) self->windowStatusDidChange();
        }));
        connections_.push_back(window->signal_map().connect([weak] {
            if (auto self = weak.lock()) self->viewDidAppear();
        }));
        followPointerForStealthMode(*window);
    }
    // A style chosen while there is no web view yet (the error screen) still reaches the windows.
    observers_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
        names::visualizationStyleChanged, [weak](const auto&) {
            if (auto self = weak.lock()) self->applyWindowAppearance();
        }));
    observers_.push_back(platform::Appearance::addSystemAppearanceObserver([weak] {
        if (auto self = weak.lock()) self->applyAppearance();
    }));

    if (platform::UserDefaults::standard().boolForKey(std::string(keys::privacyLockdown))) lockDown();
    webMediaController_->parentViewController = weak_from_this();
    // The windows take the chosen style at once, before the page is there.
    applyWindowAppearance();
}

void ViewController::viewDidAppear() {
    WQAlertCenter::shared().setWindow(window_);
    notificationCenter_->setParentView(webContainer_);
}

void ViewController::replaceReachability() {
    if (reachability_) reachability_->stopNotifier();
    reachability_ = newReachability();
    if (reachability_ && !reachability_->startNotifier()) debugLog("Unable to start notifier");
}

void ViewController::reloadWebApp() {
    // A reload scheduled after a process ended is this one, or this one makes it needless.
    ++crashReloadToken_;
    tearDownWebView();
    // A new cycle starts: an error screen of the last one has nothing left to say.
    removeErrorScreen();
    showLoadingView(true);
    sendingEnabled_.reset();
    replaceReachability();
    // The custom page fetch of the old cycle, if still running, is dropped when it answers.
    ++pageLoadGeneration_;
    configuration().startDownload();
}

void ViewController::handleConfigurationResult(bool success) {
    if (success) {
        if (reachability_) reachability_->stopNotifier();
        reachability_.reset();
        removeErrorScreen();
        createWebView();
        loadPage();
        return;
    }
    std::weak_ptr<ViewController> weak = weak_from_this();
    showConnectionErrorScreen([weak] {
        if (auto self = weak.lock()) self->retryConfiguration();
    });
    whenNetworkReturns(&ViewController::reachability_, "Reachability Updated -> Retrying...",
                       &ViewController::retryConfiguration);
}

void ViewController::showConnectionErrorScreen(std::function<void()> tryAgain) {
    showLoadingView(false);
    removeErrorScreen();
    auto screen = DynamicDataErrorViewController::create();
    screen->setTryAgainAction(std::move(tryAgain));
    errorViewController_ = screen;
    screen->updateErrorTexts();
    Gtk::Widget& errorView = screen->view();
    errorView.set_halign(Gtk::ALIGN_FILL);
    errorView.set_valign(Gtk::ALIGN_FILL);
    mainView_->add_overlay(errorView);
    errorView.show();
    // The lock screen stays on top.
    if (privacyViewController_) mainView_->reorder_overlay(privacyViewController_->view(), -1);
}

void ViewController::retryConfiguration() {
    configuration().startDownload();
    removeErrorScreen();
    showLoadingView(true);
    if (reachability_) reachability_->stopNotifier();
    reachability_.reset();
}

void ViewController::removeErrorScreen() {
    if (!errorViewController_) return;
    Gtk::Widget& errorView = errorViewController_->view();
    if (auto* parent = errorView.get_parent()) parent->remove(errorView);
    errorViewController_.reset();
}

std::string ViewController::documentStartSource() {
    auto& config = configuration();
    const auto patches = config.patches().value_or(std::vector<TextPatch>{});
    const std::string prefixes = WQPatchJSHandler::makePatchPrefixesScript(patches);
    debugLog("Patch JS: " + prefixes);
    return "var wqPlatform = " + WQDiagnosis::shared().systemInfoJSON() + "; " + " var wqDebug = " +
           tovak::jsString(tovak::WQDebugController::sharedInstance().debug()) + "; " + prefixes +
           config.injectionScriptStart().value_or("");
}

void ViewController::createWebView() {
    auto& config = configuration();
    using platform::UserScript;
    platform::WebView::Configuration webConfiguration;
    const std::string startSource = documentStartSource();
    // The page's own voice messages and video calls; who may use them is asked per request.
    webConfiguration.mediaCapture = true;
    // WebKit's stand-in microphone and camera, for tests: only a bundle made for them says so.
    webConfiguration.mockCaptureDevices =
        environment_.mockCaptureDevices ||
        platform::Bundle::main().infoDictionary()["ParlivoMockCaptureDevices"].asBool().value_or(false);
    webConfiguration.userScripts.push_back(
        {pagescripts::subFrameMediaGuard(), UserScript::InjectionTime::atDocumentStart, false});
    if (config.injectJQuery().value_or(false)) {
        const auto path = platform::Bundle::main().pathForResource("jQuery", "js");
        const auto source = path ? platform::FileManager::contentsAtPath(*path, kMaximumBundleScriptBytes) : std::nullopt;
        if (source) {
            webConfiguration.userScripts.push_back({*source, UserScript::InjectionTime::atDocumentEnd, false});
            debugLog("Injecting JQuery");
        } else {
            platform::systemLog("The configuration asks for jQuery, but the bundle has no readable jQuery.js",
                                platform::LogLevel::warning);
        }
    }
    webConfiguration.userScripts.push_back({startSource, UserScript::InjectionTime::atDocumentStart, false});
    webConfiguration.userScripts.push_back(
        {config.injectionScriptEnd().value_or(""), UserScript::InjectionTime::atDocumentEnd, false});

    auto& handlers = webConfiguration.scriptMessageHandlers;
    for (auto name : {PageMessageDispatcher::incomingMessageHandler, PageMessageDispatcher::logHandler,
                      PageMessageDispatcher::eventHandler, PageMessageDispatcher::audioHandler,
                      PageMessageDispatcher::ffmpegHandler})
        handlers.emplace_back(std::string(name), dispatcher_);
    handlers.emplace_back(std::string(WQLocalWebStore::messageName), localWebStore_);
    handlers.emplace_back(std::string(WQAlertCenter::messageName), alertCenter_);
    handlers.emplace_back(std::string(WQNotificationCenter::messageName), notificationCenter_);
    handlers.emplace_back(std::string(WQWebMediaController::messageName), webMediaController_);
    patchJSHandler_->setPatches(config.patches());
    handlers.emplace_back(std::string(WQPatchJSHandler::messageName), patchJSHandler_);
    handlers.emplace_back(std::string(WQAudioRecorder::messageName), audioRecorder_);

    if (shareToWebViewController_) cancelShare();
    refuseWaitingPermissionRequests("a new page replaces the one that asked");
    // At most one web view: the old one goes before the new one is made.
    if (aWkWebView_) {
        aWkWebView_->removeAllUserContent();
        removeWebViewWidget();
        aWkWebView_.reset();
    }
    // A development build trusts its own loopback server's certificate for 127.0.0.1 and nothing
    // else. Told again for every page: a network process that WebKit started anew after the last
    // one ended knows nothing of it.
    static const auto certificate = platform::Bundle::main().infoString("ParlivoConfigurationServerCertificate");
    if (certificate && !certificate->empty())
        platform::WebContext::shared().allowTLSCertificateForHost(*certificate, "127.0.0.1");

    aWkWebView_ = WQWebView::create(std::move(webConfiguration));
    webDidStartUp_ = false;
    aWkWebView_->setDrawsBackground(false);
    aWkWebView_->setNavigationDelegate(weak_from_this());
    aWkWebView_->overlayDelegate = weak_from_this();
    aWkWebView_->setAllowsBackForwardNavigationGestures(false);
    commands_.setWebView(aWkWebView_);
    setWebViewHidden(false);
    if (auto agent = config.userAgent()) aWkWebView_->setCustomUserAgent(*agent);
    auto& trellik = Trellik::shared();
    trellik.setWebViewDelegate(shared_from_this());
    if (const auto& pending = trellik.pendingShare())
        trellik.share(pending->tempDirectory, pending->fileUrls, pending->text);
    if (config.draggingOverlay().value_or(false)) {
        setUpDropView();
        debugLog("Enable Dragging");
    } else {
        debugLog("No enabling Dragging");
    }
    audioRecorder_->setWebView(aWkWebView_);
    if (aDropView_) {
        aDropView_->fallbackDelegate = aWkWebView_;
        aWkWebView_->dropView = aDropView_;
    }
    webMediaController_->webView = aWkWebView_;
    updateContentObscuring();
}

double ViewController::pageLoadTimeout() { return 10.0 * platform::ProcessInfo::testTimeScale(); }

void ViewController::loadPage() {
    auto& config = configuration();
    const auto pageURL = config.pageURL();
    if (!config.customPageLoading().value_or(false)) {
        debugLog("DEFAULT LOADING");
        if (aWkWebView_ && pageURL) aWkWebView_->loadURL(*pageURL, pageLoadTimeout());
        return;
    }
    if (!pageURL) return;
    platform::URLRequest request;
    request.url = *pageURL;
    request.timeoutSeconds = pageLoadTimeout();
    if (auto agent = config.userAgent()) request.headers.emplace_back("User-Agent", *agent);
    const std::uint64_t generation = ++pageLoadGeneration_;
    std::weak_ptr<ViewController> weak = weak_from_this();
    platform::URLSession::shared().dataTask(
        std::move(request), [weak, generation](std::optional<std::vector<std::uint8_t>> data,
                                               std::optional<platform::URLResponse> response,
                                               std::optional<platform::Error> error) {
            platform::MainQueue::async([weak, generation, data = std::move(data), response, error]() mutable {
                auto self = weak.lock();
                // A reload or a newer load replaced this one: its answer is no longer wanted.
                if (!self || generation != self->pageLoadGeneration_) return;
                if (error) {
                    debugLog("Error Loading: " + error->description());
                    self->aError_ = *error;
                    self->showErrorPage();
                    return;
                }
                if (!data) {
                    self->failPageLoad("No Data Received", "No Data Error");
                    return;
                }
                // An error status is a failed load, whatever its body says.
                if (!response || response->statusCode < 200 || response->statusCode > 299) {
                    self->failPageLoad("HTTP status " + std::to_string(response ? response->statusCode : 0),
                                       "HTTP Status Error");
                    return;
                }
                if (!isUTF8Text(*data)) {
                    self->failPageLoad("Data Invalid", "Data Invalid Error");
                    return;
                }
                self->aError_.reset();
                debugLog("Successfully loaded page");
                self->loadCustomPage(std::string(data->begin(), data->end()));
            });
        });
}

void ViewController::loadCustomPage(const std::string& text) {
    auto& config = configuration();
    patchJSHandler_->setPatches(config.patches());
    const std::string patched = patchJSHandler_->applyPatches(WQPatchJSHandler::customIndexName, text);
    debugLog("CUSTOM LOADING");
    if (aWkWebView_) aWkWebView_->loadHTML(patched, config.baseURL().value_or(""));
}

void ViewController::failPageLoad(const std::string& message, const std::string& domain) {
    debugLog(message);
    aError_ = platform::Error{domain, 123, message};
    showErrorPage();
}

void ViewController::showErrorPage() {
    if (!aWkWebView_) return;
    const auto page = configuration().couldNotConnect();
    if (!page) return;
    // The bundle's folder as base, so the page may use the bundle's files by relative paths.
    gchar* base = g_filename_to_uri((platform::Bundle::main().resourcePath().string() + "/").c_str(), nullptr, nullptr);
    aWkWebView_->loadHTML(*page, base ? base : "");
    g_free(base);
    watchNetworkForPageRetry();
}

void ViewController::removeWebViewWidget() {
    if (!aWkWebView_) return;
    Gtk::Widget& widget = aWkWebView_->widget();
    if (auto* parent = widget.get_parent()) parent->remove(widget);
}

void ViewController::tearDownWebView() {
    notificationCenter_->removeNotificationPanel();
    refuseWaitingPermissionRequests("the page went away");
    stopWatchingNetworkForPageRetry();
    if (aWkWebView_) {
        aWkWebView_->removeAllUserContent();
        removeWebViewWidget();
        aWkWebView_->stopLoading();
    }
    aWkWebView_.reset();
    commands_.setWebView({});
}

// --- Layering ---

void ViewController::showLoadingView(bool show) {
    if (loadingViewController_) {
        Gtk::Widget& view = loadingViewController_->view();
        if (auto* parent = view.get_parent()) parent->remove(view);
        loadingViewController_.reset();
    }
    if (!show) return;
    loadingViewController_ = LoadingViewController::create();
    Gtk::Widget& view = loadingViewController_->view();
    view.set_halign(Gtk::ALIGN_FILL);
    view.set_valign(Gtk::ALIGN_FILL);
    backgroundEffectView_->add_overlay(view);
    view.show();
}

void ViewController::removeLoadingView() {
    debugLog("Remove loading view!");
    showLoadingView(false);
}

void ViewController::setUpDropView() {
    if (aDropView_) {
        Gtk::Widget& old = aDropView_->view();
        if (auto* parent = old.get_parent()) parent->remove(old);
        aDropView_.reset();
    }
    aDropView_ = WQDropView::create();
    Gtk::Widget& view = aDropView_->view();
    view.set_halign(Gtk::ALIGN_FILL);
    view.set_valign(Gtk::ALIGN_FILL);
    webContainer_->add_overlay(view);
    // Clicks and keys go through to the page; drops reach the overlay through the web view.
    webContainer_->set_overlay_pass_through(view, true);
    aDropView_->fallbackDelegate = aWkWebView_;
    if (aWkWebView_) aWkWebView_->dropView = aDropView_;
    aDropView_->delegate = webMediaController_;
    if (sendingEnabled_) aDropView_->sendingEnabled = *sendingEnabled_;
    if (auto delegate = AppDelegate::current()) delegate->setPasteDelegate(aDropView_);
}

void ViewController::setWebViewHidden(bool hidden) {
    webContainer_->set_visible(!hidden);
    if (!aWkWebView_) return;
    if (hidden) {
        aWkWebView_->ignoreKeyInput = true;
        tovak::debugPrint(WQWebView::kClassName, "Set ignoring key input: true");
        return;
    }
    if (privacyViewController_) {
        debugLog("Found Privacy View Controller -> Not unhiding WebView");
        return;
    }
    aWkWebView_->ignoreKeyInput = false;
    tovak::debugPrint(WQWebView::kClassName, "Set ignoring key input: false");
    Gtk::Widget& widget = aWkWebView_->widget();
    if (widget.get_parent() != webContainer_.get()) {
        if (auto* parent = widget.get_parent()) parent->remove(widget);
        if (webContainer_->get_child()) webContainer_->remove();
        webContainer_->add(widget);
    }
    widget.set_hexpand(true);
    widget.set_vexpand(true);
    widget.show();
    debugLog("Added WebView to Window");
}

std::shared_ptr<Gtk::Window> ViewController::mediaWindow() { return window_.lock(); }

void ViewController::addCameraView(Gtk::Widget& view) {
    view.set_halign(Gtk::ALIGN_FILL);
    view.set_valign(Gtk::ALIGN_FILL);
    mainView_->add_overlay(view);
    view.show();
    // The lock screen stays on top.
    if (privacyViewController_) mainView_->reorder_overlay(privacyViewController_->view(), -1);
}

void ViewController::removeCameraView(Gtk::Widget& view) {
    if (view.get_parent() == mainView_.get()) static_cast<Gtk::Container&>(*mainView_).remove(view);
}

void ViewController::focusWebContainer() {
    if (privacyViewController_ || !aWkWebView_ || !window_.lock()) return;
    aWkWebView_->widget().grab_focus();
}

void ViewController::lockDown() {
    // Nothing of the page's asks over the lock screen.
    refuseWaitingPermissionRequests("the privacy lock is on");
    setWebViewHidden(true);
    commands_.lockDown(true);
    if (privacyViewController_) {
        Gtk::Widget& old = privacyViewController_->view();
        if (auto* parent = old.get_parent()) parent->remove(old);
    }
    privacyViewController_ = PrivacyViewController::create();
    Gtk::Widget& view = privacyViewController_->view();
    view.set_halign(Gtk::ALIGN_FILL);
    view.set_valign(Gtk::ALIGN_FILL);
    mainView_->add_overlay(view);
    view.show();
}

void ViewController::privacyChanged() {
    if (platform::UserDefaults::standard().boolForKey(std::string(keys::privacyLockdown))) {
        lockDown();
        return;
    }
    debugLog("Unlocking!");
    if (privacyViewController_) {
        Gtk::Widget& view = privacyViewController_->view();
        if (auto* parent = view.get_parent()) parent->remove(view);
    }
    privacyViewController_.reset();
    setWebViewHidden(false);
    commands_.lockDown(false);
    // Replies kept behind the lock screen are told now that the user can see the window.
    replies_->unlocked();
}

void ViewController::showShareView(std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory,
                                   std::optional<std::vector<std::filesystem::path>> fileUrls,
                                   std::optional<std::string> text) {
    cancelShare();
    shareToWebViewController_ = ShareToWebViewController::create(std::move(tempDirectory), std::move(fileUrls), std::move(text));
    shareToWebViewController_->delegate = weak_from_this();
    updateChatListWidth();
}

void ViewController::presentShareView(const std::optional<platform::ScriptValue>& chatListWidth) {
    if (!shareToWebViewController_) return;
    Gtk::Widget& view = shareToWebViewController_->view();
    view.hide();
    if (view.get_parent() != webContainer_.get()) {
        if (auto* parent = view.get_parent()) parent->remove(view);
        webContainer_->add_overlay(view);
    } else {
        webContainer_->reorder_overlay(view, -1);
    }
    shareToWebViewController_->applyChatListWidth(chatListWidth, std::numeric_limits<std::uint64_t>::max());
    shareToWebViewController_->moveIn(0.5, tovak::AnimationDirection::bottom);
}

void ViewController::cancelShare() {
    if (auto share = std::move(shareToWebViewController_)) {
        tovak::debugPrint(ShareToWebViewController::kClassName, "Cancel share!");
        share->endInteraction();
        share->moveOut(share->animationDuration, tovak::AnimationDirection::bottom, [share] { share->removeShareView(); });
    }
    shareToWebViewController_.reset();
}

void ViewController::sendMessageToChat(const std::optional<std::vector<std::filesystem::path>>& fileUrls,
                                       const std::optional<std::string>& text,
                                       std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory) {
    if (text) {
        commands_.sendSharedText(*text);
    } else if (fileUrls) {
        // The share's folder holds the files: it stays until the conversion has read them.
        std::vector<std::shared_ptr<void>> owners;
        if (tempDirectory) owners.push_back(std::move(tempDirectory));
        webMediaController_->processFileURLs(*fileUrls, std::move(owners));
    }
    shareToWebViewController_.reset();
}

void ViewController::shareViewDidFinish(ShareToWebViewController& controller) {
    // The late report of a share that a newer one replaced leaves the newer one alone.
    if (shareToWebViewController_.get() == &controller) shareToWebViewController_.reset();
}

void ViewController::shareViewDidSend(ShareToWebViewController& controller,
                                      const std::shared_ptr<tovak::WQTemporaryDirectory>& tempDirectory,
                                      const std::optional<std::vector<std::filesystem::path>>& fileUrls,
                                      const std::optional<std::string>& text) {
    // Only the share on screen is sent; a replaced one sliding away is not (and must not drop
    // the newer one).
    if (shareToWebViewController_.get() != &controller) return;
    sendMessageToChat(fileUrls, text, tempDirectory);
}

bool ViewController::overlayCovers(double x, double y) {
    if (shareToWebViewController_ && aWkWebView_ &&
        shareToWebViewController_->covers(aWkWebView_->widget(), x, y))
        return true;
    return notificationCenter_->isDisplayingNotification();
}

void ViewController::refocusLockScreen() {
    auto lockScreen = privacyViewController_;
    if (!lockScreen) return;
    tovak::debugPrint(PrivacyViewController::kClassName, "WINDOW MOVED TO FRONT!");
    lockScreen->showTouchID();
    platform::MainQueue::after(0.2, [lockScreen] { lockScreen->focusPasswordField(); });
}

void ViewController::openSettings() {
    if (auto delegate = AppDelegate::current()) delegate->showPreferencesWindow();
}

void ViewController::viewDidLayout() {
    auto share = shareToWebViewController_;
    if (!share) return;
    share->updateLayout();
    const std::uint64_t counter = share->layoutCounter;
    std::weak_ptr<ShareToWebViewController> weakShare = share;
    commands_.getChatListWidth([weakShare, counter](const platform::JavaScriptEvaluator::Result& result) {
        if (auto share = weakShare.lock()) share->applyChatListWidth(result.value, counter);
    });
}

// --- Commands ---

void ViewController::windowStatusDidChange() {
    if (!aWkWebView_) return;
    setSendingEnabled(configuration().enableSend().value_or(false));
    auto window = window_.lock();
    if (!window) return;
    commands_.windowStatusDidChange(window->is_active());
}

void ViewController::handleLogOut() { handleLogOut(std::function<void(bool)>{}); }

void ViewController::handleLogOut(std::function<void(bool completed)> completion) {
    std::weak_ptr<ViewController> weak = weak_from_this();
    auto done = std::make_shared<std::function<void(bool)>>(std::move(completion));
    const bool sent = commands_.handleLogOut([weak, done](const platform::JavaScriptEvaluator::Result&) {
        if (auto self = weak.lock()) {
            self->handleLogOutStepTwo(std::move(*done));
        } else if (*done) {
            (*done)(false);
        }
    });
    if (!sent) handleLogOutStepTwo(std::move(*done));
}

void ViewController::handleLogOutStepTwo(std::function<void(bool completed)> completion) {
    notificationCenter_->removeNotificationPanel();
    if (aWkWebView_) {
        aWkWebView_->removeAllUserContent();
        removeWebViewWidget();
    }
    aWkWebView_.reset();
    commands_.setWebView({});
    platform::WebContext::shared().removeAllWebsiteData([completion = std::move(completion)](bool succeeded) {
        if (succeeded) {
            debugLog("Deleted cookies!");
        } else {
            platform::systemLog("The website data could not be removed", platform::LogLevel::warning);
        }
        if (auto delegate = Trellik::shared().webViewDelegate()) delegate->reloadWebApp();
        if (completion) completion(succeeded);
    });
}

void ViewController::openChatOrReply(const UserNotification& notification) {
    if (notification.activationType == UserNotification::ActivationType::replied) {
        // The page says whether the reply went into the notification's chat; when not, it is
        // kept for the user.
        replies_->send(notification, commands_);
        return;
    }
    std::weak_ptr<ViewController> weak = weak_from_this();
    commands_.openChatOrReply(notification, [weak] {
        if (auto self = weak.lock()) self->refocusLockScreen();
    });
}

void ViewController::keepReply(const UserNotification& reply) { replies_->keep(reply); }

void ViewController::updateWallpaper() { commands_.updateWallpaper(); }

void ViewController::applyAppearance() {
    commands_.applyAppearance();
    applyWindowAppearance();
}

void ViewController::applyWindowAppearance() {
    const auto style = fromRaw<VisualStyle>(platform::UserDefaults::standard().integerForKey(std::string(keys::kVisualStyle)))
                           .value_or(VisualStyle::automatic);
    appliedAppearance_ = std::string(appearance(style));
    // The windows follow the style too: GTK's dark or light variant of the theme.
    platform::Appearance::apply(appliedAppearance_);
    WQAlertCenter::shared().setAppearance(appliedAppearance_);
}

void ViewController::updateDoNotDisturb() { commands_.updateDoNotDisturb(); }

void ViewController::startAudioRecording() { commands_.startAudioRecording(); }

void ViewController::stopAudioRecording(bool send) { commands_.stopAudioRecording(send); }

void ViewController::sendMenuCommand(NativeAction action) {
    if (commands_.sendMenuCommand(action)) return;
    using Kind = WQWebMediaControllerMediaType;
    switch (action) {
    case NativeAction::camera: webMediaController_->showCamera({Kind::photo, Kind::video}); break;
    case NativeAction::image: webMediaController_->showOpenPanel(std::nullopt, {Kind::photo}, {}, true); break;
    case NativeAction::video: webMediaController_->showOpenPanel(std::nullopt, {Kind::video}, {}, true); break;
    default: break;
    }
}

void ViewController::updateStealthMode() {
    commands_.updateStealthMode(Trellik::shared().privacyStealthModeActive());
    updateContentObscuring();
}

void ViewController::setSendingEnabled(bool enabled) {
    sendingEnabled_ = enabled;
    commands_.enableSending(enabled);
    if (webContainerView_) {
        webContainerView_->setSendingEnabled(enabled);
        webContainerView_->setTouchBar(nullptr);
    }
    if (aDropView_) aDropView_->sendingEnabled = enabled;
}

void ViewController::updateChatListWidth() {
    if (!webDidStartUp_ || !aWkWebView_) return;
    std::weak_ptr<ViewController> weak = weak_from_this();
    commands_.getChatListWidth([weak](const platform::JavaScriptEvaluator::Result& result) {
        if (auto self = weak.lock()) self->presentShareView(result.value);
    });
}

void ViewController::showLaunchAtLoginReminder() {
    if (auto reminder = WebClientCommands::launchAtLoginReminder(tovak::WQLaunchAtLoginManager::shared()))
        WQWindowNotificationController::shared().addNotification(reminder);
}

// --- Page bridge ---

void ViewController::showDesktopNotification(const IncomingMessage& message) {
    Trellik::shared().showDesktopNotification(message);
}

void ViewController::contactWithError() {
    WQSendMail mail;
    mail.composeErrorMail(std::string(constants::supportAddress), "", true, std::nullopt, aError_);
    mail.send();
}

void ViewController::pageDidInit(const std::shared_ptr<platform::JavaScriptEvaluator>& webView) {
    std::weak_ptr<platform::JavaScriptEvaluator> weakView = webView;
    localWebStore_->updateStore(webView, [weakView] {
        if (auto view = weakView.lock()) view->evaluateJavaScript(pagescripts::didFinishNativeInit());
    });
}

void ViewController::pageWillStartup() {
    updateWallpaper();
    applyAppearance();
}

void ViewController::pageDidStartup() {
    webDidStartUp_ = true;
    updateDoNotDisturb();
    setSendingEnabled(configuration().enableSend().value_or(false));
    showLaunchAtLoginReminder();
    updateChatListWidth();
    // A page made while the lock is on (at a locked start, after a reload) missed the lock's
    // own call: it learns the state now that it can act on it.
    if (privacyViewController_) commands_.lockDown(true);
}

void ViewController::reloadRequested() { Trellik::shared().reloadWebApp(); }

void ViewController::logoutRequested() { Trellik::shared().handleLogOut(); }

void ViewController::toggleDoNotDisturb() {
    const bool on = platform::UserDefaults::standard().boolForKey(std::string(keys::doNotDisturbEnabled));
    Trellik::shared().setDoNotDisturbEnabled(!on);
}

void ViewController::removeNotifications() { Trellik::shared().clearDeliveredNotifications(); }

void ViewController::closeNotification(const std::string& identifier) { Trellik::shared().withdrawNotification(identifier); }

void ViewController::checkForUpdates() { platform::VendorServices::shared().checkForUpdates(); }

void ViewController::saveDownload(std::string dataURL, const std::string& mimeType,
                                  const std::optional<std::string>& fileName) {
    downloads_->saveDataURL(std::move(dataURL), mimeType, fileName);
}

void ViewController::openExternalURL(const std::string& url) {
    if (environment_.openExternalURL) {
        environment_.openExternalURL(url);
        return;
    }
    std::string error;
    if (!platform::Workspace::openURL(url, &error))
        platform::systemLog("Could not open " + url + ": " + error, platform::LogLevel::warning);
}

void ViewController::loadURLInWebView(const std::string& url) {
    if (aWkWebView_) aWkWebView_->loadURL(url);
}

std::optional<std::string> ViewController::configuredPageURL() { return configuration().pageURL(); }

void ViewController::sendMail(const std::string& address, const std::string& subject, const std::string& message) {
    WQSendMail mail;
    mail.composeSupportMail(address, subject, false, message);
    mail.send();
}

void ViewController::exitProcess(int code) {
    if (environment_.exitProcess) {
        environment_.exitProcess(code);
        return;
    }
    // The page ends the process at once; what the settings hold is written first.
    if (!platform::UserDefaults::standard().synchronize())
        platform::systemLog("Settings could not be written before exiting", platform::LogLevel::error);
    std::fflush(nullptr);
    std::exit(code);
}

void ViewController::convertAudio(const std::string& id, const std::string& url,
                                  std::weak_ptr<platform::JavaScriptEvaluator> webView) {
    FFmpegWrapper::create()->downloadAndConvertAudio(url, [id, webView](std::optional<FFmpegWrapper::Bytes> data) {
        if (!data) {
            debugLog("Did not receive converted M4A data");
            return;
        }
        auto page = webView.lock();
        if (!page) return;
        const std::string mime = tovak::WQFileType::MIMETypeFromFileExtension("m4a");
        page->evaluateJavaScript(pagescripts::changeAudioToURL(mime, platform::Crypto::base64(*data), id));
    });
}

void ViewController::runFFmpeg(const std::string& id, std::string source, const std::string& inDataType,
                               const std::string& outDataType, platform::ScriptValue::Array parameters,
                               std::weak_ptr<platform::JavaScriptEvaluator> webView) {
    // The page's file is decoded on a worker; the wrapper queues the run from there.
    platform::WorkQueue::global().async([wrapper = FFmpegWrapper::create(), id, source = std::move(source), inDataType,
                                         outDataType, parameters = std::move(parameters), webView]() mutable {
        auto input = tovak::WQBase64DataConverter().base64ToData(source);
        if (!input) {
            platform::systemLog("Refused an ffmpeg request whose input is no Base64", platform::LogLevel::info);
            return;
        }
        wrapper->runFFmpeg(std::move(*input), inDataType, outDataType, std::move(parameters),
                           [id, outDataType, webView](std::optional<FFmpegWrapper::Bytes> output) {
                               auto page = webView.lock();
                               if (!page) return;
                               std::optional<std::string> base64;
                               if (output) base64 = platform::Crypto::base64(*output);
                               page->evaluateJavaScript(pagescripts::ffmpegCallback(id, base64, outDataType));
                           });
    });
}

// --- Navigation ---

platform::NavigationActionPolicy ViewController::decidePolicyForNavigationAction(platform::WebView&,
                                                                                 const platform::NavigationAction& action) {
    using platform::NavigationActionPolicy;
    if (!action.url) return NavigationActionPolicy::allow;
    debugLog("NEW Navigation: " + *action.url);
    const auto outcome = navigation::decide(action.url, action.targetsNewWindow);
    if (!outcome.logLine.empty()) debugLog(outcome.logLine);
    const std::string url = *action.url;
    std::weak_ptr<ViewController> weak = weak_from_this();
    switch (outcome.decision) {
    case navigation::Decision::allow: return NavigationActionPolicy::allow;
    case navigation::Decision::downloadBlob:
        platform::MainQueue::async([weak, url] {
            if (auto self = weak.lock()) self->downloadBlob(url);
        });
        break;
    case navigation::Decision::openInBrowser: openExternalURL(url); break;
    case navigation::Decision::downloadFile: downloads_->downloadFile(url); break;
    case navigation::Decision::cancel: break;
    }
    return NavigationActionPolicy::cancel;
}

void ViewController::downloadBlob(const std::string& url) { commands_.downloadBlob(url); }

void ViewController::didFailProvisionalNavigation(platform::WebView&, const platform::Error& error) {
    handleNavigationFailure("Provisional Navigation Failed with Error: ", error);
}

void ViewController::didFailNavigation(platform::WebView&, const platform::Error& error) {
    handleNavigationFailure("Navigation Failed with Error: ", error);
}

void ViewController::handleNavigationFailure(std::string_view prefix, const platform::Error& error) {
    debugLog(std::string(prefix) + error.description());
    // A cancelled load (a newer load, our own policy turning it into a download) is no failure of
    // the page: the error page would replace a working page.
    if (navigation::isIgnorableLoadFailure(error)) return;
    aError_ = error;
    showErrorPage();
}

// Once a load has its first answer, WebKit's network process runs.
void ViewController::didCommitNavigation(platform::WebView&) { watchNetworkProcess(); }

void ViewController::didFinishNavigation(platform::WebView&) {
    removeLoadingView();
    watchNetworkProcess();
}

void ViewController::watchNetworkProcess() {
    auto& context = platform::WebContext::shared();
    std::weak_ptr<ViewController> weak = weak_from_this();
    context.setNetworkProcessEndedHandler([weak] {
        auto self = weak.lock();
        // Without a page nothing is left in a broken state; the next page gets a new process.
        if (!self || !self->aWkWebView_) return;
        debugLog("The network process was killed");
        self->recoverFromProcessEnd("network");
    });
    const int watched = context.watchedNetworkProcess();
    if (context.watchNetworkProcess() && context.watchedNetworkProcess() != watched)
        debugLog("Watching the network process " + std::to_string(context.watchedNetworkProcess()));
}

void ViewController::createWebViewRequested(platform::WebView&, const platform::NavigationAction& action) {
    debugLog("Requesting new WebView!");
    if (action.url && navigation::isOpenableExternally(*action.url)) openExternalURL(*action.url);
}

void ViewController::webContentProcessDidTerminate(platform::WebView&) {
    debugLog("WKWebView was killed");
    // A panel the page opened has no page left to answer.
    notificationCenter_->removeNotificationPanel();
    std::weak_ptr<ViewController> weak = weak_from_this();
    platform::MainQueue::async([weak] {
        if (auto self = weak.lock()) self->recoverFromProcessEnd("web");
    });
}

void ViewController::recoverFromProcessEnd(std::string_view process) {
    const auto decision = crashBackoff_.processEnded(CrashBackoff::Clock::now());
    const std::uint64_t token = ++crashReloadToken_;
    // The dead page shows nothing any more: the loading screen or the error screen stands in.
    tearDownWebView();
    if (!decision.reload) {
        platform::systemLog("The " + std::string(process) + " process ended " + std::to_string(decision.endsInWindow) +
                                " times in a short time: the page is not loaded again until Try Again",
                            platform::LogLevel::warning);
        std::weak_ptr<ViewController> weak = weak_from_this();
        showConnectionErrorScreen([weak] {
            auto self = weak.lock();
            if (!self) return;
            self->crashBackoff_.reset();
            self->reloadWebApp();
        });
        return;
    }
    debugLog("The " + std::string(process) + " process ended: reloading in " + std::to_string(decision.delay.count()) +
             " ms");
    removeErrorScreen();
    showLoadingView(true);
    std::weak_ptr<ViewController> weak = weak_from_this();
    platform::MainQueue::after(std::chrono::duration<double>(decision.delay).count(), [weak, token] {
        auto self = weak.lock();
        // A reload meanwhile (the user's, a log-out) or the close made this one needless.
        if (!self || token != self->crashReloadToken_) return;
        if (auto delegate = Trellik::shared().webViewDelegate()) delegate->reloadWebApp();
    });
}

void ViewController::reportFailureToUser(const std::string& message) {
    // The message may name the page's file: behind the privacy lock it waits for the release.
    std::weak_ptr<ViewController> weak = weak_from_this();
    PrivacyGate::shared().showWhenUnlocked([weak, message] {
        if (auto self = weak.lock()) self->showFailureDialog(message);
    });
}

bool ViewController::webViewMayShowScriptDialog(platform::WebView&) { return !PrivacyGate::isLocked(); }

void ViewController::showFailureDialog(const std::string& message) {
    auto window = window_.lock();
    auto* dialog = new Gtk::MessageDialog(message, false, Gtk::MESSAGE_WARNING, Gtk::BUTTONS_OK);
    if (window) dialog->set_transient_for(*window);
    dialog->signal_response().connect([dialog](int) { platform::MainQueue::async([dialog] { delete dialog; }); });
    dialog->show();
}

// --- The page's permission requests ---

namespace {

void logPermission(const platform::PermissionRequest& request, const std::string& outcome) {
    debugLog("Permission " + std::string(platform::permissionKindName(request.kind())) + " for " + request.pageURL() +
             ": " + outcome);
}

void denyPermission(platform::PermissionRequest& request, std::string_view reason) {
    logPermission(request, "denied (" + std::string(reason) + ")");
    request.deny();
}

}  // namespace

std::string ViewController::pageOrigin() {
    auto& config = configuration();
    const auto address = config.customPageLoading().value_or(false) ? config.baseURL() : config.pageURL();
    const auto url = address ? platform::URL::parse(*address) : std::nullopt;
    return url ? url->origin() : std::string();
}

void ViewController::decidePermission(platform::WebView& webView, platform::PermissionRequest request) {
    if (&webView != aWkWebView_.get()) return denyPermission(request, "not the current page");
    answerPermissionRequest(std::move(request));
}

void ViewController::answerPermissionRequest(platform::PermissionRequest request) {
    pagepermissions::Circumstances circumstances;
    circumstances.kind = request.kind();
    circumstances.documentURL = request.pageURL();
    circumstances.pageOrigin = pageOrigin();
    circumstances.locked = privacyViewController_ != nullptr ||
                           platform::UserDefaults::standard().boolForKey(std::string(keys::privacyLockdown));
    const auto decision = pagepermissions::decide(circumstances, platform::UserDefaults::standard());
    using Answer = pagepermissions::Decision::Answer;
    const std::string answer = decision.answer == Answer::allow ? "allowed" : decision.answer == Answer::deny ? "denied" : "asking";
    logPermission(request, answer + " (" + decision.reason + ")");
    switch (decision.answer) {
    case Answer::allow: request.allow(); break;
    case Answer::deny: request.deny(); break;
    case Answer::ask:
        waitingPermissionRequests_.push_back(std::move(request));
        askForMediaPermission(decision.ask);
        break;
    }
}

void ViewController::askForMediaPermission(const std::vector<pagepermissions::MediaKind>& kinds) {
    // One question at a time; requests that come meanwhile are decided again after its answer.
    if (mediaPermissionDialog_) return;
    auto window = window_.lock();
    const auto page = platform::URL::parse(pageOrigin());
    std::string site = page ? page->host() : std::string("the page");
    if (page && page->port()) site += ":" + std::to_string(*page->port());
    std::weak_ptr<ViewController> weak = weak_from_this();
    mediaPermissionDialog_ = std::make_unique<MediaPermissionDialog>(
        window.get(), kinds, site, [weak, kinds](std::optional<bool> agreed) {
            if (auto self = weak.lock()) self->mediaPermissionAnswered(kinds, agreed);
        });
}

void ViewController::mediaPermissionAnswered(std::vector<pagepermissions::MediaKind> kinds, std::optional<bool> agreed) {
    mediaPermissionDialog_.reset();
    if (agreed) {
        for (auto kind : kinds) platform::UserDefaults::standard().setBool(std::string(pagepermissions::settingKey(kind)), *agreed);
        debugLog(std::string("The user ") + (*agreed ? "agreed" : "refused"));
    } else {
        debugLog("The user closed the question without an answer");
    }
    auto waiting = std::move(waitingPermissionRequests_);
    waitingPermissionRequests_.clear();
    for (auto& request : waiting) {
        // Closed without an answer: nothing is kept, and the page is refused this time.
        if (!agreed) {
            denyPermission(request, "no answer");
            continue;
        }
        answerPermissionRequest(std::move(request));
    }
}

void ViewController::refuseWaitingPermissionRequests(std::string_view reason) {
    mediaPermissionDialog_.reset();
    auto waiting = std::move(waitingPermissionRequests_);
    waitingPermissionRequests_.clear();
    for (auto& request : waiting) denyPermission(request, reason);
}

// --- Stealth mode on the page itself ---

void ViewController::followPointerForStealthMode(Gtk::Window& window) {
    window.add_events(Gdk::ENTER_NOTIFY_MASK | Gdk::LEAVE_NOTIFY_MASK);
    std::weak_ptr<ViewController> weak = weak_from_this();
    connections_.push_back(window.signal_enter_notify_event().connect(
        [weak](GdkEventCrossing*) {
            if (auto self = weak.lock()) self->setPointerInsideWindow(true);
            return false;
        },
        false));
    connections_.push_back(window.signal_leave_notify_event().connect(
        [weak](GdkEventCrossing* event) {
            // Into one of the window's own children is still over the window.
            if (event->detail == GDK_NOTIFY_INFERIOR) return false;
            if (auto self = weak.lock()) self->setPointerInsideWindow(false);
            return false;
        },
        false));
}

void ViewController::setPointerInsideWindow(bool inside) {
    if (inside == pointerInsideWindow_) return;
    pointerInsideWindow_ = inside;
    updateContentObscuring();
}

void ViewController::updateContentObscuring() {
    const bool obscured = WebClientCommands::stealthObscuresContent(
        Trellik::shared().privacyStealthModeActive(),
        platform::UserDefaults::standard().boolForKey(std::string(keys::privacyStealthModeShowContentOnMouseOver)),
        pointerInsideWindow_);
    if (aWkWebView_) aWkWebView_->setContentObscured(obscured);
    notificationCenter_->setContentObscured(obscured);
}

// --- Recovery from a failed page load ---

void ViewController::watchNetworkForPageRetry() {
    if (pageRetryReachability_) return;
    pageRetryReachability_ = newReachability();
    if (!pageRetryReachability_) return;
    if (!pageRetryReachability_->startNotifier()) {
        debugLog("Unable to start notifier");
        pageRetryReachability_.reset();
        return;
    }
    // The reload ends this watch; a new failure starts the next one.
    whenNetworkReturns(&ViewController::pageRetryReachability_, "Reachability Updated -> Reloading the page...",
                       &ViewController::reloadWebApp);
}

std::unique_ptr<platform::Reachability> ViewController::newReachability() const {
    return environment_.makeReachability ? environment_.makeReachability() : platform::Reachability::create();
}

void ViewController::whenNetworkReturns(std::unique_ptr<platform::Reachability> ViewController::*watch,
                                        const char* logLine, void (ViewController::*action)()) {
    if (!(this->*watch)) return;
    std::weak_ptr<ViewController> weak = weak_from_this();
    (this->*watch)->whenReachable = [weak, watch, logLine, action](platform::Reachability&) {
        platform::MainQueue::async([weak, watch, logLine, action] {
            auto self = weak.lock();
            // Only the watch still in place, and only if the network is still there by now.
            if (!self || !((*self).*watch) || !((*self).*watch)->isReachable()) return;
            debugLog(logLine);
            ((*self).*action)();
        });
    };
}

void ViewController::stopWatchingNetworkForPageRetry() {
    if (pageRetryReachability_) pageRetryReachability_->stopNotifier();
    pageRetryReachability_.reset();
}

}  // namespace parlivo
