#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "web/ScriptMessage.h"

namespace platform {
class MicrophoneCapture;
}

namespace parlivo {

// Lends the page the microphone: "audioRecordHandler" messages ({action: "start", sampleRate,
// bufferSize} / {action: "stop"}) start and stop capture, and the samples (left channel) reach
// the page in batches of "bufferSize" through wqSendAudio([...]). Main thread only; capture runs
// on its own thread and each full batch is handed to the page on the main queue.
//
// Every start begins with an empty batch. A start that cannot capture (a sample rate or batch
// size that is not a finite number, a rate out of range, no microphone, a source that refuses)
// closes the voice popover and tells the page nothing was recorded (wqStopAudioRecording(false));
// so does a capture that fails while it runs. The microphone is released when the page stops
// recording, on such failures and when the recorder goes away.
class WQAudioRecorder : public platform::ScriptMessageHandler, public std::enable_shared_from_this<WQAudioRecorder> {
public:
    static constexpr std::string_view messageName = "audioRecordHandler";
    // Posted on the default notification centre, with the recorder as object, at the very start
    // of every start request and every stop request (and when a failure ends the recording).
    static constexpr std::string_view startRecordingNotification = "WQAudioRecorderStartRecordingNotification";
    static constexpr std::string_view stopRecordingNotification = "WQAudioRecorderStopRecordingNotification";
    // The batch sizes used: the page's "bufferSize", truncated, within these bounds.
    static constexpr std::uint32_t minimumBufferSize = 128;
    static constexpr std::uint32_t maximumBufferSize = 65536;

    static std::shared_ptr<WQAudioRecorder> create();
    ~WQAudioRecorder() override;

    // The page's web view; the main view controller gives it each new one. The microphone
    // capture is readied in the background from then on (MicrophoneCapture::prepare).
    void setWebView(std::weak_ptr<platform::JavaScriptEvaluator> webView);
    void didReceiveScriptMessage(const platform::ScriptMessage& message) override;

    // Starts (or, while recording, continues at the new rate and batch size) recording.
    void recordWithSampleRate(double sampleRate, double bufferSize);
    void stopRecording();

    bool isRecording() const;
    // The capture rate in use; 0 while not recording.
    double sampleRate() const;
    std::uint32_t bufferSize() const { return bufferSize_; }

    // Called on the main thread right after each batch was handed to the page, with the time its
    // last sample was captured (nanoseconds of std::chrono::steady_clock; 0 when unknown). For
    // measurements.
    void setBatchDeliveryObserver(std::function<void(std::int64_t lastSampleTime)> observer);

    // The batch size a start message's "bufferSize" gives; 0 when it is not a finite number.
    static std::uint32_t batchSizeFor(double bufferSize);

protected:
    WQAudioRecorder();

private:
    struct Batching;
    void failedToRecord(std::string_view reason);
    void deliver(std::string script, std::int64_t lastSampleTime);

    std::weak_ptr<platform::JavaScriptEvaluator> webView_;
    std::shared_ptr<platform::MicrophoneCapture> capture_;
    std::shared_ptr<Batching> batching_;
    std::uint32_t bufferSize_ = 0;
    std::function<void(std::int64_t)> deliveryObserver_;
};

}  // namespace parlivo
