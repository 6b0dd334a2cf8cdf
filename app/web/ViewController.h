#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sigc++/connection.h>

#include "config/DynamicData.h"
#include "foundation/ObserverToken.h"
#include "media/ShareToWebViewController.h"
#include "settings/TrellikWebViewDelegate.h"
#include "system/Error.h"
#include "web/CrashBackoff.h"
#include "web/DownloadController.h"
#include "web/PageMessageDispatcher.h"
#include "web/WQWebView.h"
#include "web/WebClientCommands.h"

namespace Gtk {
class Widget;
class Window;
class Overlay;
}  // namespace Gtk
namespace platform {
class Reachability;
}

namespace parlivo {

class DynamicDataErrorViewController;
class LoadingViewController;
class MediaPermissionDialog;
class NotificationReplies;
class PageLayers;
class PageLoader;
class PageServices;
class PrivacyViewController;
class SendingStateObserver;
class Trellik;
class WQDropView;
class WQNotificationCenter;

// The main window's content and the coordinator of its parts: the page loader (configuration,
// web view, loading, recovery; PageLoader), the layers over the page (PageLayers) and the
// services the page asks for (PageServices). It carries out the settings model's commands
// (TrellikWebViewDelegate) and the page's start-up events, follows the lock, the window and the
// appearance, and tells the page what they mean for it. Main thread only.
class ViewController : public TrellikWebViewDelegate,
                       public PageEventHost,
                       public std::enable_shared_from_this<ViewController> {
public:
    static constexpr std::string_view kClassName = "ViewController";

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

    static std::shared_ptr<ViewController> create(Trellik& trellik);
    static std::shared_ptr<ViewController> create(Trellik& trellik, Environment environment);
    // With the program's own settings model.
    static std::shared_ptr<ViewController> create(Environment environment);
    ~ViewController() override;

    // The main view, to be put into the window's content area.
    Gtk::Widget& view();
    // The window the view lies in, and the container view that shows whether the page can send.
    void setWindow(std::weak_ptr<Gtk::Window> window);
    void setWebContainerView(std::shared_ptr<SendingStateObserver> containerView);

    // Life cycle: the start sequence once; the appearance each time the window is shown. close()
    // lets go of the web view, the observers and the shared objects' references to this one.
    void viewDidLoad();
    void viewDidAppear();
    void close();

    // --- Commands (TrellikWebViewDelegate) ---
    void handleLogOut() override;
    void handleLogOut(std::function<void(bool completed)> completion) override;
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
    void setSendingEnabled(bool enabled);

    // --- The page's start-up events (PageEventHost) ---
    void openSettings() override;
    void pageDidInit(const std::shared_ptr<platform::JavaScriptEvaluator>& webView) override;
    void pageWillStartup() override;
    void pageDidStartup() override;
    void reloadRequested() override;
    void logoutRequested() override;

    // --- The page loader's, for tests ---
    void retryConfiguration();
    platform::NavigationActionPolicy decidePolicyForNavigationAction(platform::WebView& webView,
                                                                     const platform::NavigationAction& action);
    void createWebViewRequested(platform::WebView& webView, const platform::NavigationAction& action);
    bool overlayCovers(double x, double y);

    // --- Stealth mode on the page itself ---
    // Whether the pointer is over the main window (followed from the window's crossing events).
    void setPointerInsideWindow(bool inside);
    bool pointerInsideWindow() const { return pointerInsideWindow_; }
    // Blurs or clears the page and the notification panel after the stealth state and the pointer.
    void updateContentObscuring();

    // --- The parts, and state other parts read ---
    PageLoader& pageLoader() { return *loader_; }
    PageLayers& layers() { return *layers_; }
    PageServices& services() { return *services_; }
    const std::shared_ptr<WQWebView>& aWkWebView() const;
    const std::optional<platform::Error>& aError() const;
    bool webDidStartUp() const;
    std::optional<bool> sendingEnabled() const;
    const std::shared_ptr<LoadingViewController>& loadingViewController() const;
    const std::shared_ptr<DynamicDataErrorViewController>& errorViewController() const;
    const std::shared_ptr<PrivacyViewController>& privacyViewController() const;
    const std::shared_ptr<ShareToWebViewController>& shareToWebViewController() const;
    const std::shared_ptr<WQDropView>& aDropView() const;
    const platform::Reachability* reachability() const;
    const platform::Reachability* pageRetryReachability() const;
    const MediaPermissionDialog* mediaPermissionDialog() const;
    Gtk::Overlay& webContainer();
    const std::shared_ptr<WQNotificationCenter>& notificationCenter() const { return notificationCenter_; }
    const WebClientCommands& commands() const { return *commands_; }
    const std::shared_ptr<NotificationReplies>& replies() const { return replies_; }
    // The appearance last applied (platform::Appearance's names).
    const std::string& appliedAppearance() const { return appliedAppearance_; }

private:
    ViewController(Trellik& trellik, Environment environment);
    void setUp();
    void webViewCreated();
    void handleLogOutStepTwo(std::function<void(bool completed)> completion);
    void windowStatusDidChange();
    void lockDown();
    void privacyChanged();
    void updateChatListWidth();
    void showLaunchAtLoginReminder();
    // `tempDirectory`: the share's folder, kept until the files in it have been read.
    void sendMessageToChat(const std::optional<std::vector<std::filesystem::path>>& fileUrls,
                           const std::optional<std::string>& text,
                           std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory);
    void followPointerForStealthMode(Gtk::Window& window);

    Trellik& trellik_;
    Environment environment_;
    std::weak_ptr<Gtk::Window> window_;
    std::shared_ptr<SendingStateObserver> webContainerView_;

    std::shared_ptr<WebClientCommands> commands_;
    std::shared_ptr<WQNotificationCenter> notificationCenter_;
    std::shared_ptr<PageLayers> layers_;
    std::shared_ptr<PageLoader> loader_;
    std::shared_ptr<PageServices> services_;
    std::shared_ptr<NotificationReplies> replies_;

    std::vector<platform::ObserverToken> observers_;
    std::vector<sigc::connection> connections_;
    std::string appliedAppearance_;
    bool loaded_ = false;
    bool closed_ = false;
    bool pointerInsideWindow_ = false;
};

}  // namespace parlivo
