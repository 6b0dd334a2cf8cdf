#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CaptureDevices.h"
#include "CaptureSource.h"

typedef struct _GtkWidget GtkWidget;

namespace platform {

class CameraRecording;

// One picture, 8-bit RGBA with straight alpha, rows top to bottom without padding.
struct VideoFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

// What ended a recording.
enum class RecordingEnd {
    stopped,            // stopRecording()
    durationLimit,      // the maximum length was reached
    fileSizeLimit,      // the next piece would have made the file larger than the maximum size
    interrupted,        // the session stopped or its camera failed; what was recorded is kept
    failed,             // encoding or writing failed; the file is not usable
};

struct RecordingLimits {
    double maximumDuration = 0;         // seconds; 0 for none
    std::uint64_t maximumFileSize = 0;  // bytes of the finished file; 0 for none
};

struct RecordingResult {
    std::filesystem::path file;
    RecordingEnd end = RecordingEnd::stopped;
    double duration = 0;         // seconds of video written
    std::uint64_t fileSize = 0;  // bytes on disk
    std::string error;           // why it failed or was interrupted
};

// The camera (and the microphone for the sound of videos) as one capture session, in place of a
// capture session with preview, still-image and movie-file outputs: a live picture into a GTK
// widget (GStreamer's gtksink), a still frame from the same pipeline, and recordings to MP4
// (H.264 by x264, AAC) within a maximum length and file size.
//
// In three parts: the device probe (CaptureDevices), the live pipeline with its preview and
// stills (here), and the recording pipeline (CameraRecording), which the live pipeline feeds.
//
// The devices are the machine's default camera (found through GStreamer's device monitor) and
// default microphone (autoaudiosrc), or the test sources (CaptureSource). Create and use it on
// the main thread; every completion runs on the main thread. stop() and destroying the session
// release the devices, the threads and every pipeline; after destruction no completion runs.
class CameraSession : public std::enable_shared_from_this<CameraSession> {
public:
    struct Options {
        bool preview = true;  // a live picture (needs a display; without one nothing is shown)
        bool audio = true;    // the microphone, for the sound of recordings
        int width = 640;      // the picture's size: the camera's picture is scaled (and
        int height = 480;     // letterboxed) to it
        int framesPerSecond = 30;
    };

    static std::shared_ptr<CameraSession> create(Options options);
    static std::shared_ptr<CameraSession> create() { return create(Options()); }
    ~CameraSession();
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

    // Looks for the devices and the recording encoders off the main thread; the completion runs on
    // the main thread.
    static void checkAvailability(std::function<void(const CaptureAvailability&)> completion);

    // The live picture's widget, made with the session when a preview was asked for and a display
    // exists; null otherwise. Put it in a window before start(), or GStreamer opens a window of
    // its own for it.
    GtkWidget* previewWidget() const { return previewWidget_; }

    // Finds the devices and starts the picture. The completion gets success when it runs, else an
    // error in CaptureErrorDomain that says why not ("No camera found", a device that cannot be
    // opened, ...); the session is stopped then.
    void start(std::function<void(Expected<void> started)> completion);
    // Stops the picture and releases the devices; a recording ends as interrupted and keeps what
    // was recorded. A start that has not finished yet is cancelled (its completion never runs).
    void stop();
    bool isRunning() const { return running_; }
    // A running session that fails later (a camera unplugged) stops; then this is told why.
    void setFailureHandler(std::function<void(const std::string& reason)> handler) {
        failureHandler_ = std::move(handler);
    }

    // The next picture of the running session; none when it is not running or stops first.
    void captureStillFrame(std::function<void(std::optional<VideoFrame> frame)> completion);

    // Records into `file` (MP4) from the next picture on. `started` runs when the first picture is
    // in, `finished` once when the file is complete (or could not be). An error, with the reason,
    // when the session is not running, a recording runs already, or the encoders are missing.
    Expected<void> startRecording(const std::filesystem::path& file, RecordingLimits limits,
                                  std::function<void()> started,
                                  std::function<void(const RecordingResult& result)> finished);
    void stopRecording();
    bool isRecording() const { return recording_ != nullptr; }
    // Seconds of video recorded so far.
    double recordedDuration() const;

private:
    friend struct CameraSessionCallbacks;  // the streaming threads' callbacks
    explicit CameraSession(Options options);
    struct Shared;
    void build(unsigned generation, std::shared_ptr<CaptureDevices> devices,
               std::function<void(Expected<void>)> completion);
    void failed(unsigned generation, const std::string& reason);
    void recordingFinished(std::shared_ptr<CameraRecording> recording, Expected<void> ended);
    void deliverStill(unsigned generation, std::optional<VideoFrame> frame);

    Options options_;
    GtkWidget* previewWidget_ = nullptr;
    void* previewSink_ = nullptr;  // the gtksink element (GstElement*), kept for every start
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<CameraRecording> recording_;
    unsigned generation_ = 0;
    bool running_ = false;
    std::vector<std::function<void(std::optional<VideoFrame>)>> stillRequests_;
    std::function<void(const std::string&)> failureHandler_;
};

}  // namespace platform
