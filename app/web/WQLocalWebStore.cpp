#include "web/WQLocalWebStore.h"

#include "DebugPrint.h"
#include "StringExtensions.h"
#include "foundation/UserDefaults.h"

namespace parlivo {

WQLocalWebStore::WQLocalWebStore() : WQLocalWebStore(platform::UserDefaults::standard()) {}

WQLocalWebStore::WQLocalWebStore(platform::UserDefaults& defaults)
    : userDefaultsPrefix_("WQLocalWebStore"), defaults_(defaults) {}

platform::ScriptMessageShape WQLocalWebStore::messageShape(std::string_view) const {
    return platform::ScriptMessageShape::text(maximumTextSize);
}

void WQLocalWebStore::didReceiveScriptMessage(const platform::ScriptMessage& message) {
    if (message.name != messageName) return;
    const std::string* text = message.body.asString();
    if (!text) return;
    // Refused rather than stored altered: the page must get back exactly what it posted.
    if (text->size() > maximumTextSize) {
        tovak::debugPrint(kClassName, "WQLocalWebStore: text too large, not stored");
        return;
    }
    if (text->find('\0') != std::string::npos) {
        tovak::debugPrint(kClassName, "WQLocalWebStore: text with a NUL character, not stored");
        return;
    }
    defaults_.setString(userDefaultsPrefix_, *text);
}

std::string WQLocalWebStore::updateScript(std::string_view text) {
    // The page's function takes one single-quoted argument; the escaper makes any text safe there.
    return "wqLocalWebStore.update('" + tovak::stringEscapedForJavascript(text) + "');";
}

void WQLocalWebStore::updateStore(const std::shared_ptr<platform::JavaScriptEvaluator>& webView,
                                  std::function<void()> completion) {
    const auto stored = defaults_.object(userDefaultsPrefix_);
    const std::string* text = stored ? stored->asString() : nullptr;
    if (!text || !webView) {
        if (!text) tovak::debugPrint(kClassName, "WQLocalWebStore: No Data to update!");
        if (completion) completion();
        return;
    }
    const std::string script = updateScript(*text);
    tovak::debugPrint(kClassName, "WQLocalWebStore: UpdateStore -> " + script);
    webView->evaluateJavaScript(script, [completion = std::move(completion)](const auto&) {
        if (completion) completion();
    });
}

}  // namespace parlivo
