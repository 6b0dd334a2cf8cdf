#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sigc++/connection.h>

#include "media/ShareToWebViewController.h"
#include "media/WQWebMediaParent.h"
#include "web/WQWebView.h"

namespace Gtk {
class Widget;
class Window;
class Overlay;
class EventBox;
}  // namespace Gtk

namespace parlivo {

class DynamicDataErrorViewController;
class LoadingViewController;
class PrivacyViewController;
class Trellik;
class WebClientCommands;
class WQDropView;
class WQNotificationCenter;
class WQWebMediaController;

// The stack of layers of the main window's content: the background with the loading screen, the
// web container (the web view, the drop overlay, the share view, the HTML notification panel),
// the connection-error screen, the camera's view and, topmost, the lock screen. It shows and
// removes each layer and attaches the page's web view to the container while nothing hides it;
// what a layer means for the page is the page loader's and the view controller's. Main thread
// only.
class PageLayers : public WQWebMediaParent,
                   public WQWebViewOverlayDelegate,
                   public ShareToWebViewControllerDelegate,
                   public std::enable_shared_from_this<PageLayers> {
public:
    // What the share view sends: files (their folder kept until they have been read) or a text.
    using ShareSender = std::function<void(const std::optional<std::vector<std::filesystem::path>>& fileUrls,
                                           const std::optional<std::string>& text,
                                           std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory)>;

    // `commands` asks the page for its chat list's width when the share view is laid out anew.
    static std::shared_ptr<PageLayers> create(Trellik& trellik, std::shared_ptr<WebClientCommands> commands,
                                              std::shared_ptr<WQNotificationCenter> notificationCenter);
    ~PageLayers() override;

    Gtk::Widget& view();
    Gtk::Overlay& webContainer() { return *webContainer_; }
    // The container the HTML notification panel lies in.
    std::weak_ptr<Gtk::Overlay> notificationPanelParent() const { return webContainer_; }
    void setWindow(std::weak_ptr<Gtk::Window> window) { window_ = std::move(window); }
    void setShareSender(ShareSender sender) { shareSender_ = std::move(sender); }
    void close();

    // The page's web view: shown in the container unless hidden or behind the lock screen.
    void setWebView(std::shared_ptr<WQWebView> webView);
    void removeWebView();

    // --- Loading and connection-error screens ---
    void showLoadingView(bool show);
    void removeLoadingView();
    // Replaces the loading screen; `tryAgain` is its button's action.
    void showConnectionErrorScreen(std::function<void()> tryAgain);
    void removeErrorScreen();

    // --- Drop overlay ---
    // A new drop overlay over the page, dropping into `mediaController`; it receives the
    // clipboard's pastes.
    void setUpDropView(std::shared_ptr<WQWebMediaController> mediaController, std::optional<bool> sendingEnabled);
    void setDropSendingEnabled(bool enabled);

    // --- Lock screen ---
    void showLockScreen();
    void removeLockScreen();
    bool lockScreenShown() const { return privacyViewController_ != nullptr; }
    void refocusLockScreen();

    // --- Share view ---
    void showShareView(std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory,
                       std::optional<std::vector<std::filesystem::path>> fileUrls, std::optional<std::string> text);
    // Slides the waiting share view in, right of the page's chat list.
    void presentShareView(const std::optional<platform::ScriptValue>& chatListWidth);
    void cancelShare();
    void viewDidLayout();

    // --- The camera's place (WQWebMediaParent) ---
    std::shared_ptr<Gtk::Window> mediaWindow() override;
    void addCameraView(Gtk::Widget& view) override;
    void removeCameraView(Gtk::Widget& view) override;
    void setWebViewHidden(bool hidden) override;
    void focusWebContainer() override;

    // --- ShareToWebViewControllerDelegate ---
    void shareViewDidFinish(ShareToWebViewController& controller) override;
    void shareViewDidSend(ShareToWebViewController& controller,
                          const std::shared_ptr<tovak::WQTemporaryDirectory>& tempDirectory,
                          const std::optional<std::vector<std::filesystem::path>>& fileUrls,
                          const std::optional<std::string>& text) override;

    // --- WQWebViewOverlayDelegate ---
    bool overlayCovers(double x, double y) override;

    const std::shared_ptr<LoadingViewController>& loadingViewController() const { return loadingViewController_; }
    const std::shared_ptr<DynamicDataErrorViewController>& errorViewController() const { return errorViewController_; }
    const std::shared_ptr<PrivacyViewController>& privacyViewController() const { return privacyViewController_; }
    const std::shared_ptr<ShareToWebViewController>& shareToWebViewController() const { return shareToWebViewController_; }
    const std::shared_ptr<WQDropView>& aDropView() const { return aDropView_; }

private:
    PageLayers(Trellik& trellik, std::shared_ptr<WebClientCommands> commands,
               std::shared_ptr<WQNotificationCenter> notificationCenter);
    void setUp();
    // Lays `view` over the whole main view, below the lock screen.
    void addOverMainView(Gtk::Widget& view);

    Trellik& trellik_;
    std::shared_ptr<WebClientCommands> commands_;
    std::shared_ptr<WQNotificationCenter> notificationCenter_;
    ShareSender shareSender_;

    std::unique_ptr<Gtk::Overlay> mainView_;
    std::unique_ptr<Gtk::Overlay> backgroundEffectView_;
    std::unique_ptr<Gtk::EventBox> background_;
    std::shared_ptr<Gtk::Overlay> webContainer_;
    std::weak_ptr<Gtk::Window> window_;
    std::shared_ptr<WQWebView> webView_;

    std::shared_ptr<LoadingViewController> loadingViewController_;
    std::shared_ptr<DynamicDataErrorViewController> errorViewController_;
    std::shared_ptr<PrivacyViewController> privacyViewController_;
    std::shared_ptr<ShareToWebViewController> shareToWebViewController_;
    std::shared_ptr<WQDropView> aDropView_;

    sigc::connection sizeAllocation_;
    int lastLayoutWidth_ = -1;
};

}  // namespace parlivo
