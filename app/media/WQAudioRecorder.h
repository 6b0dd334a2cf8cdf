#pragma once

#include <memory>
#include <string_view>

#include "web/ScriptMessage.h"

namespace parlivo {

// Lends the page the microphone: "audioRecordHandler" messages ({action: "start", sampleRate,
// bufferSize} / {action: "stop"}) start and stop capture, and the samples reach the page in
// batches through wqSendAudio(...). Main thread only; capture runs on its own thread.
class WQAudioRecorder : public platform::ScriptMessageHandler, public std::enable_shared_from_this<WQAudioRecorder> {
public:
    static constexpr std::string_view messageName = "audioRecordHandler";

    static std::shared_ptr<WQAudioRecorder> create();
    ~WQAudioRecorder() override;

    // The page's web view; the main view controller gives it each new one.
    void setWebView(std::weak_ptr<platform::JavaScriptEvaluator> webView);
    void didReceiveScriptMessage(const platform::ScriptMessage& message) override;
    void stopRecording();

protected:
    WQAudioRecorder();

private:
    std::weak_ptr<platform::JavaScriptEvaluator> webView_;
};

}  // namespace parlivo
