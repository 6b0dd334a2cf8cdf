#pragma once

#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "CameraSession.h"
#include "GStreamerPipeline.h"

namespace platform {

// The recording part of a camera session: its own pipeline from two app sources (pictures and
// sound handed over by the camera pipeline's streaming threads) through the encoders into the
// MP4 file, within the limits. Made and ended on the main thread; the push functions run on the
// camera's streaming threads and never block them.
class CameraRecording {
public:
    // The sound a recording takes, and the picture for a session of this size.
    static constexpr int audioRate = 48000;
    static constexpr int audioChannels = 2;
    static GstCaps* audioCaps();
    static GstCaps* videoCaps(const CameraSession::Options& options);

    // The elements a recording needs that are not installed, named and comma-separated; empty
    // when none is missing. GStreamer must be initialised.
    static std::string missingElements();

    // Sets up the recording pipeline into `file`, with sound when `audio`; it runs once play()
    // has said yes. An error with the reason when it cannot be set up.
    static Expected<std::shared_ptr<CameraRecording>> create(const std::filesystem::path& file,
                                                             RecordingLimits limits,
                                                             const CameraSession::Options& options, bool audio,
                                                             std::function<void()> started,
                                                             std::function<void(const RecordingResult&)> finished);
    CameraRecording(const CameraRecording&) = delete;
    CameraRecording& operator=(const CameraRecording&) = delete;

    GStreamerPipeline& pipeline() { return pipeline_; }

    // From the camera's streaming threads. A picture's time stamp starts the recording's clock;
    // pushPicture answers whether it was the first picture. Sound before the first picture or
    // past the end is left out.
    bool pushPicture(GstBuffer* buffer);
    void pushSound(GstBuffer* buffer);

    // Asks for the end: both sources end their streams, the muxer completes the file. The first
    // reason counts.
    void requestEnd(RecordingEnd reason);

    // The outcome once the pipeline reported the end (`ended`, or the error it ran into); the
    // file's size is left to whoever has let the pipeline go.
    RecordingResult result(const Expected<void>& ended);
    // Seconds of video recorded so far.
    double duration() const { return double(durationNanoseconds_.load()) / 1e9; }

    // Handed to the caller when the first picture is in, and when the file is complete.
    std::function<void()> started;
    std::function<void(const RecordingResult&)> finished;

private:
    CameraRecording() = default;
    static GstPadProbeReturn onEncodedData(GstPad* pad, GstPadProbeInfo* info, gpointer data);

    std::filesystem::path file_;
    RecordingLimits limits_;
    GstElement* videoSource_ = nullptr;  // owned by the pipeline
    GstElement* audioSource_ = nullptr;

    // The time base, what went in and the end, shared by the camera's streaming threads and
    // whoever ends the recording. Pushing into the app sources never blocks.
    std::mutex pushMutex_;
    GstClockTime start_ = GST_CLOCK_TIME_NONE;
    std::uint64_t videoPushed_ = 0;
    std::uint64_t audioPushed_ = 0;
    int end_ = -1;        // a RecordingEnd once the end was asked for; the first one counts
    bool empty_ = false;  // ended before a single picture

    // What the encoders produced, counted where it enters the muxer.
    std::mutex sizeMutex_;
    std::uint64_t payloadBytes_ = 0;
    std::uint64_t samples_ = 0;
    std::atomic<bool> cut_{false};  // past the size limit: encoded data is dropped from here on

    std::atomic<std::int64_t> durationNanoseconds_{0};

    GStreamerPipeline pipeline_;  // last: destroyed (and its threads joined) first
};

}  // namespace platform
