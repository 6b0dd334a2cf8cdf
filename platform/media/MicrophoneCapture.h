#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>

#include "CaptureSource.h"

namespace platform {

// The microphone, in place of an audio engine's input: the default source (GStreamer's
// autoaudiosrc) or the test tone (audiotestsrc, a 440 Hz sine, see CaptureSource), converted to
// 32-bit float samples, two channels each in its own buffer, at the requested rate. Samples are
// handed to the receiver on the capture thread as they arrive.
//
// Create, start and stop it on the main thread. Stopping releases the device and every thread
// and buffer of the capture; so does destroying it. No receiver or failure call runs after
// stop() has returned.
class MicrophoneCapture : public std::enable_shared_from_this<MicrophoneCapture> {
public:
    static constexpr int channelCount = 2;
    // Rates the capture accepts, in samples per second (after rounding to a whole number).
    static constexpr double minimumSampleRate = 1000;
    static constexpr double maximumSampleRate = 384000;

    // One buffer of samples.
    struct Samples {
        std::size_t frames = 0;
        const float* const* channels = nullptr;  // channelCount pointers to `frames` samples each
        double sampleRate = 0;
        // When the last frame of the buffer was captured, in nanoseconds of the monotonic clock
        // (std::chrono::steady_clock): from the buffer's time stamp, but never later than its
        // arrival.
        std::int64_t endTime = 0;
    };
    using Receiver = std::function<void(const Samples& samples)>;
    using FailureHandler = std::function<void(const std::string& reason)>;

    static std::shared_ptr<MicrophoneCapture> create();
    ~MicrophoneCapture();
    MicrophoneCapture(const MicrophoneCapture&) = delete;
    MicrophoneCapture& operator=(const MicrophoneCapture&) = delete;

    // Runs on the capture thread for every buffer. Set it while the capture is stopped.
    void setReceiver(Receiver receiver);
    // Runs on the main thread when a running capture fails (device gone, source error); the
    // capture has stopped and released everything by then.
    void setFailureHandler(FailureHandler handler);

    // Starts capturing at `sampleRate` in buffers of about `bufferDuration` seconds (limited to
    // 5...20 ms, so samples are never held back long; a longer duration is divided into equal
    // parts, so a batch of that duration ends with a buffer). A running capture at another rate is restarted at the new one; at the same rate
    // it keeps running. An error in CaptureErrorDomain when the rate is not finite or out of
    // range, the machine has no microphone (or the source is "none"), or the source refuses to
    // start; the capture is stopped then.
    Expected<void> start(double sampleRate, double bufferDuration);
    void stop();

    // Readies GStreamer and the capture's elements on a worker thread, once per process, so
    // that a later start() pays neither for loading (or, after plugins changed, rebuilding)
    // GStreamer's plugin registry nor for loading the elements: the first start is then as quick
    // as the next ones, and the samples of that time are not missed. Main thread (it reads the
    // source setting); the future is ready when the work is done (successful or not: start()
    // reports what went wrong).
    static std::shared_future<void> prepare();

    bool isRunning() const;
    // The rate of the running capture; 0 while stopped.
    double sampleRate() const;

    // A whole number of samples per second within the range, or 0 when `rate` gives none.
    static int usableSampleRate(double rate);

private:
    MicrophoneCapture();
    struct Pipeline;
    void failed(unsigned generation, const std::string& reason);

    std::shared_ptr<Pipeline> pipeline_;
    unsigned generation_ = 0;
    std::shared_ptr<Receiver> receiver_;
    FailureHandler failureHandler_;
};

}  // namespace platform
