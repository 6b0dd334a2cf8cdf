#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "web/ScriptMessage.h"
#include "web/WebView.h"

namespace Gtk {
class EventBox;
class Overlay;
class Window;
}  // namespace Gtk

namespace parlivo {

namespace notificationpanel {

struct Size {
    double width = 0, height = 0;
    bool operator==(const Size&) const = default;
};
struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

// The size a show request's "minSize" asks for: an array whose first two elements are finite,
// positive numbers (width, then height). Anything else, a shorter array included, asks for none.
std::optional<Size> requestedSize(const platform::PropertyList& minSize);

// Where a window of frame `current` (its top-left corner and size) goes when it is resized to
// `size` inside the work area `workArea`: the size at most the work area's; the top-left corner
// stays unless the grown window would leave the work area, then it moves just far enough back in.
Rect fitIntoWorkArea(const Rect& current, Size size, const Rect& workArea);

// The script that hands the panel's answer to the page that opened it.
std::string callbackScript(std::int64_t notificationId, std::string_view answer);

// Whether the panel may load `url`: an absolute http or https URL.
bool isPanelURL(std::string_view url);

}  // namespace notificationpanel

// Lays a panel written in HTML by the page ("WQNotificationHandler") over the web container: a
// second web view with its own content manager, start script and message handler
// ("WQNotificationCallbackHandler"), on a backdrop that covers the container, optionally after
// resizing the main window. The panel page's answer goes to the page that opened the panel as
// wqNotificationCenter.callback(id, 'answer'), escaped, and the panel closes once that has run.
// Any load failure of the panel's own (provisional ones too), the end of its web process and
// the end of the main page (ViewController tells) close it as well. Main thread only.
class WQNotificationCenter : public platform::ScriptMessageHandler,
                             public platform::WebViewNavigationDelegate,
                             public std::enable_shared_from_this<WQNotificationCenter> {
public:
    static constexpr std::string_view kClassName = "WQNotificationCenter";
    static constexpr std::string_view messageName = "WQNotificationHandler";
    static constexpr std::string_view kWQNotificationCallbackHandler = "WQNotificationCallbackHandler";
    // The style class of the backdrop; "dark" or "light" is added after the visual style.
    static constexpr const char* backdropStyleClass = "parlivo-notification-backdrop";
    // A panel page that has not answered after this long is a failed load (the Mac's default
    // request time-out): the backdrop would otherwise cover the chats for good.
    static constexpr double loadTimeout = 60.0;

    // What the panel reaches outside itself; tests replace parts.
    struct Environment {
        // The panel page's start script; default: "var wqStyle = '<style word>'; var wqPlatform
        // = <platform JSON>; " and the configuration's start script.
        std::function<std::string()> startScript;
        // The visual style's appearance (platform::Appearance's names); default: the settings'.
        std::function<std::string()> appearance;
    };

    WQNotificationCenter();
    explicit WQNotificationCenter(Environment environment);
    ~WQNotificationCenter() override;
    WQNotificationCenter(const WQNotificationCenter&) = delete;
    WQNotificationCenter& operator=(const WQNotificationCenter&) = delete;

    // The container the panel covers; the main view controller sets it when its view appears.
    void setParentView(std::weak_ptr<Gtk::Overlay> parentView) { parentView_ = std::move(parentView); }
    // True while a panel is shown: the web view then shows no tooltips.
    bool isDisplayingNotification() const { return isDisplayingNotification_; }
    // The "id" of the request that opened the panel; -1 without one.
    std::int64_t notificationId() const { return notificationId_; }

    // ScriptMessageHandler: show requests from the page, answers from the panel page.
    void didReceiveScriptMessage(const platform::ScriptMessage& message) override;
    // Takes the panel away; harmless without one.
    void removeNotificationPanel();
    // Builds a new panel web view (shows nothing by itself); none without a parent view.
    void showNotificationPanel();
    // Stealth mode: the panel, this one and the next, is blurred past reading like the page.
    void setContentObscured(bool obscured);

    // WebViewNavigationDelegate of the panel web view.
    void didFailProvisionalNavigation(platform::WebView& webView, const platform::Error& error) override;
    void didFailNavigation(platform::WebView& webView, const platform::Error& error) override;
    void webContentProcessDidTerminate(platform::WebView& webView) override;
    // The panel page gets no permission at all.
    void decidePermission(platform::WebView& webView, platform::PermissionRequest request) override;
    bool webViewMayShowScriptDialog(platform::WebView& webView) override;

    // --- State, for tests ---
    const std::shared_ptr<platform::WebView>& targetWebView() const { return targetWebView_; }
    Gtk::EventBox& backdrop() { return *visualEffectView_; }

    // The default start script of a panel page.
    static std::string defaultStartScript();

private:
    void handleShowRequest(const platform::ScriptMessage& message);
    void handlePanelMessage(const platform::ScriptMessage& message);
    void panelLoadFailed(platform::WebView& webView, const platform::Error& error);
    void resizeWindow(Gtk::Window& window, notificationpanel::Size size);

    Environment environment_;
    std::weak_ptr<Gtk::Overlay> parentView_;
    std::unique_ptr<Gtk::EventBox> visualEffectView_;
    std::weak_ptr<platform::JavaScriptEvaluator> sourceWebView_;
    std::shared_ptr<platform::WebView> targetWebView_;
    std::int64_t notificationId_ = -1;
    bool isDisplayingNotification_ = false;
    bool answered_ = false;
    bool contentObscured_ = false;
    // Counts panels, so that the end of an old panel's callback leaves a newer panel alone.
    std::uint64_t panelGeneration_ = 0;
};

}  // namespace parlivo
