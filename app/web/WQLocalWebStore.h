#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "web/ScriptMessage.h"

namespace parlivo {

// The page's one piece of text kept on the native side, in the standard user defaults under
// "WQLocalWebStore": the page posts it on "localWebStore", and updateStore hands it back with
// wqLocalWebStore.update(...). Main thread only.
class WQLocalWebStore : public platform::ScriptMessageHandler {
public:
    static constexpr std::string_view messageName = "localWebStore";

    WQLocalWebStore();
    const std::string& userDefaultsPrefix() const { return userDefaultsPrefix_; }

    // A string body replaces the stored text; any other body is ignored.
    void didReceiveScriptMessage(const platform::ScriptMessage& message) override;
    // Pushes the stored text into `webView`'s page; `completion` (optional) runs once on the
    // main thread when that is done, at once when nothing is stored or there is no web view.
    void updateStore(const std::shared_ptr<platform::JavaScriptEvaluator>& webView, std::function<void()> completion);

private:
    std::string userDefaultsPrefix_;
};

}  // namespace parlivo
