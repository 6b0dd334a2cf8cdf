#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "web/ScriptMessage.h"

namespace platform {
class UserDefaults;
}

namespace parlivo {

// The page's one piece of text kept on the native side, in the standard user defaults under
// "WQLocalWebStore": the page posts it on "localWebStore", and updateStore hands it back with
// wqLocalWebStore.update(...). Main thread only.
class WQLocalWebStore : public platform::ScriptMessageHandler {
public:
    static constexpr std::string_view kClassName = "WQLocalWebStore";
    static constexpr std::string_view messageName = "localWebStore";
    // Texts above this size are refused: the settings file holds the text and is rewritten on
    // every change of any setting.
    static constexpr std::size_t maximumTextSize = std::size_t(1) << 20;

    WQLocalWebStore();
    // A store over other settings (tests).
    explicit WQLocalWebStore(platform::UserDefaults& defaults);

    // A string body replaces the stored text; any other body is ignored. So is a text that the
    // settings file could not give back unchanged (too large, or holding a NUL character).
    void didReceiveScriptMessage(const platform::ScriptMessage& message) override;
    platform::ScriptMessageShape messageShape(std::string_view name) const override;
    // Pushes the stored text into `webView`'s page; `completion` (optional) runs once on the
    // main thread when that is done, at once when nothing is stored or there is no web view.
    void updateStore(const std::shared_ptr<platform::JavaScriptEvaluator>& webView, std::function<void()> completion);

    // The script that hands `text` to the page: wqLocalWebStore.update('<text, escaped>');
    static std::string updateScript(std::string_view text);

private:
    std::string userDefaultsPrefix_;
    platform::UserDefaults& defaults_;
};

}  // namespace parlivo
