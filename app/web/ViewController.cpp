#include "web/ViewController.h"

#include <gdk/gdk.h>
#include <gtkmm/clipboard.h>
#include <gtkmm/overlay.h>
#include <gtkmm/window.h>

#include "DebugPrint.h"
#include "WQApplicationInfo.h"
#include "WQDirectory.h"
#include "WQLaunchAtLoginManager.h"
#include "foundation/FileManager.h"
#include "foundation/Log.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "media/WQWebMediaController.h"
#include "notifications/WQNotificationCenter.h"
#include "notifications/WQWindowNotification.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "settings/Trellik.h"
#include "ui/Appearance.h"
#include "web/NotificationReplies.h"
#include "web/PageLayers.h"
#include "web/PageLoader.h"
#include "web/PageScripts.h"
#include "web/PagePermissionRequests.h"
#include "web/PageServices.h"
#include "web/SendingStateObserver.h"
#include "web/WQAlertCenter.h"
#include "web/WQLocalWebStore.h"
#include "web/WebClientCommands.h"
#include "web/WebContext.h"

namespace parlivo {

namespace {

void debugLog(std::string_view message) { tovak::debugPrint(ViewController::kClassName, message); }

}  // namespace

// --- Construction ---

std::shared_ptr<ViewController> ViewController::create(Trellik& trellik) { return create(trellik, Environment{}); }

std::shared_ptr<ViewController> ViewController::create(Environment environment) {
    return create(Trellik::shared(), std::move(environment));
}

std::shared_ptr<ViewController> ViewController::create(Trellik& trellik, Environment environment) {
    // The page's website data lives in the application's own folders; set before any web view.
    static const bool configured = platform::WebContext::configure(
        {tovak::WQDirectory::appDirectory() / "WebsiteData",
         platform::FileManager::cachesDirectory() / tovak::WQApplicationInfo::bundleIdentifier() / "WebKit"});
    (void)configured;
    auto controller = std::shared_ptr<ViewController>(new ViewController(trellik, std::move(environment)));
    controller->setUp();
    return controller;
}

ViewController::ViewController(Trellik& trellik, Environment environment)
    : trellik_(trellik),
      environment_(std::move(environment)),
      commands_(std::make_shared<WebClientCommands>()),
      notificationCenter_(std::make_shared<WQNotificationCenter>()) {}

void ViewController::setUp() {
    std::weak_ptr<ViewController> weak = weak_from_this();
    layers_ = PageLayers::create(trellik_, commands_, notificationCenter_);
    layers_->setShareSender([weak](const auto& fileUrls, const auto& text, auto tempDirectory) {
        if (auto self = weak.lock()) self->sendMessageToChat(fileUrls, text, std::move(tempDirectory));
    });
    loader_ = PageLoader::create({environment_.configuration, environment_.makeReachability,
                                  environment_.mockCaptureDevices, environment_.crashBackoff},
                                 layers_, commands_, notificationCenter_, weak, [weak] {
                                     if (auto self = weak.lock()) self->webViewCreated();
                                 });
    services_ = PageServices::create(trellik_, loader_,
                                     {environment_.openExternalURL, environment_.exitProcess, environment_.savePanel,
                                      environment_.fetch});
    loader_->setServices(services_);
    auto& trellik = trellik_;
    replies_ = NotificationReplies::create(
        {[](const std::string& text) { Gtk::Clipboard::get()->set_text(text); },
         [&trellik] {
             if (auto window = trellik.windowDelegate()) window->showWindow();
         },
         [](const std::shared_ptr<WQWindowNotification>& note) { WQWindowNotificationController::shared().addNotification(note); },
         [&trellik] { return trellik.privacyLockdown(); }});
}

ViewController::~ViewController() { close(); }

Gtk::Widget& ViewController::view() { return layers_->view(); }

void ViewController::setWindow(std::weak_ptr<Gtk::Window> window) {
    window_ = window;
    layers_->setWindow(window);
    loader_->setWindow(window);
    services_->setWindow(std::move(window));
}

void ViewController::setWebContainerView(std::shared_ptr<SendingStateObserver> containerView) {
    webContainerView_ = std::move(containerView);
}

void ViewController::close() {
    closed_ = true;
    for (auto& connection : connections_) connection.disconnect();
    connections_.clear();
    observers_.clear();
    loader_->close();
    if (trellik_.webViewDelegate().get() == static_cast<TrellikWebViewDelegate*>(this)) trellik_.setWebViewDelegate(nullptr);
    layers_->close();
}

// --- Start sequence ---

void ViewController::viewDidLoad() {
    if (loaded_) return;
    loaded_ = true;
    loader_->start();

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

    if (trellik_.privacyLockdown()) lockDown();
    // The windows take the chosen style at once, before the page is there.
    applyWindowAppearance();
}

void ViewController::viewDidAppear() {
    WQAlertCenter::shared().setWindow(window_);
    notificationCenter_->setParentView(layers_->notificationPanelParent());
}

// Each new web view: the settings model's commands come here, and a share that waited for a page
// is shown at once.
void ViewController::webViewCreated() {
    trellik_.setWebViewDelegate(shared_from_this());
    if (auto pending = trellik_.takePendingShare())
        showShareView(std::move(pending->tempDirectory), std::move(pending->fileUrls), std::move(pending->text));
    updateContentObscuring();
}

void ViewController::reloadWebApp() { loader_->reload(); }

void ViewController::retryConfiguration() { loader_->retryConfiguration(); }

// --- The lock ---

void ViewController::lockDown() {
    // Nothing of the page's asks over the lock screen.
    loader_->permissions().refuseWaiting("the privacy lock is on");
    layers_->setWebViewHidden(true);
    commands_->lockDown(true);
    layers_->showLockScreen();
}

void ViewController::privacyChanged() {
    if (trellik_.privacyLockdown()) {
        lockDown();
        return;
    }
    debugLog("Unlocking!");
    layers_->removeLockScreen();
    layers_->setWebViewHidden(false);
    commands_->lockDown(false);
    // Replies kept behind the lock screen are told now that the user can see the window.
    replies_->unlocked();
}

// --- Share ---

void ViewController::showShareView(std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory,
                                   std::optional<std::vector<std::filesystem::path>> fileUrls,
                                   std::optional<std::string> text) {
    layers_->showShareView(std::move(tempDirectory), std::move(fileUrls), std::move(text));
    updateChatListWidth();
}

void ViewController::sendMessageToChat(const std::optional<std::vector<std::filesystem::path>>& fileUrls,
                                       const std::optional<std::string>& text,
                                       std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory) {
    if (text) {
        commands_->sendSharedText(*text);
    } else if (fileUrls) {
        // The share's folder holds the files: it stays until the conversion has read them.
        std::vector<std::shared_ptr<void>> owners;
        if (tempDirectory) owners.push_back(std::move(tempDirectory));
        loader_->webMediaController()->processFileURLs(*fileUrls, std::move(owners));
    }
}

void ViewController::updateChatListWidth() {
    if (!loader_->webDidStartUp() || !loader_->webView()) return;
    std::weak_ptr<PageLayers> layers = layers_;
    commands_->getChatListWidth([layers](const platform::JavaScriptEvaluator::Result& result) {
        if (auto shown = layers.lock()) shown->presentShareView(result.value);
    });
}

// --- Commands ---

void ViewController::windowStatusDidChange() {
    if (!loader_->webView()) return;
    setSendingEnabled(loader_->configuration().enableSend().value_or(false));
    auto window = window_.lock();
    if (!window) return;
    commands_->windowStatusDidChange(window->is_active());
}

void ViewController::handleLogOut() { handleLogOut(std::function<void(bool)>{}); }

void ViewController::handleLogOut(std::function<void(bool completed)> completion) {
    std::weak_ptr<ViewController> weak = weak_from_this();
    auto done = std::make_shared<std::function<void(bool)>>(std::move(completion));
    const bool sent = commands_->handleLogOut([weak, done](const platform::JavaScriptEvaluator::Result&) {
        if (auto self = weak.lock()) {
            self->handleLogOutStepTwo(std::move(*done));
        } else if (*done) {
            (*done)(false);
        }
    });
    if (!sent) handleLogOutStepTwo(std::move(*done));
}

void ViewController::handleLogOutStepTwo(std::function<void(bool completed)> completion) {
    loader_->releaseWebView();
    std::weak_ptr<ViewController> weak = weak_from_this();
    platform::WebContext::shared().removeAllWebsiteData([weak, completion = std::move(completion)](bool succeeded) {
        if (succeeded) {
            debugLog("Deleted cookies!");
        } else {
            platform::systemLog("The website data could not be removed", platform::LogLevel::warning);
        }
        // The logged-out client starts again, unless the controller was closed meanwhile.
        if (auto self = weak.lock(); self && !self->closed_) self->reloadWebApp();
        if (completion) completion(succeeded);
    });
}

void ViewController::openChatOrReply(const UserNotification& notification) {
    if (notification.activationType == UserNotification::ActivationType::replied) {
        // The page says whether the reply went into the notification's chat; when not, it is
        // kept for the user.
        replies_->send(notification, *commands_);
        return;
    }
    std::weak_ptr<PageLayers> layers = layers_;
    commands_->openChatOrReply(notification, [layers] {
        if (auto shown = layers.lock()) shown->refocusLockScreen();
    });
}

void ViewController::keepReply(const UserNotification& reply) { replies_->keep(reply); }

void ViewController::updateWallpaper() { commands_->updateWallpaper(); }

void ViewController::applyAppearance() {
    commands_->applyAppearance();
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

void ViewController::updateDoNotDisturb() { commands_->updateDoNotDisturb(); }

void ViewController::startAudioRecording() { commands_->startAudioRecording(); }

void ViewController::stopAudioRecording(bool send) { commands_->stopAudioRecording(send); }

void ViewController::sendMenuCommand(NativeAction action) {
    if (commands_->sendMenuCommand(action)) return;
    using Kind = WQWebMediaControllerMediaType;
    auto& media = *loader_->webMediaController();
    switch (action) {
    case NativeAction::camera: media.showCamera({Kind::photo, Kind::video}); break;
    case NativeAction::image: media.showOpenPanel(std::nullopt, {Kind::photo}, {}, true); break;
    case NativeAction::video: media.showOpenPanel(std::nullopt, {Kind::video}, {}, true); break;
    default: break;
    }
}

void ViewController::updateStealthMode() {
    commands_->updateStealthMode(trellik_.privacyStealthModeActive());
    updateContentObscuring();
}

void ViewController::setSendingEnabled(bool enabled) {
    loader_->setSendingEnabled(enabled);
    commands_->enableSending(enabled);
    if (webContainerView_) webContainerView_->sendingEnabledDidChange(enabled);
    layers_->setDropSendingEnabled(enabled);
}

void ViewController::showLaunchAtLoginReminder() {
    if (auto reminder = WebClientCommands::launchAtLoginReminder(tovak::WQLaunchAtLoginManager::shared()))
        WQWindowNotificationController::shared().addNotification(reminder);
}

// --- The page's start-up events ---

void ViewController::openSettings() {
    if (auto application = trellik_.applicationDelegate()) application->showPreferencesWindow();
}

void ViewController::pageDidInit(const std::shared_ptr<platform::JavaScriptEvaluator>& webView) {
    std::weak_ptr<platform::JavaScriptEvaluator> weakView = webView;
    loader_->localWebStore()->updateStore(webView, [weakView] {
        if (auto view = weakView.lock()) view->evaluateJavaScript(pagescripts::didFinishNativeInit());
    });
}

void ViewController::pageWillStartup() {
    updateWallpaper();
    applyAppearance();
}

void ViewController::pageDidStartup() {
    loader_->setWebDidStartUp();
    updateDoNotDisturb();
    setSendingEnabled(loader_->configuration().enableSend().value_or(false));
    showLaunchAtLoginReminder();
    updateChatListWidth();
    // A page made while the lock is on (at a locked start, after a reload) missed the lock's
    // own call: it learns the state now that it can act on it.
    if (layers_->lockScreenShown()) commands_->lockDown(true);
}

void ViewController::reloadRequested() { reloadWebApp(); }

void ViewController::logoutRequested() { handleLogOut(); }

// --- The page loader's, for tests ---

platform::NavigationActionPolicy ViewController::decidePolicyForNavigationAction(platform::WebView& webView,
                                                                                 const platform::NavigationAction& action) {
    return loader_->decidePolicyForNavigationAction(webView, action);
}

void ViewController::createWebViewRequested(platform::WebView& webView, const platform::NavigationAction& action) {
    loader_->createWebViewRequested(webView, action);
}

bool ViewController::overlayCovers(double x, double y) { return layers_->overlayCovers(x, y); }

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
        trellik_.privacyStealthModeActive(),
        platform::UserDefaults::standard().boolForKey(std::string(keys::privacyStealthModeShowContentOnMouseOver)),
        pointerInsideWindow_);
    if (const auto& webView = loader_->webView()) webView->setContentObscured(obscured);
    notificationCenter_->setContentObscured(obscured);
}

// --- State other parts read ---

const std::shared_ptr<WQWebView>& ViewController::aWkWebView() const { return loader_->webView(); }
const std::optional<platform::Error>& ViewController::aError() const { return loader_->lastError(); }
bool ViewController::webDidStartUp() const { return loader_->webDidStartUp(); }
std::optional<bool> ViewController::sendingEnabled() const { return loader_->sendingEnabled(); }
const std::shared_ptr<LoadingViewController>& ViewController::loadingViewController() const {
    return layers_->loadingViewController();
}
const std::shared_ptr<DynamicDataErrorViewController>& ViewController::errorViewController() const {
    return layers_->errorViewController();
}
const std::shared_ptr<PrivacyViewController>& ViewController::privacyViewController() const {
    return layers_->privacyViewController();
}
const std::shared_ptr<ShareToWebViewController>& ViewController::shareToWebViewController() const {
    return layers_->shareToWebViewController();
}
const std::shared_ptr<WQDropView>& ViewController::aDropView() const { return layers_->aDropView(); }
const platform::Reachability* ViewController::reachability() const { return loader_->reachability(); }
const platform::Reachability* ViewController::pageRetryReachability() const { return loader_->pageRetryReachability(); }
const MediaPermissionDialog* ViewController::mediaPermissionDialog() const { return loader_->permissions().dialog(); }
Gtk::Overlay& ViewController::webContainer() { return layers_->webContainer(); }

}  // namespace parlivo
