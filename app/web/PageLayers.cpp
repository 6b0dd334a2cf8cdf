#include "web/PageLayers.h"

#include <gtkmm/eventbox.h>
#include <gtkmm/overlay.h>
#include <gtkmm/window.h>

#include <limits>

#include "DebugPrint.h"
#include "config/DynamicDataErrorViewController.h"
#include "foundation/MainQueue.h"
#include "media/WQDropView.h"
#include "media/WQWebMediaController.h"
#include "notifications/WQNotificationCenter.h"
#include "privacy/PrivacyViewController.h"
#include "settings/Trellik.h"
#include "settings/TrellikApplicationDelegate.h"
#include "web/LoadingViewController.h"
#include "web/WebClientCommands.h"

namespace parlivo {

namespace {

// The layers log as the main view controller whose content they are.
void debugLog(std::string_view message) { tovak::debugPrint("ViewController", message); }

void removeFromParent(Gtk::Widget& view) {
    if (auto* parent = view.get_parent()) parent->remove(view);
}

void fill(Gtk::Widget& view) {
    view.set_halign(Gtk::ALIGN_FILL);
    view.set_valign(Gtk::ALIGN_FILL);
}

// `view` over the whole of `overlay`, shown.
void showOver(Gtk::Overlay& overlay, Gtk::Widget& view) {
    fill(view);
    overlay.add_overlay(view);
    view.show();
}

}  // namespace

std::shared_ptr<PageLayers> PageLayers::create(Trellik& trellik, std::shared_ptr<WebClientCommands> commands,
                                               std::shared_ptr<WQNotificationCenter> notificationCenter) {
    auto layers = std::shared_ptr<PageLayers>(new PageLayers(trellik, std::move(commands), std::move(notificationCenter)));
    layers->setUp();
    return layers;
}

PageLayers::PageLayers(Trellik& trellik, std::shared_ptr<WebClientCommands> commands,
                       std::shared_ptr<WQNotificationCenter> notificationCenter)
    : trellik_(trellik),
      commands_(std::move(commands)),
      notificationCenter_(std::move(notificationCenter)),
      mainView_(std::make_unique<Gtk::Overlay>()),
      backgroundEffectView_(std::make_unique<Gtk::Overlay>()),
      background_(std::make_unique<Gtk::EventBox>()),
      webContainer_(std::make_shared<Gtk::Overlay>()) {}

void PageLayers::setUp() {
    mainView_->set_hexpand(true);
    mainView_->set_vexpand(true);
    // The background: the window's own colour, behind the loading screen and the page.
    background_->get_style_context()->add_class("background");
    background_->set_visible_window(true);
    backgroundEffectView_->add(*background_);
    mainView_->add(*backgroundEffectView_);
    mainView_->add_overlay(*webContainer_);
    mainView_->show_all();

    // Only a width change needs a new chat-list width from the page.
    std::weak_ptr<PageLayers> weak = weak_from_this();
    sizeAllocation_ = mainView_->signal_size_allocate().connect([weak](Gtk::Allocation& allocation) {
        auto self = weak.lock();
        if (!self || allocation.get_width() == self->lastLayoutWidth_) return;
        self->lastLayoutWidth_ = allocation.get_width();
        self->viewDidLayout();
    });
}

PageLayers::~PageLayers() { sizeAllocation_.disconnect(); }

Gtk::Widget& PageLayers::view() { return *mainView_; }

void PageLayers::close() {
    sizeAllocation_.disconnect();
    shareToWebViewController_.reset();
    privacyViewController_.reset();
    loadingViewController_.reset();
    removeErrorScreen();
}

void PageLayers::addOverMainView(Gtk::Widget& view) {
    showOver(*mainView_, view);
    // The lock screen stays on top.
    if (privacyViewController_) mainView_->reorder_overlay(privacyViewController_->view(), -1);
}

// --- The web view ---

void PageLayers::setWebView(std::shared_ptr<WQWebView> webView) {
    webView_ = std::move(webView);
    setWebViewHidden(false);
}

void PageLayers::removeWebView() {
    if (webView_) removeFromParent(webView_->widget());
    webView_.reset();
}

void PageLayers::setWebViewHidden(bool hidden) {
    webContainer_->set_visible(!hidden);
    if (!webView_) return;
    if (hidden) {
        webView_->ignoreKeyInput = true;
        tovak::debugPrint(WQWebView::kClassName, "Set ignoring key input: true");
        return;
    }
    if (privacyViewController_) {
        debugLog("Found Privacy View Controller -> Not unhiding WebView");
        return;
    }
    webView_->ignoreKeyInput = false;
    tovak::debugPrint(WQWebView::kClassName, "Set ignoring key input: false");
    Gtk::Widget& widget = webView_->widget();
    if (widget.get_parent() != webContainer_.get()) {
        removeFromParent(widget);
        if (webContainer_->get_child()) webContainer_->remove();
        webContainer_->add(widget);
    }
    widget.set_hexpand(true);
    widget.set_vexpand(true);
    widget.show();
    debugLog("Added WebView to Window");
}

// --- Loading and connection-error screens ---

void PageLayers::showLoadingView(bool show) {
    if (loadingViewController_) {
        removeFromParent(loadingViewController_->view());
        loadingViewController_.reset();
    }
    if (!show) return;
    loadingViewController_ = LoadingViewController::create();
    showOver(*backgroundEffectView_, loadingViewController_->view());
}

void PageLayers::removeLoadingView() {
    debugLog("Remove loading view!");
    showLoadingView(false);
}

void PageLayers::showConnectionErrorScreen(std::function<void()> tryAgain) {
    showLoadingView(false);
    removeErrorScreen();
    auto screen = DynamicDataErrorViewController::create();
    screen->setTryAgainAction(std::move(tryAgain));
    errorViewController_ = screen;
    screen->updateErrorTexts();
    addOverMainView(screen->view());
}

void PageLayers::removeErrorScreen() {
    if (!errorViewController_) return;
    removeFromParent(errorViewController_->view());
    errorViewController_.reset();
}

// --- Drop overlay ---

void PageLayers::setUpDropView(std::shared_ptr<WQWebMediaController> mediaController, std::optional<bool> sendingEnabled) {
    if (aDropView_) {
        removeFromParent(aDropView_->view());
        aDropView_.reset();
    }
    aDropView_ = WQDropView::create();
    Gtk::Widget& view = aDropView_->view();
    fill(view);
    webContainer_->add_overlay(view);
    // Clicks and keys go through to the page; drops reach the overlay through the web view.
    webContainer_->set_overlay_pass_through(view, true);
    aDropView_->fallbackDelegate = webView_;
    if (webView_) webView_->dropView = aDropView_;
    aDropView_->delegate = std::move(mediaController);
    if (sendingEnabled) aDropView_->sendingEnabled = *sendingEnabled;
    if (auto application = trellik_.applicationDelegate()) application->setPasteDelegate(aDropView_);
}

void PageLayers::setDropSendingEnabled(bool enabled) {
    if (aDropView_) aDropView_->sendingEnabled = enabled;
}

// --- Lock screen ---

void PageLayers::showLockScreen() {
    if (privacyViewController_) removeFromParent(privacyViewController_->view());
    privacyViewController_ = PrivacyViewController::create();
    showOver(*mainView_, privacyViewController_->view());
}

void PageLayers::removeLockScreen() {
    if (privacyViewController_) removeFromParent(privacyViewController_->view());
    privacyViewController_.reset();
}

void PageLayers::refocusLockScreen() {
    auto lockScreen = privacyViewController_;
    if (!lockScreen) return;
    tovak::debugPrint(PrivacyViewController::kClassName, "WINDOW MOVED TO FRONT!");
    lockScreen->showTouchID();
    platform::MainQueue::after(0.2, [lockScreen] { lockScreen->focusPasswordField(); });
}

// --- Share view ---

void PageLayers::showShareView(std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory,
                               std::optional<std::vector<std::filesystem::path>> fileUrls,
                               std::optional<std::string> text) {
    cancelShare();
    shareToWebViewController_ = ShareToWebViewController::create(std::move(tempDirectory), std::move(fileUrls), std::move(text));
    shareToWebViewController_->delegate = weak_from_this();
}

void PageLayers::presentShareView(const std::optional<platform::ScriptValue>& chatListWidth) {
    if (!shareToWebViewController_) return;
    Gtk::Widget& view = shareToWebViewController_->view();
    view.hide();
    if (view.get_parent() != webContainer_.get()) {
        removeFromParent(view);
        webContainer_->add_overlay(view);
    } else {
        webContainer_->reorder_overlay(view, -1);
    }
    shareToWebViewController_->applyChatListWidth(chatListWidth, std::numeric_limits<std::uint64_t>::max());
    shareToWebViewController_->moveIn(0.5, tovak::AnimationDirection::bottom);
}

void PageLayers::cancelShare() {
    if (auto share = std::move(shareToWebViewController_)) {
        tovak::debugPrint(ShareToWebViewController::kClassName, "Cancel share!");
        share->endInteraction();
        share->moveOut(share->animationDuration, tovak::AnimationDirection::bottom, [share] { share->removeShareView(); });
    }
    shareToWebViewController_.reset();
}

void PageLayers::viewDidLayout() {
    auto share = shareToWebViewController_;
    if (!share) return;
    share->updateLayout();
    const std::uint64_t counter = share->layoutCounter;
    std::weak_ptr<ShareToWebViewController> weakShare = share;
    commands_->getChatListWidth([weakShare, counter](const platform::JavaScriptEvaluator::Result& result) {
        if (auto share = weakShare.lock()) share->applyChatListWidth(result.value, counter);
    });
}

void PageLayers::shareViewDidFinish(ShareToWebViewController& controller) {
    // The late report of a share that a newer one replaced leaves the newer one alone.
    if (shareToWebViewController_.get() == &controller) shareToWebViewController_.reset();
}

void PageLayers::shareViewDidSend(ShareToWebViewController& controller,
                                  const std::shared_ptr<tovak::WQTemporaryDirectory>& tempDirectory,
                                  const std::optional<std::vector<std::filesystem::path>>& fileUrls,
                                  const std::optional<std::string>& text) {
    // Only the share on screen is sent; a replaced one sliding away is not (and must not drop
    // the newer one).
    if (shareToWebViewController_.get() != &controller) return;
    if (shareSender_) shareSender_(fileUrls, text, tempDirectory);
    shareToWebViewController_.reset();
}

// --- The camera's place ---

std::shared_ptr<Gtk::Window> PageLayers::mediaWindow() { return window_.lock(); }

void PageLayers::addCameraView(Gtk::Widget& view) { addOverMainView(view); }

void PageLayers::removeCameraView(Gtk::Widget& view) {
    if (view.get_parent() == mainView_.get()) static_cast<Gtk::Container&>(*mainView_).remove(view);
}

void PageLayers::focusWebContainer() {
    if (privacyViewController_ || !webView_ || !window_.lock()) return;
    webView_->widget().grab_focus();
}

bool PageLayers::overlayCovers(double x, double y) {
    if (shareToWebViewController_ && webView_ && shareToWebViewController_->covers(webView_->widget(), x, y))
        return true;
    return notificationCenter_->isDisplayingNotification();
}

}  // namespace parlivo
