#include "media/WQAudioRecorder.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>
#include <string>

#include "DebugPrint.h"
#include "foundation/MainQueue.h"
#include "foundation/NotificationCenter.h"
#include "media/MicrophoneCapture.h"
#include "media/WQAudioBatcher.h"

namespace parlivo {
namespace {

constexpr std::string_view kClassName = "WQAudioRecorder";
// Tells the page to end its recording and keep nothing of it.
constexpr std::string_view kNothingRecordedScript = "wqStopAudioRecording(false);";

std::optional<double> number(const platform::PropertyList::Dictionary& body, const std::string& key) {
    auto it = body.find(key);
    if (it == body.end()) return std::nullopt;
    // The page's numbers are read as single-precision values, widened.
    if (auto value = it->second.asReal()) return double(float(*value));
    return std::nullopt;
}

}  // namespace

// What the capture thread touches: the batch being filled, and the way back to the recorder.
// Shared by the recorder and the capture's receiver, so the capture thread never holds the
// recorder itself (and never becomes the one that destroys it).
struct WQAudioRecorder::Batching {
    std::mutex mutex;
    WQAudioBatcher batcher;
    std::weak_ptr<WQAudioRecorder> recorder;
};

std::shared_ptr<WQAudioRecorder> WQAudioRecorder::create() {
    struct Made : WQAudioRecorder {};
    return std::make_shared<Made>();
}

WQAudioRecorder::WQAudioRecorder() : batching_(std::make_shared<Batching>()) {}

// The capture goes with the recorder and releases the microphone on its way.
WQAudioRecorder::~WQAudioRecorder() = default;

void WQAudioRecorder::setWebView(std::weak_ptr<platform::JavaScriptEvaluator> webView) {
    // The page may ask to record from now on. The capture is readied meanwhile, off the main
    // thread: done at the first start, it would take that start's first samples with it (tens
    // of milliseconds, seconds while GStreamer rebuilds its plugin registry) and hold up the
    // main thread as long.
    if (!webView.expired()) platform::MicrophoneCapture::prepare();
    webView_ = std::move(webView);
}

void WQAudioRecorder::setBatchDeliveryObserver(std::function<void(std::int64_t)> observer) {
    deliveryObserver_ = std::move(observer);
}

void WQAudioRecorder::didReceiveScriptMessage(const platform::ScriptMessage& message) {
    if (message.name != messageName) return;
    const auto* body = message.body.asDictionary();
    if (!body) return;
    auto action = body->find("action");
    if (action == body->end()) return;
    const auto* name = action->second.asString();
    if (!name) return;
    if (*name == "start") {
        // Missing or non-numeric values are not numbers: the start is refused below.
        recordWithSampleRate(number(*body, "sampleRate").value_or(NAN), number(*body, "bufferSize").value_or(NAN));
    } else if (*name == "stop") {
        stopRecording();
    }
}

std::uint32_t WQAudioRecorder::batchSizeFor(double bufferSize) {
    if (!std::isfinite(bufferSize)) return 0;
    const double whole = std::trunc(bufferSize);
    return std::uint32_t(std::clamp(whole, double(minimumBufferSize), double(maximumBufferSize)));
}

void WQAudioRecorder::recordWithSampleRate(double sampleRate, double bufferSize) {
    platform::NotificationCenter::defaultCenter().post(startRecordingNotification, this);
    const std::uint32_t size = batchSizeFor(bufferSize);
    if (size == 0) return failedToRecord("The page's buffer size is not a number");
    if (platform::MicrophoneCapture::usableSampleRate(sampleRate) == 0)
        return failedToRecord("The page's sample rate is not usable");
    bufferSize_ = size;
    {
        std::lock_guard lock(batching_->mutex);
        batching_->batcher.reset(size);
    }
    if (!capture_) {
        batching_->recorder = weak_from_this();
        capture_ = platform::MicrophoneCapture::create();
        std::shared_ptr<Batching> batching = batching_;
        capture_->setReceiver([batching](const platform::MicrophoneCapture::Samples& samples) {
            const double rate = samples.sampleRate;
            std::lock_guard lock(batching->mutex);
            batching->batcher.append(samples.channels[0], samples.frames, [&](std::string script, std::size_t last) {
                // The moment the batch's last sample was taken: the buffer's end, less the
                // samples after it.
                const std::int64_t after = std::int64_t(std::llround(double(samples.frames - 1 - last) / rate * 1e9));
                const std::int64_t taken = samples.endTime ? samples.endTime - after : 0;
                platform::MainQueue::async([recorder = batching->recorder, script = std::move(script), taken]() mutable {
                    if (auto self = recorder.lock()) self->deliver(std::move(script), taken);
                });
            });
        });
        std::weak_ptr<WQAudioRecorder> weak = weak_from_this();
        capture_->setFailureHandler([weak](const std::string& reason) {
            if (auto self = weak.lock()) self->failedToRecord(reason);
        });
    }
    // A rate other than the running capture's restarts it at the new rate.
    if (auto started = capture_->start(sampleRate, double(size) / sampleRate); !started)
        return failedToRecord(started.error().message);
    tovak::debugPrint(kClassName, "Recording at " + std::to_string(int(capture_->sampleRate())) + " Hz in batches of " +
                                      std::to_string(size));
}

void WQAudioRecorder::stopRecording() {
    platform::NotificationCenter::defaultCenter().post(stopRecordingNotification, this);
    if (capture_) capture_->stop();
}

void WQAudioRecorder::failedToRecord(std::string_view reason) {
    tovak::debugPrint(kClassName, "Could not record: " + std::string(reason));
    stopRecording();
    if (auto webView = webView_.lock()) webView->evaluateJavaScript(std::string(kNothingRecordedScript));
}

bool WQAudioRecorder::isRecording() const {
    return capture_ && capture_->isRunning();
}

double WQAudioRecorder::sampleRate() const {
    return capture_ ? capture_->sampleRate() : 0;
}

void WQAudioRecorder::deliver(std::string script, std::int64_t lastSampleTime) {
    // A batch that completes after the web view is gone is dropped.
    auto webView = webView_.lock();
    if (!webView) return;
    webView->evaluateJavaScript(script);
    if (deliveryObserver_) deliveryObserver_(lastSampleTime);
}

}  // namespace parlivo
