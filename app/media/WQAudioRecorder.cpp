#include "media/WQAudioRecorder.h"

// Placeholder until voice recording is built: the page's requests are ignored.
namespace parlivo {

std::shared_ptr<WQAudioRecorder> WQAudioRecorder::create() {
    struct Made : WQAudioRecorder {};
    return std::make_shared<Made>();
}

WQAudioRecorder::WQAudioRecorder() = default;
WQAudioRecorder::~WQAudioRecorder() = default;
void WQAudioRecorder::setWebView(std::weak_ptr<platform::JavaScriptEvaluator> webView) { webView_ = std::move(webView); }
void WQAudioRecorder::didReceiveScriptMessage(const platform::ScriptMessage&) {}
void WQAudioRecorder::stopRecording() {}

}  // namespace parlivo
