#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "system/Error.h"
#include "web/ScriptMessage.h"
#include "web/ScriptValueConversion.h"

namespace Gtk {
class Widget;
}
typedef struct _WebKitWebView WebKitWebView;
typedef struct _GCancellable GCancellable;
typedef struct _GdkDragContext GdkDragContext;
typedef struct _GtkSelectionData GtkSelectionData;
typedef struct _WebKitUserStyleSheet WebKitUserStyleSheet;

namespace platform {

class WebView;

// A script the web view injects into every page it loads.
struct UserScript {
    enum class InjectionTime { atDocumentStart, atDocumentEnd };
    std::string source;
    InjectionTime injectionTime = InjectionTime::atDocumentEnd;
    bool forMainFrameOnly = false;  // false: every frame
};

// A navigation the page or the user starts.
struct NavigationAction {
    std::optional<std::string> url;  // none when the request has no URL
    bool targetsNewWindow = false;   // no target frame: a link or a script asked for a new window
};

enum class NavigationActionPolicy { allow, cancel };

// What a page asks WebKit for leave to use. Kinds WebKit adds later arrive as `other`.
enum class PermissionKind {
    notifications,
    microphone,
    camera,
    microphoneAndCamera,
    screen,
    geolocation,
    pointerLock,
    deviceInfo,
    mediaKeySystem,
    clipboard,
    websiteDataAccess,
    mediaPlugins,
    other
};
std::string_view permissionKindName(PermissionKind kind);

// One of the page's permission requests, answered once: allow or deny. Copies share the request;
// one that nobody answered is denied when its last copy goes, so a dropped request never hangs
// the page's promise.
class PermissionRequest {
public:
    PermissionRequest(PermissionKind kind, std::string pageURL, void* webKitRequest);
    PermissionKind kind() const { return kind_; }
    // The main frame's document when the request came (WebKit names no frame or origin).
    const std::string& pageURL() const { return pageURL_; }
    void allow();
    void deny();
    bool answered() const;

private:
    struct State;
    PermissionKind kind_;
    std::string pageURL_;
    std::shared_ptr<State> state_;
};

// The errors WebKit reports for loads, with WebKit's own domains.
inline constexpr const char* WebKitNetworkErrorDomain = "WebKitNetworkError";
inline constexpr const char* WebKitPolicyErrorDomain = "WebKitPolicyError";
// Whether a load error is no failure of the page: the load was cancelled (a newer load, a stop)
// or interrupted by a policy decision (a navigation turned into a download or cancelled).
bool isLoadCancellation(const Error& error);

// Decides the web view's navigations and hears how its loads end (the main view controller).
// Every call comes on the main thread; the web view is kept alive for the length of the call.
class WebViewNavigationDelegate {
public:
    virtual ~WebViewNavigationDelegate() = default;
    // Answered at once for every navigation action.
    virtual NavigationActionPolicy decidePolicyForNavigationAction(WebView& webView, const NavigationAction& action) {
        return NavigationActionPolicy::allow;
    }
    // A load failed before its first response arrived (including our own time-out,
    // URLErrorDomain timedOut) / after it.
    virtual void didFailProvisionalNavigation(WebView& webView, const Error& error) {}
    virtual void didFailNavigation(WebView& webView, const Error& error) {}
    // The first answer of a load arrived (WebKit's network process runs by then).
    virtual void didCommitNavigation(WebView& webView) {}
    virtual void didFinishNavigation(WebView& webView) {}
    // The page asked for a second web view (window.open, a link to a new window that was
    // allowed). None is ever made; the delegate decides what happens to the URL.
    virtual void createWebViewRequested(WebView& webView, const NavigationAction& action) {}
    // The web process ended (crash, memory limit); the page is gone.
    virtual void webContentProcessDidTerminate(WebView& webView) {}
    // The page asks for a permission; answered now or later. Refused unless a delegate allows.
    virtual void decidePermission(WebView& webView, PermissionRequest request) { request.deny(); }
    // The page's own dialogs (alert, confirm, prompt, leaving the page): false answers one at
    // once as dismissed (confirm false, prompt null, leaving allowed) without showing it; true
    // leaves it to WebKit's dialog.
    virtual bool webViewMayShowScriptDialog(WebView& webView) { return true; }
};

// A key press or release on its way to the page. Modifier bits are GDK's.
struct KeyEvent {
    enum class Type { press, release };
    static constexpr unsigned returnKey = 0xff0d;  // GDK_KEY_Return
    static constexpr unsigned shiftMask = 1u << 0;
    static constexpr unsigned controlMask = 1u << 2;
    static constexpr unsigned altMask = 1u << 3;
    Type type = Type::press;
    unsigned keyval = 0;
    unsigned modifiers = 0;
};

// One entry of the page's context menu. WebKit's own items carry a fixed identifier (Reload is
// kReloadItemIdentifier) and are shown as WebKit made them unless hidden; items a subclass adds
// carry their own identifier, title and action.
struct ContextMenuItem {
    static constexpr const char* kReloadItemIdentifier = "WKMenuItemIdentifierReload";
    std::string identifier;
    std::string title;
    bool separator = false;
    bool hidden = false;
    std::optional<bool> checked;  // a check item when set
    std::function<void(const ContextMenuItem&)> action;
    int webKitIndex = -1;  // position in WebKit's menu; -1 for added items
};

// WebKitGTK's web view with its own user content manager: injected user scripts, named script
// message handlers and script evaluation, in the terms of ScriptMessage.h. Page values reach
// handlers converted and bounded by the configuration's limits. Main thread only. Subclasses
// (WQWebView) change key handling, tooltips, the context menu and drops through the virtual hooks.
class WebView : public JavaScriptEvaluator, public std::enable_shared_from_this<WebView> {
public:
    struct Configuration {
        std::vector<UserScript> userScripts;  // injected in this order
        // Registered in this order. Held weakly: the owner of a handler keeps it.
        std::vector<std::pair<std::string, std::weak_ptr<ScriptMessageHandler>>> scriptMessageHandlers;
        ScriptValueLimits limits;
        // getUserMedia and MediaRecorder for the page; off, the page has neither.
        bool mediaCapture = false;
        // WebKit's mock microphone and camera in place of the machine's (tests).
        bool mockCaptureDevices = false;
    };

    static std::shared_ptr<WebView> create(Configuration configuration);
    ~WebView() override;
    WebView(const WebView&) = delete;
    WebView& operator=(const WebView&) = delete;

    // The toolkit widget; the web view keeps its own reference, a container adds one.
    Gtk::Widget& widget();
    WebKitWebView* gobj() const { return view_; }

    void setNavigationDelegate(std::weak_ptr<WebViewNavigationDelegate> delegate) { delegate_ = std::move(delegate); }

    // JavaScriptEvaluator. The completion runs exactly once on the main loop; with an error when
    // the script failed or the web view went away first.
    void evaluateJavaScript(const std::string& script, Completion completion = {}) override;
    // WebKit's own: the completion waits for a returned promise.
    void callAsyncJavaScript(const std::string& functionBody, Completion completion = {}) override;

    // Loads `url`. With a time-out, a load that has had no response after that many seconds is
    // stopped and reported as a provisional failure (URLErrorDomain, timedOut); WebKit itself has
    // no per-request time-out.
    void loadURL(const std::string& url, std::optional<double> timeoutSeconds = std::nullopt);
    // Shows `html` as if it had been loaded from `baseURL`.
    void loadHTML(const std::string& html, const std::string& baseURL);
    void stopLoading();
    void reload();
    std::string url() const;
    bool isLoading() const;

    // Drops every user script and script message handler (what replacing the content
    // controller does); the page keeps running but can no longer post messages.
    void removeAllUserContent();
    // Registered handler names, in registration order.
    std::vector<std::string> scriptMessageHandlerNames() const;
    std::size_t userScriptCount() const { return userScriptCount_; }

    void setCustomUserAgent(const std::string& userAgent);
    std::string customUserAgent() const;
    // False: the page's background is transparent where it draws none.
    void setDrawsBackground(bool draws);
    void setAllowsBackForwardNavigationGestures(bool allows);
    // Obscured, every frame of the page is blurred past reading by a user style sheet (it works
    // on any page and needs no compositing window manager); the page cannot undo it.
    void setContentObscured(bool obscured);
    bool contentObscured() const { return obscuringStyleSheet_ != nullptr; }

    // Ends the web process (tests; what a crash does).
    void terminateWebProcess();

    // Hooks for subclasses; the defaults leave everything to WebKit.
    // False drops the event; changes to `event.modifiers` reach the page.
    virtual bool handleKeyEvent(KeyEvent& event) { return true; }
    // False hides the page's tooltip at the point (widget coordinates).
    virtual bool toolTipAllowedAt(double x, double y) { return true; }
    // WebKit's items, in order, before the menu opens; items may be hidden or appended.
    virtual void willOpenContextMenu(std::vector<ContextMenuItem>& items) {}
    // Drags over the view, offered to the subclass before WebKit sees them (GTK's own signal
    // arguments). dragMotion and dragDrop: true when the subclass handles the event (it has
    // answered the motion with gdk_drag_status, it finishes the drop); WebKit then never sees
    // it. dragDataReceived: true when the data answers the subclass's own request; WebKit's own
    // data is left to WebKit.
    virtual bool dragMotion(GdkDragContext* context, int x, int y, unsigned time) { return false; }
    virtual bool dragDrop(GdkDragContext* context, int x, int y, unsigned time) { return false; }
    virtual bool dragDataReceived(GdkDragContext* context, GtkSelectionData* data, unsigned time) { return false; }

protected:
    explicit WebView(Configuration configuration);

private:
    struct HandlerEntry;
    struct PendingMessage;
    struct Connections;
    void connectSignals();
    void dispatchScriptMessage(HandlerEntry& entry, void* javascriptResult);
    // Hands over the messages at the head of the queue whose large members have been read.
    void deliverPendingMessages();
    void loadStarted();
    void cancelLoadTimer();

    Configuration configuration_;
    WebKitWebView* view_ = nullptr;
    GCancellable* cancellable_ = nullptr;
    std::vector<std::unique_ptr<HandlerEntry>> handlers_;
    // Messages behind one whose large members are being read off the main thread, in page order.
    std::deque<std::shared_ptr<PendingMessage>> pendingMessages_;
    std::vector<unsigned long> viewSignals_;
    std::size_t userScriptCount_ = 0;
    std::weak_ptr<WebViewNavigationDelegate> delegate_;
    unsigned loadTimer_ = 0;
    WebKitUserStyleSheet* obscuringStyleSheet_ = nullptr;
    bool suppressCancellation_ = false;
    bool committed_ = false;
    // Whether the web process has reported on a load since it was started. Until then the view
    // has nothing to show, and WebKit's own drawing would stall the main loop waiting for it.
    bool webProcessAnswered_ = false;
};

}  // namespace platform
