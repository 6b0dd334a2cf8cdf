#include "media/WQWebMediaController.h"

// Placeholder: every request is logged and otherwise left alone.
#include "DebugPrint.h"

namespace parlivo {

namespace {
void debugLog(std::string_view message) { tovak::debugPrint(WQWebMediaController::kClassName, message); }
}  // namespace

std::shared_ptr<WQWebMediaController> WQWebMediaController::create() {
    return std::shared_ptr<WQWebMediaController>(new WQWebMediaController());
}

void WQWebMediaController::didReceiveScriptMessage(const platform::ScriptMessage& message) {
    if (message.name != messageName) return;
    const auto* action = message.body["action"].asString();
    if (!message.body.isDictionary() || !action) return;
    const auto* id = message.body["id"].asString();
    lastFileInputId = id ? std::optional<std::string>(*id) : std::nullopt;
    webView = message.webView;
    debugLog("Media request not available yet: " + *action);
}

void WQWebMediaController::showCamera(const std::vector<WQWebMediaControllerMediaType>&) {
    debugLog("Camera not available yet");
}

void WQWebMediaController::showOpenPanel(const std::optional<std::string>&,
                                         const std::vector<WQWebMediaControllerMediaType>&,
                                         const std::vector<std::string>&, bool) {
    debugLog("Open panel not available yet");
}

void WQWebMediaController::processFileURLs(const std::vector<std::filesystem::path>& fileURLs) {
    processFileURLs(fileURLs, {});
}

// Dropped, pasted and shared files: converted and sent as a drop (no file input). The owners
// of files that exist only as long as they do stay with the request until it has read them.
void WQWebMediaController::processFileURLs(const std::vector<std::filesystem::path>& fileURLs,
                                           std::vector<std::shared_ptr<void>> owners) {
    conversionChain->setWebView(webView);
    conversionChain->convertNextFile(fileURLs, std::nullopt, std::move(owners));
}

}  // namespace parlivo
