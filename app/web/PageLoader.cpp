#include "web/PageLoader.h"

#include <glib.h>

#include "DebugPrint.h"
#include "StringExtensions.h"
#include "WQDebugController.h"
#include "config/WQDiagnosis.h"
#include "foundation/Bundle.h"
#include "foundation/FileManager.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "foundation/ProcessInfo.h"
#include "foundation/URL.h"
#include "media/WQAudioRecorder.h"
#include "media/WQWebMediaController.h"
#include "notifications/WQNotificationCenter.h"
#include "settings/PrivacyGate.h"
#include "system/Reachability.h"
#include "system/URLSession.h"
#include "web/NavigationPolicy.h"
#include "web/PageLayers.h"
#include "web/PagePermissionRequests.h"
#include "web/PageScripts.h"
#include "web/PageServices.h"
#include "web/WQAlertCenter.h"
#include "web/WQLocalWebStore.h"
#include "web/WQPatchJSHandler.h"
#include "web/WebClientCommands.h"
#include "web/WebContext.h"

namespace parlivo {

namespace {

// The page's life cycle logs as the main view controller, whose page it is.
void debugLog(std::string_view message) { tovak::debugPrint("ViewController", message); }

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

// Scripts and pages are ours to run, but a bundle file is still read with a bound.
constexpr std::uintmax_t kMaximumBundleScriptBytes = 4u << 20;

// The code of a page load that failed on our side of the fetch (no data, an error status, a body
// that is no UTF-8 text). These failures have no code of the transport's or WebKit's; the fixed
// one keeps them apart from those in the error report the support mail carries.
constexpr int kPageFetchFailureCode = 123;

}  // namespace

std::shared_ptr<PageLoader> PageLoader::create(Environment environment, std::shared_ptr<PageLayers> layers,
                                               std::shared_ptr<WebClientCommands> commands,
                                               std::shared_ptr<WQNotificationCenter> notificationCenter,
                                               std::weak_ptr<PageEventHost> events, std::function<void()> webViewCreated) {
    auto loader = std::shared_ptr<PageLoader>(new PageLoader(std::move(environment), std::move(layers), std::move(commands),
                                                             std::move(notificationCenter), std::move(events),
                                                             std::move(webViewCreated)));
    loader->setUp();
    return loader;
}

PageLoader::PageLoader(Environment environment, std::shared_ptr<PageLayers> layers,
                       std::shared_ptr<WebClientCommands> commands, std::shared_ptr<WQNotificationCenter> notificationCenter,
                       std::weak_ptr<PageEventHost> events, std::function<void()> webViewCreated)
    : environment_(std::move(environment)),
      layers_(std::move(layers)),
      commands_(std::move(commands)),
      events_(std::move(events)),
      webViewCreated_(std::move(webViewCreated)),
      audioRecorder_(WQAudioRecorder::create()),
      localWebStore_(std::make_shared<WQLocalWebStore>()),
      alertCenter_(std::make_shared<ForwardingHandler>(WQAlertCenter::shared())),
      notificationCenter_(std::move(notificationCenter)),
      webMediaController_(WQWebMediaController::create()),
      patchJSHandler_(std::make_shared<WQPatchJSHandler>()),
      crashBackoff_(environment_.crashBackoff) {}

PageLoader::~PageLoader() = default;

void PageLoader::setUp() {
    std::weak_ptr<PageLayers> layers = layers_;
    permissions_ = std::make_shared<PagePermissionRequests>([this] { return pageOrigin(); },
                                                            [layers] {
                                                                auto shown = layers.lock();
                                                                return shown && shown->lockScreenShown();
                                                            });
    webMediaController_->parentViewController = layers_;
}

void PageLoader::setServices(std::shared_ptr<PageServices> services) {
    services_ = services;
    dispatcher_ = std::make_shared<PageMessageDispatcher>(events_, services);
}

void PageLoader::setWindow(std::weak_ptr<Gtk::Window> window) { permissions_->setWindow(std::move(window)); }

DynamicData& PageLoader::configuration() {
    return environment_.configuration ? *environment_.configuration : DynamicData::shared();
}

// --- Cycles ---

void PageLoader::start() {
    configuration().delegate = shared_from_this();
    tearDownWebView();
    layers_->showLoadingView(true);
    sendingEnabled_.reset();
    replaceReachability();
    configuration().startDownload();
}

void PageLoader::reload() {
    // A reload scheduled after a process ended is this one, or this one makes it needless.
    ++crashReloadToken_;
    tearDownWebView();
    // A new cycle starts: an error screen of the last one has nothing left to say.
    layers_->removeErrorScreen();
    layers_->showLoadingView(true);
    sendingEnabled_.reset();
    replaceReachability();
    // The custom page fetch of the old cycle, if still running, is dropped when it answers.
    ++pageLoadGeneration_;
    configuration().startDownload();
}

void PageLoader::retryConfiguration() {
    configuration().startDownload();
    layers_->removeErrorScreen();
    layers_->showLoadingView(true);
    stopReachability();
}

void PageLoader::close() {
    stopReachability();
    ++pageLoadGeneration_;
    ++crashReloadToken_;
    tearDownWebView();
    auto& config = configuration();
    if (config.delegate.get() == static_cast<DynamicDataDelegate*>(this)) config.delegate.reset();
}

void PageLoader::replaceReachability() {
    if (reachability_) reachability_->stopNotifier();
    reachability_ = newReachability();
    if (reachability_ && !reachability_->startNotifier()) debugLog("Unable to start notifier");
}

void PageLoader::stopReachability() {
    if (reachability_) reachability_->stopNotifier();
    reachability_.reset();
}

// --- Start and web view ---

void PageLoader::handleConfigurationResult(bool success) {
    if (success) {
        stopReachability();
        layers_->removeErrorScreen();
        createWebView();
        loadPage();
        return;
    }
    std::weak_ptr<PageLoader> weak = weak_from_this();
    layers_->showConnectionErrorScreen([weak] {
        if (auto self = weak.lock()) self->retryConfiguration();
    });
    whenNetworkReturns(&PageLoader::reachability_, "Reachability Updated -> Retrying...", &PageLoader::retryConfiguration);
}

std::string PageLoader::documentStartSource() {
    auto& config = configuration();
    const auto patches = config.patches().value_or(std::vector<TextPatch>{});
    const std::string prefixes = WQPatchJSHandler::makePatchPrefixesScript(patches);
    debugLog("Patch JS: " + prefixes);
    return "var wqPlatform = " + WQDiagnosis::shared().systemInfoJSON() + "; " + " var wqDebug = " +
           tovak::jsString(tovak::WQDebugController::sharedInstance().debug()) + "; " + prefixes +
           config.injectionScriptStart().value_or("");
}

void PageLoader::createWebView() {
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
        std::optional<std::string> source;
        if (path)
            if (auto read = platform::FileManager::contentsAtPath(*path, kMaximumBundleScriptBytes)) source = std::move(*read);
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

    if (layers_->shareToWebViewController()) layers_->cancelShare();
    permissions_->refuseWaiting("a new page replaces the one that asked");
    // At most one web view: the old one goes before the new one is made.
    if (aWkWebView_) {
        aWkWebView_->removeAllUserContent();
        layers_->removeWebView();
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
    aWkWebView_->overlayDelegate = layers_;
    aWkWebView_->owner = weak_from_this();
    aWkWebView_->setAllowsBackForwardNavigationGestures(false);
    commands_->setWebView(aWkWebView_);
    layers_->setWebView(aWkWebView_);
    if (auto agent = config.userAgent()) aWkWebView_->setCustomUserAgent(*agent);
    if (config.draggingOverlay().value_or(false)) {
        layers_->setUpDropView(webMediaController_, sendingEnabled_);
        debugLog("Enable Dragging");
    } else {
        debugLog("No enabling Dragging");
    }
    audioRecorder_->setWebView(aWkWebView_);
    if (const auto& dropView = layers_->aDropView()) {
        dropView->fallbackDelegate = aWkWebView_;
        aWkWebView_->dropView = dropView;
    }
    webMediaController_->webView = aWkWebView_;
    if (webViewCreated_) webViewCreated_();
}

double PageLoader::pageLoadTimeout() { return 10.0 * platform::ProcessInfo::testTimeScale(); }

void PageLoader::loadPage() {
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
    std::weak_ptr<PageLoader> weak = weak_from_this();
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

void PageLoader::loadURL(const std::string& url) {
    if (aWkWebView_) aWkWebView_->loadURL(url);
}

void PageLoader::loadCustomPage(const std::string& text) {
    auto& config = configuration();
    patchJSHandler_->setPatches(config.patches());
    const std::string patched = patchJSHandler_->applyPatches(WQPatchJSHandler::customIndexName, text);
    debugLog("CUSTOM LOADING");
    if (aWkWebView_) aWkWebView_->loadHTML(patched, config.baseURL().value_or(""));
}

void PageLoader::failPageLoad(const std::string& message, const std::string& domain) {
    debugLog(message);
    aError_ = platform::Error{domain, kPageFetchFailureCode, message};
    showErrorPage();
}

void PageLoader::showErrorPage() {
    if (!aWkWebView_) return;
    const auto page = configuration().couldNotConnect();
    if (!page) return;
    // The bundle's folder as base, so the page may use the bundle's files by relative paths.
    gchar* base = g_filename_to_uri((platform::Bundle::main().resourcePath().string() + "/").c_str(), nullptr, nullptr);
    aWkWebView_->loadHTML(*page, base ? base : "");
    g_free(base);
    watchNetworkForPageRetry();
}

void PageLoader::releaseWebView() {
    notificationCenter_->removeNotificationPanel();
    if (aWkWebView_) {
        aWkWebView_->removeAllUserContent();
        layers_->removeWebView();
    }
    aWkWebView_.reset();
    commands_->setWebView({});
}

void PageLoader::tearDownWebView() {
    notificationCenter_->removeNotificationPanel();
    permissions_->refuseWaiting("the page went away");
    stopWatchingNetworkForPageRetry();
    if (aWkWebView_) {
        aWkWebView_->removeAllUserContent();
        layers_->removeWebView();
        aWkWebView_->stopLoading();
    }
    aWkWebView_.reset();
    commands_->setWebView({});
}

// --- Navigation ---

platform::NavigationActionPolicy PageLoader::decidePolicyForNavigationAction(platform::WebView&,
                                                                             const platform::NavigationAction& action) {
    using platform::NavigationActionPolicy;
    if (!action.url) return NavigationActionPolicy::allow;
    debugLog("NEW Navigation: " + *action.url);
    const auto outcome = navigation::decide(action.url, action.targetsNewWindow);
    if (!outcome.logLine.empty()) debugLog(outcome.logLine);
    const std::string url = *action.url;
    auto services = services_.lock();
    switch (outcome.decision) {
    case navigation::Decision::allow: return NavigationActionPolicy::allow;
    case navigation::Decision::downloadBlob: {
        std::weak_ptr<WebClientCommands> commands = commands_;
        platform::MainQueue::async([commands, url] {
            if (auto page = commands.lock()) page->downloadBlob(url);
        });
        break;
    }
    case navigation::Decision::openInBrowser:
        if (services) services->openExternalURL(url);
        break;
    case navigation::Decision::downloadFile:
        if (services) services->downloads()->downloadFile(url);
        break;
    case navigation::Decision::cancel: break;
    }
    return NavigationActionPolicy::cancel;
}

void PageLoader::didFailProvisionalNavigation(platform::WebView&, const platform::Error& error) {
    handleNavigationFailure("Provisional Navigation Failed with Error: ", error);
}

void PageLoader::didFailNavigation(platform::WebView&, const platform::Error& error) {
    handleNavigationFailure("Navigation Failed with Error: ", error);
}

void PageLoader::handleNavigationFailure(std::string_view prefix, const platform::Error& error) {
    debugLog(std::string(prefix) + error.description());
    // A cancelled load (a newer load, our own policy turning it into a download) is no failure of
    // the page: the error page would replace a working page.
    if (navigation::isIgnorableLoadFailure(error)) return;
    aError_ = error;
    showErrorPage();
}

// Once a load has its first answer, WebKit's network process runs.
void PageLoader::didCommitNavigation(platform::WebView&) { watchNetworkProcess(); }

void PageLoader::didFinishNavigation(platform::WebView&) {
    layers_->removeLoadingView();
    watchNetworkProcess();
}

void PageLoader::watchNetworkProcess() {
    auto& context = platform::WebContext::shared();
    std::weak_ptr<PageLoader> weak = weak_from_this();
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

void PageLoader::createWebViewRequested(platform::WebView&, const platform::NavigationAction& action) {
    debugLog("Requesting new WebView!");
    if (!action.url || !navigation::isOpenableExternally(*action.url)) return;
    if (auto services = services_.lock()) services->openExternalURL(*action.url);
}

void PageLoader::webContentProcessDidTerminate(platform::WebView&) {
    debugLog("WKWebView was killed");
    // A panel the page opened has no page left to answer.
    notificationCenter_->removeNotificationPanel();
    std::weak_ptr<PageLoader> weak = weak_from_this();
    platform::MainQueue::async([weak] {
        if (auto self = weak.lock()) self->recoverFromProcessEnd("web");
    });
}

void PageLoader::recoverFromProcessEnd(std::string_view process) {
    const auto decision = crashBackoff_.processEnded(CrashBackoff::Clock::now());
    const std::uint64_t token = ++crashReloadToken_;
    // The dead page shows nothing any more: the loading screen or the error screen stands in.
    tearDownWebView();
    if (!decision.reload) {
        platform::systemLog("The " + std::string(process) + " process ended " + std::to_string(decision.endsInWindow) +
                                " times in a short time: the page is not loaded again until Try Again",
                            platform::LogLevel::warning);
        std::weak_ptr<PageLoader> weak = weak_from_this();
        layers_->showConnectionErrorScreen([weak] {
            auto self = weak.lock();
            if (!self) return;
            self->crashBackoff_.reset();
            self->reload();
        });
        return;
    }
    debugLog("The " + std::string(process) + " process ended: reloading in " + std::to_string(decision.delay.count()) +
             " ms");
    layers_->removeErrorScreen();
    layers_->showLoadingView(true);
    std::weak_ptr<PageLoader> weak = weak_from_this();
    platform::MainQueue::after(std::chrono::duration<double>(decision.delay).count(), [weak, token] {
        auto self = weak.lock();
        // A reload meanwhile (the user's, a log-out) or the close made this one needless.
        if (!self || token != self->crashReloadToken_) return;
        self->reload();
    });
}

bool PageLoader::webViewMayShowScriptDialog(platform::WebView&) { return !PrivacyGate::isLocked(); }

// --- The page's permission requests ---

std::string PageLoader::pageOrigin() {
    auto& config = configuration();
    const auto address = config.customPageLoading().value_or(false) ? config.baseURL() : config.pageURL();
    const auto url = address ? platform::URL::parse(*address) : std::nullopt;
    return url ? url->origin() : std::string();
}

void PageLoader::decidePermission(platform::WebView& webView, platform::PermissionRequest request) {
    if (&webView != aWkWebView_.get()) return PagePermissionRequests::refuse(std::move(request), "not the current page");
    permissions_->decide(std::move(request));
}

// --- Recovery from a failed page load ---

void PageLoader::watchNetworkForPageRetry() {
    if (pageRetryReachability_) return;
    pageRetryReachability_ = newReachability();
    if (!pageRetryReachability_) return;
    if (!pageRetryReachability_->startNotifier()) {
        debugLog("Unable to start notifier");
        pageRetryReachability_.reset();
        return;
    }
    // The reload ends this watch; a new failure starts the next one.
    whenNetworkReturns(&PageLoader::pageRetryReachability_, "Reachability Updated -> Reloading the page...",
                       &PageLoader::reload);
}

std::unique_ptr<platform::Reachability> PageLoader::newReachability() const {
    return environment_.makeReachability ? environment_.makeReachability() : platform::Reachability::create();
}

void PageLoader::whenNetworkReturns(std::unique_ptr<platform::Reachability> PageLoader::*watch, const char* logLine,
                                    void (PageLoader::*action)()) {
    if (!(this->*watch)) return;
    std::weak_ptr<PageLoader> weak = weak_from_this();
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

void PageLoader::stopWatchingNetworkForPageRetry() {
    if (pageRetryReachability_) pageRetryReachability_->stopNotifier();
    pageRetryReachability_.reset();
}

}  // namespace parlivo
