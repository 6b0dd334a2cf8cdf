#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/DynamicData.h"
#include <sigc++/connection.h>

#include "foundation/ObserverToken.h"
#include "media/ShareToWebViewController.h"
#include "media/WQWebMediaParent.h"
#include "settings/TrellikWebViewDelegate.h"
#include "system/Error.h"
#include "web/CrashBackoff.h"
#include "web/DownloadController.h"
#include "web/PageMessageDispatcher.h"
#include "web/PagePermissions.h"
#include "web/WQWebView.h"
#include "web/WebClientCommands.h"

namespace Gtk {
class Widget;
class Window;
class Overlay;
class EventBox;
}  // namespace Gtk
namespace platform {
class Reachability;
}

namespace parlivo {

class DynamicDataErrorViewController;
class LoadingViewController;
class MediaPermissionDialog;
class NotificationReplies;
class PrivacyViewController;
class WQAudioRecorder;
class WQDropView;
class WQLocalWebStore;
class WQNotificationCenter;
class WQPatchJSHandler;
class WQWebContainerView;
class WQWebMediaController;

// The main window's content: owns the one web view and every native object the page talks to.
// It downloads the configuration at start and on every reload, shows the loading and
// connection-error screens, builds the web view with the injected scripts and the page bridge,
// loads the page, answers the page's messages, sends it commands, decides its navigations and
// downloads, and stacks the loading screen, drop overlay, share view and lock screen over it.
// Main thread only.
//
// Layers: the main view is a Gtk::Overlay. Its base is the background (with the loading screen
// over it); above lie the web container (a Gtk::Overlay: the web view, then the drop overlay, the
// share view and the notification panel), the connection-error screen and, topmost, the lock
// screen.
class ViewController : public DynamicDataDelegate,
                       public TrellikWebViewDelegate,
                       public PageBridgeHost,
                       public platform::WebViewNavigationDelegate,
                       public WQWebViewOverlayDelegate,
                       public ShareToWebViewControllerDelegate,
                       public WQWebMediaParent,
                       public std::enable_shared_from_this<ViewController> {
public:
    static constexpr std::string_view kClassName = "ViewController";
    // Seconds a page load may wait for its first response (our own: WebKit has none): 10, or as
    // much longer as a development build's test run says (ProcessInfo::testTimeScale).
    static double pageLoadTimeout();

    // What the controller reaches outside itself; tests replace parts of it.
    struct Environment {
        DynamicData* configuration = nullptr;                            // DynamicData::shared() when null
        std::function<bool(const std::string& url)> openExternalURL;     // the desktop's default handler
        std::function<void(int code)> exitProcess;                       // settings written, then exit
        std::shared_ptr<SavePanel> savePanel;                            // GTK's native save dialog
        DownloadController::Fetch fetch;                                 // SimpleGetHTTPRequest
        std::function<std::unique_ptr<platform::Reachability>()> makeReachability;  // GIO's monitor
        // WebKit's stand-in microphone and camera (tests); so does the Info.plist key
        // "ParlivoMockCaptureDevices", which only a bundle made for tests carries.
        bool mockCaptureDevices = false;
        // How the page comes back after its web or network process ended (tests shorten it).
        CrashBackoff::Settings crashBackoff;
    };

    static std::shared_ptr<ViewController> create();
    static std::shared_ptr<ViewController> create(Environment environment);
    ~ViewController() override;

    // The main view, to be put into the window's content area.
    Gtk::Widget& view();
    // The window the view lies in, and the container view that provides the window's touch bar.
    void setWindow(std::weak_ptr<Gtk::Window> window);
    void setWebContainerView(std::shared_ptr<WQWebContainerView> containerView);

    // Life cycle: the start sequence once; the appearance each time the window is shown. close()
    // lets go of the web view, the observers and the shared objects' references to this one.
    void viewDidLoad();
    void viewDidAppear();
    void close();

    // --- Start and web view (DynamicDataDelegate) ---
    void handleConfigurationResult(bool success) override;
    void createWebView();
    void loadPage();
    void showErrorPage();
    void tearDownWebView();
    void retryConfiguration();

    // --- Layering ---
    void showLoadingView(bool show);
    void removeLoadingView();
    void setUpDropView();
    void setWebViewHidden(bool hidden) override;
    void lockDown();
    void privacyChanged();
    void presentShareView(const std::optional<platform::ScriptValue>& chatListWidth);
    void cancelShare();
    // `tempDirectory`: the share's folder, kept until the files in it have been read.
    void sendMessageToChat(const std::optional<std::vector<std::filesystem::path>>& fileUrls,
                           const std::optional<std::string>& text,
                           std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory = nullptr);
    void refocusLockScreen();
    bool overlayCovers(double x, double y) override;
    void viewDidLayout();

    // --- Commands (TrellikWebViewDelegate and the others) ---
    void handleLogOut() override;
    void handleLogOut(std::function<void(bool completed)> completion) override;
    void handleLogOutStepTwo(std::function<void(bool completed)> completion = {});
    void openChatOrReply(const UserNotification& notification) override;
    void keepReply(const UserNotification& reply) override;
    void updateWallpaper() override;
    void applyAppearance() override;
    // The native half of the appearance: the windows' light or dark theme and the alerts'.
    void applyWindowAppearance();
    void updateDoNotDisturb() override;
    void reloadWebApp() override;
    void startAudioRecording() override;
    void stopAudioRecording(bool send) override;
    void sendMenuCommand(NativeAction action) override;
    void updateStealthMode() override;
    void showShareView(std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory,
                       std::optional<std::vector<std::filesystem::path>> fileUrls,
                       std::optional<std::string> text) override;
    void windowStatusDidChange();
    void setSendingEnabled(bool enabled);
    void updateChatListWidth();
    void showLaunchAtLoginReminder();
    void openSettings() override;

    // --- The camera's place (WQWebMediaParent) ---
    std::shared_ptr<Gtk::Window> mediaWindow() override;
    void addCameraView(Gtk::Widget& view) override;
    void removeCameraView(Gtk::Widget& view) override;
    void focusWebContainer() override;

    // --- ShareToWebViewControllerDelegate ---
    void shareViewDidFinish(ShareToWebViewController& controller) override;
    void shareViewDidSend(ShareToWebViewController& controller,
                          const std::shared_ptr<tovak::WQTemporaryDirectory>& tempDirectory,
                          const std::optional<std::vector<std::filesystem::path>>& fileUrls,
                          const std::optional<std::string>& text) override;

    // --- Page bridge (PageBridgeHost) ---
    void showDesktopNotification(const IncomingMessage& message) override;
    void contactWithError() override;
    void pageDidInit(const std::shared_ptr<platform::JavaScriptEvaluator>& webView) override;
    void pageWillStartup() override;
    void pageDidStartup() override;
    void reloadRequested() override;
    void logoutRequested() override;
    void toggleDoNotDisturb() override;
    void removeNotifications() override;
    void closeNotification(const std::string& identifier) override;
    void checkForUpdates() override;
    void saveDownload(std::string dataURL, const std::string& mimeType,
                      const std::optional<std::string>& fileName) override;
    void openExternalURL(const std::string& url) override;
    void loadURLInWebView(const std::string& url) override;
    std::optional<std::string> configuredPageURL() override;
    void sendMail(const std::string& address, const std::string& subject, const std::string& message) override;
    void exitProcess(int code) override;
    void convertAudio(const std::string& id, const std::string& url,
                      std::weak_ptr<platform::JavaScriptEvaluator> webView) override;
    void runFFmpeg(const std::string& id, std::string source, const std::string& inDataType,
                   const std::string& outDataType, platform::ScriptValue::Array parameters,
                   std::weak_ptr<platform::JavaScriptEvaluator> webView) override;

    // --- Navigation (WebViewNavigationDelegate) ---
    platform::NavigationActionPolicy decidePolicyForNavigationAction(platform::WebView& webView,
                                                                     const platform::NavigationAction& action) override;
    void didFailProvisionalNavigation(platform::WebView& webView, const platform::Error& error) override;
    void didFailNavigation(platform::WebView& webView, const platform::Error& error) override;
    void didCommitNavigation(platform::WebView& webView) override;
    void didFinishNavigation(platform::WebView& webView) override;
    void createWebViewRequested(platform::WebView& webView, const platform::NavigationAction& action) override;
    void webContentProcessDidTerminate(platform::WebView& webView) override;
    // The web or network process ended: the page comes back after the back-off's delay, or,
    // after a few ends in a short time, the connection-error screen takes its place.
    void recoverFromProcessEnd(std::string_view process);
    // Behind the privacy lock the page's own dialogs are dismissed unseen.
    bool webViewMayShowScriptDialog(platform::WebView& webView) override;
    void downloadBlob(const std::string& url);
    void handleNavigationFailure(std::string_view prefix, const platform::Error& error);

    // --- The page's permission requests (WebViewNavigationDelegate) ---
    // Decided by pagepermissions::decide; microphone and camera may ask the user first.
    void decidePermission(platform::WebView& webView, platform::PermissionRequest request) override;
    // The origin the page lives at (BaseURL when the page is fetched and loaded as text, else
    // PageURL); empty without a configuration.
    std::string pageOrigin();
    const MediaPermissionDialog* mediaPermissionDialog() const { return mediaPermissionDialog_.get(); }

    // --- Stealth mode on the page itself ---
    // Whether the pointer is over the main window (followed from the window's crossing events).
    void setPointerInsideWindow(bool inside);
    bool pointerInsideWindow() const { return pointerInsideWindow_; }
    // Blurs or clears the page and the notification panel after the stealth state and the pointer.
    void updateContentObscuring();

    // --- Recovery from a failed page load ---
    // After the error page: the next report that the network is there reloads the web client,
    // once per report.
    void watchNetworkForPageRetry();
    std::unique_ptr<platform::Reachability> newReachability() const;
    // When `watch` reports the network back: `action` on the main queue (logged with `logLine`),
    // if that watch is still the one in place and the network still there by then.
    void whenNetworkReturns(std::unique_ptr<platform::Reachability> ViewController::*watch, const char* logLine,
                            void (ViewController::*action)());
    const platform::Reachability* pageRetryReachability() const { return pageRetryReachability_.get(); }

    // --- State other parts read ---
    const std::shared_ptr<WQWebView>& aWkWebView() const { return aWkWebView_; }
    const std::optional<platform::Error>& aError() const { return aError_; }
    bool webDidStartUp() const { return webDidStartUp_; }
    std::optional<bool> sendingEnabled() const { return sendingEnabled_; }
    const std::shared_ptr<LoadingViewController>& loadingViewController() const { return loadingViewController_; }
    const std::shared_ptr<DynamicDataErrorViewController>& errorViewController() const { return errorViewController_; }
    const std::shared_ptr<PrivacyViewController>& privacyViewController() const { return privacyViewController_; }
    const std::shared_ptr<ShareToWebViewController>& shareToWebViewController() const { return shareToWebViewController_; }
    const std::shared_ptr<WQDropView>& aDropView() const { return aDropView_; }
    const platform::Reachability* reachability() const { return reachability_.get(); }
    Gtk::Overlay& webContainer() { return *webContainer_; }
    const std::shared_ptr<WQLocalWebStore>& localWebStore() const { return localWebStore_; }
    const std::shared_ptr<WQPatchJSHandler>& patchJSHandler() const { return patchJSHandler_; }
    const std::shared_ptr<WQWebMediaController>& webMediaController() const { return webMediaController_; }
    const std::shared_ptr<WQNotificationCenter>& notificationCenter() const { return notificationCenter_; }
    const std::shared_ptr<DownloadController>& downloads() const { return downloads_; }
    const WebClientCommands& commands() const { return commands_; }
    const std::shared_ptr<NotificationReplies>& replies() const { return replies_; }
    // The appearance last applied (platform::Appearance's names).
    const std::string& appliedAppearance() const { return appliedAppearance_; }

private:
    explicit ViewController(Environment environment);
    void setUp();
    DynamicData& configuration();
    void replaceReachability();
    void removeErrorScreen();
    void removeWebViewWidget();
    void failPageLoad(const std::string& message, const std::string& domain);
    void loadCustomPage(const std::string& text);
    void reportFailureToUser(const std::string& message);
    void showFailureDialog(const std::string& message);
    std::string documentStartSource();
    void answerPermissionRequest(platform::PermissionRequest request);
    void askForMediaPermission(const std::vector<pagepermissions::MediaKind>& kinds);
    void mediaPermissionAnswered(std::vector<pagepermissions::MediaKind> kinds, std::optional<bool> agreed);
    // Refuses every request waiting for the user and closes the question (lock, new page).
    void refuseWaitingPermissionRequests(std::string_view reason);
    void followPointerForStealthMode(Gtk::Window& window);
    void stopWatchingNetworkForPageRetry();
    void showConnectionErrorScreen(std::function<void()> tryAgain);
    void watchNetworkProcess();

    Environment environment_;

    // Views.
    std::unique_ptr<Gtk::Overlay> mainView_;
    std::unique_ptr<Gtk::Overlay> backgroundEffectView_;
    std::unique_ptr<Gtk::EventBox> background_;
    std::shared_ptr<Gtk::Overlay> webContainer_;
    std::weak_ptr<Gtk::Window> window_;
    std::shared_ptr<WQWebContainerView> webContainerView_;

    // Stored state.
    std::shared_ptr<WQDropView> aDropView_;
    std::shared_ptr<WQWebView> aWkWebView_;
    std::shared_ptr<WQAudioRecorder> audioRecorder_;
    std::shared_ptr<WQLocalWebStore> localWebStore_;
    std::shared_ptr<platform::ScriptMessageHandler> alertCenter_;  // forwards to WQAlertCenter::shared()
    std::shared_ptr<WQNotificationCenter> notificationCenter_;
    std::shared_ptr<WQWebMediaController> webMediaController_;
    std::shared_ptr<WQPatchJSHandler> patchJSHandler_;
    std::shared_ptr<ShareToWebViewController> shareToWebViewController_;
    std::optional<platform::Error> aError_;
    std::unique_ptr<platform::Reachability> reachability_;
    std::shared_ptr<LoadingViewController> loadingViewController_;
    std::shared_ptr<DynamicDataErrorViewController> errorViewController_;
    std::shared_ptr<PrivacyViewController> privacyViewController_;
    bool webDidStartUp_ = false;
    std::optional<bool> sendingEnabled_;

    std::shared_ptr<PageMessageDispatcher> dispatcher_;
    std::shared_ptr<DownloadController> downloads_;
    WebClientCommands commands_;
    std::shared_ptr<NotificationReplies> replies_;
    std::vector<platform::ObserverToken> observers_;
    std::vector<sigc::connection> connections_;
    std::uint64_t pageLoadGeneration_ = 0;
    int lastLayoutWidth_ = -1;
    std::string appliedAppearance_;
    bool loaded_ = false;

    // Permission requests of the page that wait for the user's answer, and the question.
    std::vector<platform::PermissionRequest> waitingPermissionRequests_;
    std::unique_ptr<MediaPermissionDialog> mediaPermissionDialog_;
    bool pointerInsideWindow_ = false;
    std::unique_ptr<platform::Reachability> pageRetryReachability_;

    // Ends of the web and network processes, and the reload they scheduled (a newer reload or
    // the close cancels it by moving the token on).
    CrashBackoff crashBackoff_;
    std::uint64_t crashReloadToken_ = 0;
};

}  // namespace parlivo
