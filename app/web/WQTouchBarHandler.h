#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace parlivo {

// The web view, told when the page's message input gains or loses the focus.
class WQTouchBarHandlerDelegate {
public:
    virtual ~WQTouchBarHandlerDelegate() = default;
    virtual void updateTouchBarItems(bool show) = 0;
};

// Script-message handler for the page's "WQTouchBarHandler" channel: "show" while the message
// input has the focus, "hide" when it loses it. The web view registers one per web view and
// is its (weak) delegate.
class WQTouchBarHandler {
public:
    static constexpr std::string_view handlerName = "WQTouchBarHandler";
    // The bundle identifier followed by ".webViewInputTouchBar" (built once).
    static const std::string& inputTouchBarIdentifier();

    void setDelegate(std::weak_ptr<WQTouchBarHandlerDelegate> delegate) { delegate_ = std::move(delegate); }
    bool showTouchBarItems() const { return showTouchBarItems_; }

    // One page message. `stringBody` is the body when it is a string, null for any other kind
    // of body (number, dictionary, ...), which is ignored like any unknown word.
    void didReceiveScriptMessage(std::string_view name, const std::string* stringBody);

private:
    std::weak_ptr<WQTouchBarHandlerDelegate> delegate_;
    bool showTouchBarItems_ = false;
};

}  // namespace parlivo
