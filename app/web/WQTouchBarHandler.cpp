#include "web/WQTouchBarHandler.h"

#include "WQApplicationInfo.h"

namespace parlivo {

const std::string& WQTouchBarHandler::inputTouchBarIdentifier() {
    static const auto* identifier = new std::string(tovak::WQApplicationInfo::bundleIdentifier() + ".webViewInputTouchBar");
    return *identifier;
}

void WQTouchBarHandler::didReceiveScriptMessage(std::string_view name, const std::string* stringBody) {
    if (name != handlerName || stringBody == nullptr) return;
    bool show;
    if (*stringBody == "show") {
        show = true;
    } else if (*stringBody == "hide") {
        show = false;
    } else {
        return;
    }
    showTouchBarItems_ = show;
    if (auto delegate = delegate_.lock()) delegate->updateTouchBarItems(show);
}

}  // namespace parlivo
