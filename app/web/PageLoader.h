#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "config/DynamicData.h"
#include "system/Error.h"
#include "web/CrashBackoff.h"
#include "web/PageMessageDispatcher.h"
#include "web/WQWebView.h"

namespace Gtk {
class Window;
}
namespace platform {
class Reachability;
}

namespace parlivo {

class PageLayers;
class PagePermissionRequests;
class PageServices;
class WebClientCommands;
class WQAudioRecorder;
class WQLocalWebStore;
class WQNotificationCenter;
class WQPatchJSHandler;
class WQWebMediaController;

// The page's life cycle: downloads the configuration at start and on every reload (watching the
// network while it fails), builds the one web view with the injected scripts and the page's
// native counterparts, loads the page (directly, or fetched and patched), shows the error page
// when a load fails and reloads when the network comes back, and brings the page back after
// WebKit's web or network process ended, backing off when they keep ending. Owns the web view and
// the objects the page talks to; shows the loading and error screens through the layers. Main
// thread only.
class PageLoader : public DynamicDataDelegate,
                   public platform::WebViewNavigationDelegate,
                   public WQWebViewOwner,
                   public std::enable_shared_from_this<PageLoader> {
public:
    // Seconds a page load may wait for its first response (our own: WebKit has none): 10, or as
    // much longer as a development build's test run says (ProcessInfo::testTimeScale).
    static double pageLoadTimeout();

    struct Environment {
        DynamicData* configuration = nullptr;                                       // DynamicData::shared() when null
        std::function<std::unique_ptr<platform::Reachability>()> makeReachability;  // GIO's monitor when empty
        // WebKit's stand-in microphone and camera (tests); so does the Info.plist key
        // "ParlivoMockCaptureDevices", which only a bundle made for tests carries.
        bool mockCaptureDevices = false;
        // How the page comes back after its web or network process ended (tests shorten it).
        CrashBackoff::Settings crashBackoff;
    };

    // `events`: where the page's start-up events go; `webViewCreated` runs once each new web view
    // is in place.
    static std::shared_ptr<PageLoader> create(Environment environment, std::shared_ptr<PageLayers> layers,
                                              std::shared_ptr<WebClientCommands> commands,
                                              std::shared_ptr<WQNotificationCenter> notificationCenter,
                                              std::weak_ptr<PageEventHost> events, std::function<void()> webViewCreated);
    ~PageLoader() override;

    // The services the page's messages and navigations reach; set once, before start().
    void setServices(std::shared_ptr<PageServices> services);
    void setWindow(std::weak_ptr<Gtk::Window> window);
    DynamicData& configuration();

    // The first cycle; reload() a new one (a reload scheduled after a process ended is this one,
    // or this one makes it needless); close() ends everything that waits.
    void start();
    void reload();
    // The web view's context-menu Reload (WQWebViewOwner): reload().
    void reloadPage() override { reload(); }
    void retryConfiguration();
    void close();

    // --- Start and web view (DynamicDataDelegate) ---
    void handleConfigurationResult(bool success) override;
    void createWebView();
    void loadPage();
    void loadURL(const std::string& url);
    void showErrorPage();
    void tearDownWebView();
    // Lets go of the page without stopping it (the log-out, whose website data goes next).
    void releaseWebView();

    // --- Navigation (WebViewNavigationDelegate) ---
    platform::NavigationActionPolicy decidePolicyForNavigationAction(platform::WebView& webView,
                                                                     const platform::NavigationAction& action) override;
    void didFailProvisionalNavigation(platform::WebView& webView, const platform::Error& error) override;
    void didFailNavigation(platform::WebView& webView, const platform::Error& error) override;
    void didCommitNavigation(platform::WebView& webView) override;
    void didFinishNavigation(platform::WebView& webView) override;
    void createWebViewRequested(platform::WebView& webView, const platform::NavigationAction& action) override;
    void webContentProcessDidTerminate(platform::WebView& webView) override;
    // Behind the privacy lock the page's own dialogs are dismissed unseen.
    bool webViewMayShowScriptDialog(platform::WebView& webView) override;
    // Decided by pagepermissions::decide; microphone and camera may ask the user first.
    void decidePermission(platform::WebView& webView, platform::PermissionRequest request) override;

    // The web or network process ended: the page comes back after the back-off's delay, or,
    // after a few ends in a short time, the connection-error screen takes its place.
    void recoverFromProcessEnd(std::string_view process);
    // The origin the page lives at (BaseURL when the page is fetched and loaded as text, else
    // PageURL); empty without a configuration.
    std::string pageOrigin();

    // --- State of the page ---
    const std::shared_ptr<WQWebView>& webView() const { return aWkWebView_; }
    const std::optional<platform::Error>& lastError() const { return aError_; }
    bool webDidStartUp() const { return webDidStartUp_; }
    void setWebDidStartUp() { webDidStartUp_ = true; }
    // Whether the page can send, as it last said in this cycle.
    std::optional<bool> sendingEnabled() const { return sendingEnabled_; }
    void setSendingEnabled(bool enabled) { sendingEnabled_ = enabled; }
    const platform::Reachability* reachability() const { return reachability_.get(); }
    const platform::Reachability* pageRetryReachability() const { return pageRetryReachability_.get(); }
    PagePermissionRequests& permissions() { return *permissions_; }
    const PagePermissionRequests& permissions() const { return *permissions_; }

    // --- The page's native counterparts ---
    const std::shared_ptr<WQLocalWebStore>& localWebStore() const { return localWebStore_; }
    const std::shared_ptr<WQPatchJSHandler>& patchJSHandler() const { return patchJSHandler_; }
    const std::shared_ptr<WQWebMediaController>& webMediaController() const { return webMediaController_; }
    const std::shared_ptr<WQNotificationCenter>& notificationCenter() const { return notificationCenter_; }

private:
    PageLoader(Environment environment, std::shared_ptr<PageLayers> layers, std::shared_ptr<WebClientCommands> commands,
               std::shared_ptr<WQNotificationCenter> notificationCenter, std::weak_ptr<PageEventHost> events,
               std::function<void()> webViewCreated);
    void setUp();
    void replaceReachability();
    void stopReachability();
    void failPageLoad(const std::string& message, const std::string& domain);
    void loadCustomPage(const std::string& text);
    std::string documentStartSource();
    void handleNavigationFailure(std::string_view prefix, const platform::Error& error);
    void watchNetworkProcess();
    // After the error page: the next report that the network is there reloads the web client,
    // once per report.
    void watchNetworkForPageRetry();
    void stopWatchingNetworkForPageRetry();
    std::unique_ptr<platform::Reachability> newReachability() const;
    // When `watch` reports the network back: `action` on the main queue (logged with `logLine`),
    // if that watch is still the one in place and the network still there by then.
    void whenNetworkReturns(std::unique_ptr<platform::Reachability> PageLoader::*watch, const char* logLine,
                            void (PageLoader::*action)());

    Environment environment_;
    std::shared_ptr<PageLayers> layers_;
    std::shared_ptr<WebClientCommands> commands_;
    std::weak_ptr<PageEventHost> events_;
    std::function<void()> webViewCreated_;
    std::weak_ptr<PageServices> services_;
    std::shared_ptr<PageMessageDispatcher> dispatcher_;

    // The page's native counterparts, named in the web view's script message handlers.
    std::shared_ptr<WQAudioRecorder> audioRecorder_;
    std::shared_ptr<WQLocalWebStore> localWebStore_;
    std::shared_ptr<platform::ScriptMessageHandler> alertCenter_;  // forwards to WQAlertCenter::shared()
    std::shared_ptr<WQNotificationCenter> notificationCenter_;
    std::shared_ptr<WQWebMediaController> webMediaController_;
    std::shared_ptr<WQPatchJSHandler> patchJSHandler_;
    std::shared_ptr<PagePermissionRequests> permissions_;

    std::shared_ptr<WQWebView> aWkWebView_;
    std::optional<platform::Error> aError_;
    bool webDidStartUp_ = false;
    std::optional<bool> sendingEnabled_;
    std::unique_ptr<platform::Reachability> reachability_;
    std::unique_ptr<platform::Reachability> pageRetryReachability_;
    std::uint64_t pageLoadGeneration_ = 0;

    // Ends of the web and network processes, and the reload they scheduled (a newer reload or
    // the close cancels it by moving the token on).
    CrashBackoff crashBackoff_;
    std::uint64_t crashReloadToken_ = 0;
};

}  // namespace parlivo
