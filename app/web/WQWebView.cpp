#include "web/WQWebView.h"

#include <webkit2/webkit2.h>

#include "DebugPrint.h"
#include "foundation/Localized.h"
#include "foundation/MainQueue.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"
#include "settings/Trellik.h"

namespace parlivo {

// The page's touch-bar channel as a script-message handler. The web view keeps it; WebKit's
// registration only names it.
class WQWebView::TouchBarMessageHandler : public platform::ScriptMessageHandler {
public:
    WQTouchBarHandler handler;
    void didReceiveScriptMessage(const platform::ScriptMessage& message) override {
        handler.didReceiveScriptMessage(message.name, message.body.asString());
    }
};

std::shared_ptr<WQWebView> WQWebView::create(Configuration configuration) {
    auto touchBar = std::make_shared<TouchBarMessageHandler>();
    // Registered on the same content manager, after the configuration's own handlers.
    configuration.scriptMessageHandlers.emplace_back(std::string(WQTouchBarHandler::handlerName), touchBar);
    auto view = std::shared_ptr<WQWebView>(new WQWebView(std::move(configuration), touchBar));
    touchBar->handler.setDelegate(std::weak_ptr<WQTouchBarHandlerDelegate>(view));
    return view;
}

WQWebView::WQWebView(Configuration configuration, std::shared_ptr<TouchBarMessageHandler> touchBarHandler)
    : platform::WebView(std::move(configuration)), touchBarMessageHandler_(std::move(touchBarHandler)) {}

WQTouchBarHandler* WQWebView::touchBarHandler() const {
    return touchBarMessageHandler_ ? &touchBarMessageHandler_->handler : nullptr;
}

void WQWebView::updateTouchBarItems(bool show) {
    showTouchBarIcons_ = show;
    setTouchBar(nullptr);
}

std::shared_ptr<platform::TouchBar> WQWebView::makeTouchBar() {
    if (!showTouchBarIcons_) return nullptr;
    auto bar = std::make_shared<platform::TouchBar>();
    bar->setCustomizationIdentifier(WQTouchBarHandler::inputTouchBarIdentifier());
    bar->setDefaultItemIdentifiers({std::string(platform::touchbar::kCharacterPicker)});
    bar->setCustomizationAllowedItemIdentifiers({std::string(platform::touchbar::kCharacterPicker)});
    return bar;
}

bool WQWebView::handleKeyEvent(platform::KeyEvent& event) {
    if (ignoreKeyInput) return false;
    if (event.type != platform::KeyEvent::Type::press || event.keyval != platform::KeyEvent::returnKey) return true;
    const auto action =
        fromRaw<ReturnKeyAction>(platform::UserDefaults::standard().integerForKey(keys::returnKeyAction));
    // With "new line" chosen, Return reaches the page as Shift+Return and the other way round.
    if (action == ReturnKeyAction::newLine) event.modifiers ^= platform::KeyEvent::shiftMask;
    return true;
}

bool WQWebView::toolTipAllowedAt(double x, double y) {
    auto delegate = overlayDelegate.lock();
    return !(delegate && delegate->overlayCovers(x, y));
}

void WQWebView::willOpenContextMenu(std::vector<platform::ContextMenuItem>& items) {
    const std::size_t count = items.size();
    std::weak_ptr<WQWebView> weak = std::static_pointer_cast<WQWebView>(shared_from_this());
    auto action = [weak](const platform::ContextMenuItem& item) {
        if (auto self = weak.lock()) self->handleMenuItemClick(item.identifier);
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (items[i].identifier != kWKMenuItemIdentifierReload) continue;
        platform::ContextMenuItem reload;
        reload.identifier = kWQMenuItemIdentifierReload;
        reload.title = platform::localizedComment("GENERAL_RELOAD", "Reload");
        reload.action = action;
        platform::ContextMenuItem preferences;
        preferences.identifier = kWQMenuItemIdentifierPreferences;
        preferences.title = platform::localizedComment("PREFERENCES", "Preferences");
        preferences.action = action;
        platform::ContextMenuItem separator;
        separator.separator = true;
        platform::ContextMenuItem alwaysOnTop;
        alwaysOnTop.identifier = kWQMenuItemIdentifierAlwaysOnTop;
        alwaysOnTop.title = platform::localizedComment("ALWAYS_ON_TOP", "Always on Top");
        alwaysOnTop.checked = Trellik::shared().windowMode() == WindowMode::alwaysOnTop;
        alwaysOnTop.action = action;
        items.push_back(std::move(reload));
        items.push_back(std::move(preferences));
        items.push_back(std::move(separator));
        items.push_back(std::move(alwaysOnTop));
        items[i].hidden = true;
    }
}

void WQWebView::handleMenuItemClick(const std::string& identifier) {
    auto& trellik = Trellik::shared();
    if (identifier == kWQMenuItemIdentifierPreferences) {
        trellik.openPreferences();
    } else if (identifier == kWKMenuItemIdentifierReload || identifier == kWQMenuItemIdentifierReload) {
        // After the menu has closed: the reload takes this web view down.
        platform::MainQueue::async([owner = owner] {
            if (auto page = owner.lock()) page->reloadPage();
        });
    } else if (identifier == kWQMenuItemIdentifierAlwaysOnTop) {
        trellik.setWindowMode(trellik.windowMode() == WindowMode::defaultMode ? WindowMode::alwaysOnTop
                                                                             : WindowMode::defaultMode);
    }
}

// The drop overlay is asked first about every drag; what it leaves goes on to WebKit.
bool WQWebView::dragMotion(GdkDragContext* context, int x, int y, unsigned time) {
    auto overlay = dropView.lock();
    return overlay && overlay->dragMotion({GTK_WIDGET(gobj()), context, x, y, time});
}

bool WQWebView::dragDrop(GdkDragContext* context, int x, int y, unsigned time) {
    auto overlay = dropView.lock();
    return overlay && overlay->dragDrop({GTK_WIDGET(gobj()), context, x, y, time});
}

bool WQWebView::dragDataReceived(GdkDragContext* context, GtkSelectionData* data, unsigned time) {
    auto overlay = dropView.lock();
    return overlay && overlay->dragDataReceived(GTK_WIDGET(gobj()), context, data, time);
}

}  // namespace parlivo
