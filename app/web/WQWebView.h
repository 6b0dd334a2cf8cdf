#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "media/WQDropView.h"
#include "ui/TouchBar.h"
#include "web/WQTouchBarHandler.h"
#include "web/WebView.h"

namespace parlivo {

// Asked before the web view shows a tooltip: whether a native overlay covers the point.
class WQWebViewOverlayDelegate {
public:
    virtual ~WQWebViewOverlayDelegate() = default;
    // (x, y) in the web view's coordinates.
    virtual bool overlayCovers(double x, double y) = 0;
};

// Whoever made the web view and owns the page in it: the context menu's Reload goes straight
// there.
class WQWebViewOwner {
public:
    virtual ~WQWebViewOwner() = default;
    // A new cycle of the page (configuration, web view, page); this web view goes with it.
    virtual void reloadPage() = 0;
};

// The main window's web view. Beyond showing the page it drops all key input while the main view
// controller hides it (the lock screen), swaps Return and Shift+Return when Return should insert a
// new line, keeps the input touch bar the page asks for, replaces WebKit's Reload item of the
// context menu with its own Reload, Preferences and Always on Top, hides tooltips under native
// overlays, and lets the drop overlay take file drops first. It registers the page's
// "WQTouchBarHandler" after the handlers its configuration names. Main thread only.
class WQWebView : public platform::WebView,
                  public WQTouchBarHandlerDelegate,
                  public WQDropViewFallbackDelegate,
                  public platform::TouchBarProvider {
public:
    static constexpr std::string_view kClassName = "WQWebView";
    static constexpr const char* kWKMenuItemIdentifierReload = platform::ContextMenuItem::kReloadItemIdentifier;
    static constexpr const char* kWQMenuItemIdentifierPreferences = "WQMenuItemIdentifierPreferences";
    static constexpr const char* kWQMenuItemIdentifierReload = "WQMenuItemIdentifierReload";
    static constexpr const char* kWQMenuItemIdentifierAlwaysOnTop = "WQMenuItemIdentifierAlwaysOnTop";

    static std::shared_ptr<WQWebView> create(Configuration configuration);

    std::weak_ptr<WQWebViewOverlayDelegate> overlayDelegate;
    // Asked for the context menu's Reload, after the menu has closed; nothing happens when it is
    // gone by then.
    std::weak_ptr<WQWebViewOwner> owner;
    bool ignoreKeyInput = false;
    bool showTouchBarIcons() const { return showTouchBarIcons_; }
    // The drop overlay over this web view, which is asked first about dropped files.
    std::weak_ptr<WQDropView> dropView;

    WQTouchBarHandler* touchBarHandler() const;

    // WQTouchBarHandlerDelegate: the page's "show" / "hide"; the input bar is built again.
    void updateTouchBarItems(bool show) override;
    // WQDropViewFallbackDelegate: drags the overlay does not take are WebKit's own; the drop
    // signal goes on to WebKit's handler, which performs and finishes it.
    bool performDragOperation(const DraggingInfo&) override { return false; }
    void concludeDragOperation(const DraggingInfo&) override {}

    // The actions of the added context-menu items, by identifier.
    void handleMenuItemClick(const std::string& identifier);

    // platform::WebView hooks.
    bool handleKeyEvent(platform::KeyEvent& event) override;
    bool toolTipAllowedAt(double x, double y) override;
    void willOpenContextMenu(std::vector<platform::ContextMenuItem>& items) override;
    bool dragMotion(GdkDragContext* context, int x, int y, unsigned time) override;
    bool dragDrop(GdkDragContext* context, int x, int y, unsigned time) override;
    bool dragDataReceived(GdkDragContext* context, GtkSelectionData* data, unsigned time) override;

protected:
    std::shared_ptr<platform::TouchBar> makeTouchBar() override;

private:
    class TouchBarMessageHandler;
    WQWebView(Configuration configuration, std::shared_ptr<TouchBarMessageHandler> touchBarHandler);

    std::shared_ptr<TouchBarMessageHandler> touchBarMessageHandler_;
    bool showTouchBarIcons_ = false;
};

}  // namespace parlivo
