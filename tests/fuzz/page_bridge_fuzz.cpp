// A page's message, from its JSON text to the native side: the value conversion with its bounds,
// the page bridge's checks under every name it serves, and the scripts built from what passes.
// Any bytes give a refusal or a handled message, never a crash or a broken script.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "web/PageMessageDispatcher.h"
#include "web/PageScripts.h"
#include "web/ScriptValueConversion.h"

namespace {

using namespace parlivo;

// Builds the answer scripts from whatever reached it, as the main view controller would.
struct Host : PageBridgeHost {
    void use(std::string_view text) {
        volatile auto size = pagescripts::openChat(text).size() + pagescripts::downloadBlob(text).size();
        (void)size;
    }
    void showDesktopNotification(const IncomingMessage& m) override { use(m.id); }
    void openSettings() override {}
    void contactWithError() override {}
    void pageDidInit(const std::shared_ptr<platform::JavaScriptEvaluator>&) override {}
    void pageWillStartup() override {}
    void pageDidStartup() override {}
    void reloadRequested() override {}
    void logoutRequested() override {}
    void toggleDoNotDisturb() override {}
    void removeNotifications() override {}
    void checkForUpdates() override {}
    void saveDownload(std::string, const std::string& mime, const std::optional<std::string>& name) override {
        use(mime);
        if (name) use(*name);
    }
    void openExternalURL(const std::string& url) override { use(url); }
    void loadURLInWebView(const std::string& url) override { use(url); }
    std::optional<std::string> configuredPageURL() override { return std::string("https://web.example.org/"); }
    void sendMail(const std::string&, const std::string&, const std::string&) override {}
    void exitProcess(int) override {}
    void convertAudio(const std::string& id, const std::string& url, std::weak_ptr<platform::JavaScriptEvaluator>) override {
        use(pagescripts::changeAudioToURL("audio/mp4", "", id));
        use(url);
    }
    void runFFmpeg(const std::string& id, std::string, const std::string&, const std::string& out,
                   platform::ScriptValue::Array, std::weak_ptr<platform::JavaScriptEvaluator>) override {
        use(pagescripts::ffmpegCallback(id, std::string(), out));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::ScriptValueLimits limits;
    limits.maxDepth = 16;
    limits.maxNodes = 4096;
    limits.maxStringBytes = 1 << 20;
    auto body = platform::scriptValueFromJSON(text, limits);
    if (!body) return 0;
    (void)platform::describeScriptValue(*body, 256);
    static auto host = std::make_shared<Host>();
    PageMessageDispatcher dispatcher(host);
    for (const char* name : {"incomingMessageHandler", "eventHandler", "audioHandler", "ffmpegHandler"})
        dispatcher.didReceiveScriptMessage({name, *body, {}});
    return 0;
}
