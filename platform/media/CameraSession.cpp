#include "CameraSession.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtk/gtk.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <utility>

#include "CameraRecording.h"
#include "GStreamerPipeline.h"
#include "foundation/MainQueue.h"
#include "foundation/WorkQueue.h"

namespace platform {
namespace {

std::optional<VideoFrame> frameOf(GstSample* sample) {
    GstVideoInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!buffer || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_RGBA)
        return std::nullopt;
    GstVideoFrame mapped;
    if (!gst_video_frame_map(&mapped, &info, buffer, GST_MAP_READ)) return std::nullopt;
    VideoFrame frame;
    frame.width = GST_VIDEO_FRAME_WIDTH(&mapped);
    frame.height = GST_VIDEO_FRAME_HEIGHT(&mapped);
    frame.rgba.resize(std::size_t(frame.width) * frame.height * 4);
    const auto* source = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0));
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0);
    for (int y = 0; y < frame.height; ++y)
        std::memcpy(frame.rgba.data() + std::size_t(y) * frame.width * 4, source + std::size_t(y) * stride,
                    std::size_t(frame.width) * 4);
    gst_video_frame_unmap(&mapped);
    return frame;
}

}  // namespace

// The camera pipeline and what its streaming threads share with the session.
struct CameraSession::Shared {
    std::weak_ptr<CameraSession> session;
    unsigned generation = 0;
    std::mutex mutex;
    std::shared_ptr<CameraRecording> recording;  // where pictures and sound go while recording
    std::atomic<bool> stillWanted{false};
    GstElement* videoValve = nullptr;  // owned by the pipeline
    GstElement* audioValve = nullptr;
    GStreamerPipeline pipeline;  // last: destroyed (and its threads joined) first
};

// The streaming threads' callbacks. They reach the session only through the main queue.
struct CameraSessionCallbacks {
    static GstFlowReturn onStillSample(GstAppSink* sink, gpointer data);
    static GstFlowReturn onVideoSample(GstAppSink* sink, gpointer data);
    static GstFlowReturn onAudioSample(GstAppSink* sink, gpointer data);
};

std::shared_ptr<CameraSession> CameraSession::create(Options options) {
    return std::shared_ptr<CameraSession>(new CameraSession(options));
}

CameraSession::CameraSession(Options options) : options_(options) {
    (void)ensureGStreamer();  // a failure is start()'s answer
    // gtksink makes its widget on the main thread, here, so the view can take it before start.
    if (options_.preview && gdk_display_get_default()) {
        if (GstElement* sink = makeElement("gtksink", "preview")) {
            gst_object_ref_sink(sink);
            GtkWidget* widget = nullptr;
            g_object_get(sink, "widget", &widget, nullptr);
            previewSink_ = sink;
            previewWidget_ = widget;  // the reference g_object_get gave is ours
        }
    }
}

CameraSession::~CameraSession() {
    if (shared_) {
        std::lock_guard lock(shared_->mutex);
        shared_->recording.reset();
    }
    recording_.reset();  // stops the recording pipeline without completing the file
    shared_.reset();
    if (previewSink_) gst_object_unref(static_cast<GstElement*>(previewSink_));
    if (previewWidget_) g_object_unref(previewWidget_);
}

void CameraSession::checkAvailability(std::function<void(const CaptureAvailability&)> completion) {
    const CaptureSource cameraChoice = cameraSource();
    const CaptureSource microphoneChoice = microphoneSource();
    WorkQueue::global().async([cameraChoice, microphoneChoice, completion = std::move(completion)] {
        const CaptureAvailability result = probeCaptureAvailability(cameraChoice, microphoneChoice);
        MainQueue::async([completion, result] {
            if (completion) completion(result);
        });
    });
}

void CameraSession::start(std::function<void(Expected<void> started)> completion) {
    stop();
    const unsigned generation = generation_;
    const CaptureSource cameraChoice = cameraSource();
    const CaptureSource microphoneChoice = options_.audio ? microphoneSource() : CaptureSource::none;
    const bool audio = options_.audio;
    std::weak_ptr<CameraSession> weak = weak_from_this();
    // The device monitor may take a while (sound servers, camera probing): off the main thread.
    WorkQueue::global().async([=, completion = std::move(completion)]() mutable {
        auto devices = CaptureDevices::open(cameraChoice, microphoneChoice, audio);
        MainQueue::async([weak, generation, devices, completion = std::move(completion)]() mutable {
            auto self = weak.lock();
            if (!self || generation != self->generation_) return;  // stopped meanwhile
            self->build(generation, devices, std::move(completion));
        });
    });
}

void CameraSession::build(unsigned generation, std::shared_ptr<CaptureDevices> devices,
                          std::function<void(Expected<void>)> completion) {
    auto fail = [&](long code, std::string reason) {
        stop();
        if (completion) completion(captureFailure(code, std::move(reason)));
    };
    if (devices->error) {
        stop();
        if (completion) completion(failure(*devices->error));
        return;
    }

    auto shared = std::make_shared<Shared>();
    shared->session = weak_from_this();
    shared->generation = generation;
    GstElement* pipeline = gst_pipeline_new("camera");
    shared->pipeline.adopt(pipeline);
    GstBin* bin = GST_BIN(pipeline);

    // Picture: the camera scaled to the session's size, then shared by preview, stills and
    // recording.
    GstElement* convert = makeElement("videoconvert");
    GstElement* scale = makeElement("videoscale");
    GstElement* rate = makeElement("videorate");
    GstElement* size = makeElement("capsfilter");
    GstElement* tee = makeElement("tee");
    GstElement* previewQueue = makeElement("queue");
    GstElement* previewConvert = makeElement("videoconvert");
    GstElement* preview = previewSink_ ? static_cast<GstElement*>(previewSink_) : makeElement("fakesink");
    GstElement* stillQueue = makeElement("queue");
    GstElement* stillConvert = makeElement("videoconvert");
    GstElement* stillCaps = makeElement("capsfilter");
    GstElement* still = makeElement("appsink", "still");
    GstElement* recordQueue = makeElement("queue");
    GstElement* valve = makeElement("valve");
    GstElement* recordConvert = makeElement("videoconvert");
    GstElement* recordCaps = makeElement("capsfilter");
    GstElement* record = makeElement("appsink", "video");
    GstElement* elements[] = {convert,      scale,      rate,       size,         tee,           previewQueue,
                              previewConvert, preview,  stillQueue, stillConvert, stillCaps,     still,
                              recordQueue,  valve,      recordConvert, recordCaps, record};
    for (GstElement* element : elements) {
        if (!element) {
            for (GstElement* other : elements)
                if (other && other != previewSink_) gst_object_unref(gst_object_ref_sink(other));
            return fail(CaptureErrorCode::notInstalled, "The GStreamer video elements are not installed");
        }
    }
    g_object_set(scale, "add-borders", TRUE, nullptr);
    setCaps(size, gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, options_.width, "height", G_TYPE_INT,
                                      options_.height, "framerate", GST_TYPE_FRACTION, options_.framesPerSecond, 1,
                                      "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr));
    // The preview and the still branch never hold the camera back: they keep only the newest.
    for (GstElement* queue : {previewQueue, stillQueue})
        g_object_set(queue, "leaky", 2, "max-size-buffers", 2u, "max-size-time", guint64(0), "max-size-bytes", 0u,
                     nullptr);
    g_object_set(preview, "async", FALSE, nullptr);
    if (!previewSink_) g_object_set(preview, "sync", FALSE, nullptr);
    setCaps(stillCaps, gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "RGBA", nullptr));
    g_object_set(still, "sync", FALSE, "async", FALSE, "max-buffers", 1u, "drop", TRUE, nullptr);
    g_object_set(valve, "drop", TRUE, nullptr);
    setCaps(recordCaps, CameraRecording::videoCaps(options_));
    // A sink behind a closed valve never receives a picture: it must not hold the pipeline's
    // start back waiting for one (async off), nor may the others.
    g_object_set(record, "sync", FALSE, "async", FALSE, nullptr);

    gst_bin_add(bin, devices->video);
    for (GstElement* element : elements) gst_bin_add(bin, element);
    bool linked = gst_element_link_many(devices->video, convert, scale, rate, size, tee, nullptr) &&
                  gst_element_link_many(tee, previewQueue, previewConvert, preview, nullptr) &&
                  gst_element_link_many(tee, stillQueue, stillConvert, stillCaps, still, nullptr) &&
                  gst_element_link_many(tee, recordQueue, valve, recordConvert, recordCaps, record, nullptr);
    shared->videoValve = valve;

    // Sound: only for recordings.
    if (devices->audio && linked) {
        GstElement* audioConvert = makeElement("audioconvert");
        GstElement* resample = makeElement("audioresample");
        GstElement* audioCaps = makeElement("capsfilter");
        GstElement* audioQueue = makeElement("queue");
        GstElement* audioValve = makeElement("valve");
        GstElement* audioSink = makeElement("appsink", "audio");
        GstElement* parts[] = {audioConvert, resample, audioCaps, audioQueue, audioValve, audioSink};
        for (GstElement* element : parts) {
            if (!element) {
                for (GstElement* other : parts)
                    if (other) gst_object_unref(gst_object_ref_sink(other));
                return fail(CaptureErrorCode::notInstalled, "The GStreamer audio elements are not installed");
            }
        }
        setCaps(audioCaps, CameraRecording::audioCaps());
        g_object_set(audioValve, "drop", TRUE, nullptr);
        g_object_set(audioSink, "sync", FALSE, "async", FALSE, nullptr);
        gst_bin_add(bin, devices->audio);
        for (GstElement* element : parts) gst_bin_add(bin, element);
        linked = gst_element_link_many(devices->audio, audioConvert, resample, audioCaps, audioQueue, audioValve,
                                       audioSink, nullptr);
        shared->audioValve = audioValve;
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = CameraSessionCallbacks::onAudioSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(audioSink), &callbacks, shared.get(), nullptr);
    }
    if (!linked) return fail(CaptureErrorCode::pipelineFailed, "The camera's picture could not be converted");

    // The shared state outlives the callbacks: its pipeline is destroyed first.
    GstAppSinkCallbacks stillCallbacks{};
    stillCallbacks.new_sample = CameraSessionCallbacks::onStillSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(still), &stillCallbacks, shared.get(), nullptr);
    GstAppSinkCallbacks recordCallbacks{};
    recordCallbacks.new_sample = CameraSessionCallbacks::onVideoSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(record), &recordCallbacks, shared.get(), nullptr);

    std::weak_ptr<CameraSession> weak = weak_from_this();
    shared->pipeline.watchErrors([weak, generation](const std::string& reason) {
        MainQueue::async([weak, generation, reason] {
            if (auto self = weak.lock()) self->failed(generation, reason);
        });
    });

    shared_ = shared;
    running_ = true;
    if (auto playing = shared->pipeline.play(); !playing)
        return fail(CaptureErrorCode::pipelineFailed, playing.error().message);
    if (devices->audioIsAutomatic && GStreamerPipeline::autoDetectFellBackToFake(devices->audio))
        return fail(CaptureErrorCode::noDevice, "No microphone found");
    if (completion) completion({});
}

void CameraSession::stop() {
    ++generation_;
    running_ = false;
    if (recording_) {
        // The recording pipeline completes the file on its own and reports it.
        recording_->requestEnd(RecordingEnd::interrupted);
    }
    if (shared_) {
        {
            std::lock_guard lock(shared_->mutex);
            shared_->recording.reset();
        }
        shared_.reset();  // the camera pipeline stops: devices and threads released
    }
    for (auto& request : std::exchange(stillRequests_, {}))
        MainQueue::async([request = std::move(request)] { request(std::nullopt); });
}

void CameraSession::failed(unsigned generation, const std::string& reason) {
    if (generation != generation_ || !running_) return;
    stop();
    if (auto handler = failureHandler_) handler(reason);
}

void CameraSession::captureStillFrame(std::function<void(std::optional<VideoFrame>)> completion) {
    if (!completion) return;
    if (!running_ || !shared_) {
        MainQueue::async([completion = std::move(completion)] { completion(std::nullopt); });
        return;
    }
    stillRequests_.push_back(std::move(completion));
    shared_->stillWanted = true;
}

void CameraSession::deliverStill(unsigned generation, std::optional<VideoFrame> frame) {
    if (generation != generation_) return;
    for (auto& request : std::exchange(stillRequests_, {})) request(frame);
}

Expected<void> CameraSession::startRecording(const std::filesystem::path& file, RecordingLimits limits,
                                             std::function<void()> started,
                                             std::function<void(const RecordingResult&)> finished) {
    if (!running_ || !shared_) return captureFailure(CaptureErrorCode::refused, "The camera is not running");
    if (recording_) return captureFailure(CaptureErrorCode::refused, "A recording is running");

    auto made = CameraRecording::create(file, limits, options_, shared_->audioValve != nullptr, std::move(started),
                                        std::move(finished));
    if (!made) return failure(made.error());
    std::shared_ptr<CameraRecording> recording = std::move(*made);
    std::weak_ptr<CameraSession> weak = weak_from_this();
    std::weak_ptr<CameraRecording> weakRecording = recording;
    recording->pipeline().watchMessages([weak, weakRecording](GstMessage* message) {
        Expected<void> ended;
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
            ended = captureFailure(CaptureErrorCode::pipelineFailed, errorText(message));
        else if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_EOS)
            return;
        MainQueue::async([weak, weakRecording, ended] {
            auto self = weak.lock();
            auto rec = weakRecording.lock();
            if (self && rec) self->recordingFinished(rec, ended);
        });
    });
    if (auto playing = recording->pipeline().play(); !playing) return playing;

    recording_ = recording;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->recording = recording;
    }
    g_object_set(shared_->videoValve, "drop", FALSE, nullptr);
    if (shared_->audioValve) g_object_set(shared_->audioValve, "drop", FALSE, nullptr);
    return {};
}

void CameraSession::stopRecording() {
    if (recording_) recording_->requestEnd(RecordingEnd::stopped);
}

double CameraSession::recordedDuration() const {
    return recording_ ? recording_->duration() : 0;
}

void CameraSession::recordingFinished(std::shared_ptr<CameraRecording> recording, Expected<void> ended) {
    if (recording != recording_) return;
    if (shared_) {
        {
            std::lock_guard lock(shared_->mutex);
            shared_->recording.reset();
        }
        g_object_set(shared_->videoValve, "drop", TRUE, nullptr);
        if (shared_->audioValve) g_object_set(shared_->audioValve, "drop", TRUE, nullptr);
    }
    recording_.reset();
    RecordingResult result = recording->result(ended);
    auto finished = std::move(recording->finished);
    recording.reset();  // the recording pipeline stops here; the file is complete
    std::error_code ec;
    const auto size = std::filesystem::file_size(result.file, ec);
    result.fileSize = ec ? 0 : size;
    if (finished) finished(result);
}

GstFlowReturn CameraSessionCallbacks::onStillSample(GstAppSink* sink, gpointer data) {
    auto* shared = static_cast<CameraSession::Shared*>(data);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_OK;
    if (shared->stillWanted.exchange(false)) {
        auto frame = frameOf(sample);
        MainQueue::async([session = shared->session, generation = shared->generation, frame = std::move(frame)]() mutable {
            if (auto self = session.lock()) self->deliverStill(generation, std::move(frame));
        });
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

GstFlowReturn CameraSessionCallbacks::onVideoSample(GstAppSink* sink, gpointer data) {
    auto* shared = static_cast<CameraSession::Shared*>(data);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_OK;
    std::shared_ptr<CameraRecording> rec;
    {
        std::lock_guard lock(shared->mutex);
        rec = shared->recording;
    }
    if (rec && rec->pushPicture(gst_sample_get_buffer(sample))) {
        MainQueue::async([session = shared->session, weakRecording = std::weak_ptr(rec)] {
            auto self = session.lock();
            auto recording = weakRecording.lock();
            if (self && recording && recording->started) recording->started();
        });
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

GstFlowReturn CameraSessionCallbacks::onAudioSample(GstAppSink* sink, gpointer data) {
    auto* shared = static_cast<CameraSession::Shared*>(data);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_OK;
    std::shared_ptr<CameraRecording> rec;
    {
        std::lock_guard lock(shared->mutex);
        rec = shared->recording;
    }
    if (rec) rec->pushSound(gst_sample_get_buffer(sample));
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

}  // namespace platform
