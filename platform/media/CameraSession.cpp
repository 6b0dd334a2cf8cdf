#include "CameraSession.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtk/gtk.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <utility>

#include "GStreamerPipeline.h"
#include "foundation/MainQueue.h"
#include "foundation/WorkQueue.h"

namespace platform {
namespace {

constexpr int kAudioRate = 48000;
constexpr int kAudioChannels = 2;
// What an MP4 file needs beyond the encoded samples: the file type and media data headers and
// the movie header (track headers, sample tables). Counted generously, so a recording stopped at
// the size limit never ends up above it: a fixed part and a part per sample.
constexpr std::uint64_t kContainerBytes = 8192;
constexpr std::uint64_t kContainerBytesPerSample = 24;

GstElement* make(const char* factory, const char* name = nullptr) {
    return gst_element_factory_make(factory, name);
}

// The default device of a class ("Video/Source", "Audio/Source"): its element (floating ref
// sunk, so the caller owns it) and display name. Monitors of outputs (a sound card's loopback)
// are not microphones.
GstElement* defaultDevice(const char* deviceClass, std::string* name) {
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, deviceClass, nullptr);
    GstElement* element = nullptr;
    if (gst_device_monitor_start(monitor)) {
        GList* devices = gst_device_monitor_get_devices(monitor);
        for (GList* it = devices; it && !element; it = it->next) {
            GstDevice* device = GST_DEVICE(it->data);
            GstStructure* properties = gst_device_get_properties(device);
            const char* kind = properties ? gst_structure_get_string(properties, "device.class") : nullptr;
            const bool loopback = kind && std::strcmp(kind, "monitor") == 0;
            if (properties) gst_structure_free(properties);
            if (loopback) continue;
            element = gst_device_create_element(device, nullptr);
            if (element) {
                gst_object_ref_sink(element);
                gchar* display = gst_device_get_display_name(device);
                if (name && display) *name = display;
                g_free(display);
            }
        }
        g_list_free_full(devices, gst_object_unref);
        gst_device_monitor_stop(monitor);
    }
    gst_object_unref(monitor);
    return element;
}

std::string availabilityMessage(bool camera, bool microphone) {
    if (camera && microphone) return {};
    if (!camera && !microphone) return "No camera and no microphone found";
    return camera ? "No microphone found" : "No camera found";
}

void setCaps(GstElement* filter, GstCaps* caps) {
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
}

GstCaps* recordVideoCaps(const CameraSession::Options& o) {
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", "width", G_TYPE_INT, o.width, "height",
                               G_TYPE_INT, o.height, "framerate", GST_TYPE_FRACTION, o.framesPerSecond, 1,
                               "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
}

GstCaps* recordAudioCaps() {
    return gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING, "interleaved",
                               "rate", G_TYPE_INT, kAudioRate, "channels", G_TYPE_INT, kAudioChannels, nullptr);
}

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

// The devices a start found, made off the main thread.
struct CameraSession::Devices {
    GstElement* video = nullptr;
    GstElement* audio = nullptr;
    bool audioIsAutomatic = false;
    std::string error;
    ~Devices() {
        if (video) gst_object_unref(video);
        if (audio) gst_object_unref(audio);
    }
};

// One recording: its own pipeline from two app sources (pictures and sound handed over by the
// camera pipeline) through the encoders into the MP4 file.
struct CameraSession::Recording {
    std::filesystem::path file;
    RecordingLimits limits;
    std::function<void()> started;
    std::function<void(const RecordingResult&)> finished;
    GstElement* videoSource = nullptr;  // owned by the pipeline
    GstElement* audioSource = nullptr;

    // The time base, what went in and the end, shared by the camera's streaming threads and
    // whoever ends the recording. Pushing into the app sources never blocks.
    std::mutex pushMutex;
    GstClockTime start = GST_CLOCK_TIME_NONE;
    std::uint64_t videoPushed = 0;
    std::uint64_t audioPushed = 0;
    int end = -1;  // a RecordingEnd once the end was asked for; the first one counts
    bool empty = false;  // ended before a single picture

    // What the encoders produced, counted where it enters the muxer.
    std::mutex sizeMutex;
    std::uint64_t payloadBytes = 0;
    std::uint64_t samples = 0;
    std::atomic<bool> cut{false};  // past the size limit: encoded data is dropped from here on

    std::atomic<std::int64_t> durationNanoseconds{0};

    GStreamerPipeline pipeline;  // last: destroyed (and its threads joined) first

    int endReason() {
        std::lock_guard lock(pushMutex);
        return end;
    }

    // Asks for the end: both sources end their streams, the muxer completes the file. A track
    // without a single sample makes an MP4 that players refuse, so a sound track that got nothing
    // yet gets a moment of silence.
    void requestEnd(RecordingEnd reason) {
        std::lock_guard lock(pushMutex);
        if (end >= 0) return;
        end = int(reason);
        empty = videoPushed == 0;
        if (audioSource && audioPushed == 0 && !empty) {
            const gsize frames = 1024;
            GstBuffer* silence = gst_buffer_new_allocate(nullptr, frames * kAudioChannels * 2, nullptr);
            gst_buffer_memset(silence, 0, 0, frames * kAudioChannels * 2);
            GST_BUFFER_PTS(silence) = 0;
            GST_BUFFER_DURATION(silence) = gst_util_uint64_scale_int(frames, GST_SECOND, kAudioRate);
            gst_app_src_push_buffer(GST_APP_SRC(audioSource), silence);
        }
        if (videoSource) gst_app_src_end_of_stream(GST_APP_SRC(videoSource));
        if (audioSource) gst_app_src_end_of_stream(GST_APP_SRC(audioSource));
    }
};

// The camera pipeline and what its streaming threads share with the session.
struct CameraSession::Shared {
    std::weak_ptr<CameraSession> session;
    unsigned generation = 0;
    std::mutex mutex;
    std::shared_ptr<Recording> recording;  // where pictures and sound go while recording
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
    static GstPadProbeReturn onEncodedData(GstPad* pad, GstPadProbeInfo* info, gpointer data);
};

std::shared_ptr<CameraSession> CameraSession::create(Options options) {
    return std::shared_ptr<CameraSession>(new CameraSession(options));
}

CameraSession::CameraSession(Options options) : options_(options) {
    ensureGStreamer();
    // gtksink makes its widget on the main thread, here, so the view can take it before start.
    if (options_.preview && gdk_display_get_default()) {
        if (GstElement* sink = make("gtksink", "preview")) {
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
        CaptureAvailability result;
        if (ensureGStreamer()) {
            if (cameraChoice == CaptureSource::test) {
                result.camera = true;
                result.cameraName = "Test picture";
            } else if (cameraChoice == CaptureSource::automatic) {
                if (GstElement* element = defaultDevice("Video/Source", &result.cameraName)) {
                    result.camera = true;
                    gst_object_unref(element);
                }
            }
            if (microphoneChoice == CaptureSource::test) {
                result.microphone = true;
            } else if (microphoneChoice == CaptureSource::automatic) {
                if (GstElement* element = defaultDevice("Audio/Source", nullptr)) {
                    result.microphone = true;
                    gst_object_unref(element);
                }
            }
        }
        result.message = availabilityMessage(result.camera, result.microphone);
        std::string missing;
        if (ensureGStreamer()) {
            for (const char* factory : {"appsrc", "x264enc", "mp4mux", "filesink", "audioconvert", "avenc_aac", "aacparse"}) {
                if (GstElementFactory* found = gst_element_factory_find(factory))
                    gst_object_unref(found);
                else
                    missing.append(missing.empty() ? "" : ", ").append(factory);
            }
        } else {
            missing = "GStreamer";
        }
        result.recording = missing.empty();
        if (!missing.empty()) result.recordingMessage = "Videos cannot be recorded: " + missing + " not installed";
        MainQueue::async([completion, result] {
            if (completion) completion(result);
        });
    });
}

void CameraSession::start(std::function<void(std::optional<std::string>)> completion) {
    stop();
    const unsigned generation = generation_;
    const CaptureSource cameraChoice = cameraSource();
    const CaptureSource microphoneChoice = options_.audio ? microphoneSource() : CaptureSource::none;
    const bool audio = options_.audio;
    std::weak_ptr<CameraSession> weak = weak_from_this();
    // The device monitor may take a while (sound servers, camera probing): off the main thread.
    WorkQueue::global().async([=, completion = std::move(completion)]() mutable {
        auto devices = std::make_shared<Devices>();
        std::string gstError;
        if (!ensureGStreamer(&gstError)) {
            devices->error = gstError;
        } else {
            if (cameraChoice == CaptureSource::test) {
                devices->video = make("videotestsrc", "camera");
                if (devices->video) {
                    gst_object_ref_sink(devices->video);
                    g_object_set(devices->video, "is-live", TRUE, nullptr);
                }
            } else if (cameraChoice == CaptureSource::automatic) {
                devices->video = defaultDevice("Video/Source", nullptr);
            }
            if (audio) {
                if (microphoneChoice == CaptureSource::test) {
                    devices->audio = make("audiotestsrc", "microphone");
                    if (devices->audio) {
                        gst_object_ref_sink(devices->audio);
                        g_object_set(devices->audio, "is-live", TRUE, "volume", 0.3, nullptr);
                    }
                } else if (microphoneChoice == CaptureSource::automatic) {
                    if (GstElement* found = defaultDevice("Audio/Source", nullptr)) {
                        gst_object_unref(found);
                        // The default input, as the sound settings choose it.
                        devices->audio = make("autoaudiosrc", "microphone");
                        if (devices->audio) gst_object_ref_sink(devices->audio);
                        devices->audioIsAutomatic = true;
                    }
                }
            }
            const std::string missing = availabilityMessage(devices->video != nullptr, !audio || devices->audio);
            if (!missing.empty()) devices->error = missing;
        }
        MainQueue::async([weak, generation, devices, completion = std::move(completion)]() mutable {
            auto self = weak.lock();
            if (!self || generation != self->generation_) return;  // stopped meanwhile
            self->build(generation, devices, std::move(completion));
        });
    });
}

void CameraSession::build(unsigned generation, std::shared_ptr<Devices> devices,
                          std::function<void(std::optional<std::string>)> completion) {
    auto fail = [&](std::string reason) {
        stop();
        if (completion) completion(std::move(reason));
    };
    if (!devices->error.empty()) return fail(devices->error);

    auto shared = std::make_shared<Shared>();
    shared->session = weak_from_this();
    shared->generation = generation;
    GstElement* pipeline = gst_pipeline_new("camera");
    shared->pipeline.adopt(pipeline);
    GstBin* bin = GST_BIN(pipeline);

    // Picture: the camera scaled to the session's size, then shared by preview, stills and
    // recording.
    GstElement* convert = make("videoconvert");
    GstElement* scale = make("videoscale");
    GstElement* rate = make("videorate");
    GstElement* size = make("capsfilter");
    GstElement* tee = make("tee");
    GstElement* previewQueue = make("queue");
    GstElement* previewConvert = make("videoconvert");
    GstElement* preview = previewSink_ ? static_cast<GstElement*>(previewSink_) : make("fakesink");
    GstElement* stillQueue = make("queue");
    GstElement* stillConvert = make("videoconvert");
    GstElement* stillCaps = make("capsfilter");
    GstElement* still = make("appsink", "still");
    GstElement* recordQueue = make("queue");
    GstElement* valve = make("valve");
    GstElement* recordConvert = make("videoconvert");
    GstElement* recordCaps = make("capsfilter");
    GstElement* record = make("appsink", "video");
    GstElement* elements[] = {convert,      scale,      rate,       size,         tee,           previewQueue,
                              previewConvert, preview,  stillQueue, stillConvert, stillCaps,     still,
                              recordQueue,  valve,      recordConvert, recordCaps, record};
    for (GstElement* element : elements) {
        if (!element) {
            for (GstElement* other : elements)
                if (other && other != previewSink_) gst_object_unref(gst_object_ref_sink(other));
            return fail("The GStreamer video elements are not installed");
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
    setCaps(recordCaps, recordVideoCaps(options_));
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
        GstElement* audioConvert = make("audioconvert");
        GstElement* resample = make("audioresample");
        GstElement* audioCaps = make("capsfilter");
        GstElement* audioQueue = make("queue");
        GstElement* audioValve = make("valve");
        GstElement* audioSink = make("appsink", "audio");
        GstElement* parts[] = {audioConvert, resample, audioCaps, audioQueue, audioValve, audioSink};
        for (GstElement* element : parts) {
            if (!element) {
                for (GstElement* other : parts)
                    if (other) gst_object_unref(gst_object_ref_sink(other));
                return fail("The GStreamer audio elements are not installed");
            }
        }
        setCaps(audioCaps, recordAudioCaps());
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
    if (!linked) return fail("The camera's picture could not be converted");

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
    if (auto error = shared->pipeline.play()) return fail(*error);
    if (devices->audioIsAutomatic && GStreamerPipeline::autoDetectFellBackToFake(devices->audio))
        return fail("No microphone found");
    if (completion) completion(std::nullopt);
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

bool CameraSession::startRecording(const std::filesystem::path& file, RecordingLimits limits,
                                   std::function<void()> started,
                                   std::function<void(const RecordingResult&)> finished, std::string* error) {
    auto fail = [&](std::string reason) {
        if (error) *error = std::move(reason);
        return false;
    };
    if (!running_ || !shared_) return fail("The camera is not running");
    if (recording_) return fail("A recording is running");

    auto recording = std::make_shared<Recording>();
    recording->file = file;
    recording->limits = limits;
    recording->started = std::move(started);
    recording->finished = std::move(finished);
    const bool audio = shared_->audioValve != nullptr;

    GstElement* pipeline = gst_pipeline_new("recording");
    recording->pipeline.adopt(pipeline);
    GstBin* bin = GST_BIN(pipeline);
    GstElement* videoSource = make("appsrc", "video");
    GstElement* videoQueue = make("queue");
    GstElement* encoder = make("x264enc");
    GstElement* profile = make("capsfilter");
    GstElement* mux = make("mp4mux");
    GstElement* sink = make("filesink");
    GstElement* audioSource = audio ? make("appsrc", "audio") : nullptr;
    GstElement* audioQueue = audio ? make("queue") : nullptr;
    GstElement* audioConvert = audio ? make("audioconvert") : nullptr;
    GstElement* aac = audio ? make("avenc_aac") : nullptr;
    GstElement* aacParse = audio ? make("aacparse") : nullptr;
    std::vector<GstElement*> elements{videoSource, videoQueue, encoder, profile, mux, sink};
    if (audio) elements.insert(elements.end(), {audioSource, audioQueue, audioConvert, aac, aacParse});
    for (GstElement* element : elements) {
        if (!element) {
            for (GstElement* other : elements)
                if (other) gst_object_unref(gst_object_ref_sink(other));
            return fail("The video encoders are not installed (x264enc, avenc_aac, mp4mux)");
        }
    }
    for (GstElement* source : {videoSource, audioSource}) {
        if (!source) continue;
        // Live, timed by the camera's clock; never blocks the camera's thread.
        g_object_set(source, "format", GST_FORMAT_TIME, "is-live", TRUE, "do-timestamp", FALSE, "block", FALSE,
                     "max-bytes", guint64(64) << 20, nullptr);
    }
    GstCaps* videoCaps = recordVideoCaps(options_);
    gst_app_src_set_caps(GST_APP_SRC(videoSource), videoCaps);
    gst_caps_unref(videoCaps);
    // Live recording: no frames held back for look-ahead, so a stop is a stop.
    const int kbps = std::max(300, int(double(options_.width) * options_.height * options_.framesPerSecond * 0.12 / 1000));
    gst_util_set_object_arg(G_OBJECT(encoder), "tune", "zerolatency");
    gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset", "veryfast");
    g_object_set(encoder, "bitrate", guint(kbps), "key-int-max", guint(options_.framesPerSecond * 2), nullptr);
    // What MP4 holds and every player reads: main profile, length-prefixed access units.
    setCaps(profile, gst_caps_new_simple("video/x-h264", "profile", G_TYPE_STRING, "main", "stream-format",
                                         G_TYPE_STRING, "avc", "alignment", G_TYPE_STRING, "au", nullptr));
    g_object_set(sink, "location", file.c_str(), "sync", FALSE, nullptr);
    if (audio) {
        GstCaps* caps = recordAudioCaps();
        gst_app_src_set_caps(GST_APP_SRC(audioSource), caps);
        gst_caps_unref(caps);
        gst_util_set_object_arg(G_OBJECT(aac), "bitrate", "128000");
    }
    for (GstElement* element : elements) gst_bin_add(bin, element);
    bool linked = gst_element_link_many(videoSource, videoQueue, encoder, profile, mux, sink, nullptr);
    if (audio) linked = linked && gst_element_link_many(audioSource, audioQueue, audioConvert, aac, aacParse, mux, nullptr);
    if (!linked) return fail("The recording could not be set up");
    recording->videoSource = videoSource;
    recording->audioSource = audioSource;

    for (GstElement* encoded : {profile, aacParse}) {
        if (!encoded) continue;
        GstPad* pad = gst_element_get_static_pad(encoded, "src");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, CameraSessionCallbacks::onEncodedData, recording.get(),
                          nullptr);
        gst_object_unref(pad);
    }

    std::weak_ptr<CameraSession> weak = weak_from_this();
    std::weak_ptr<Recording> weakRecording = recording;
    recording->pipeline.watchMessages([weak, weakRecording](GstMessage* message) {
        std::optional<std::string> error;
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
            error = errorText(message);
        else if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_EOS)
            return;
        MainQueue::async([weak, weakRecording, error] {
            auto self = weak.lock();
            auto rec = weakRecording.lock();
            if (self && rec) self->recordingFinished(rec, error);
        });
    });
    if (auto failure = recording->pipeline.play()) return fail(*failure);

    recording_ = recording;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->recording = recording;
    }
    g_object_set(shared_->videoValve, "drop", FALSE, nullptr);
    if (shared_->audioValve) g_object_set(shared_->audioValve, "drop", FALSE, nullptr);
    return true;
}

void CameraSession::stopRecording() {
    if (recording_) recording_->requestEnd(RecordingEnd::stopped);
}

double CameraSession::recordedDuration() const {
    return recording_ ? double(recording_->durationNanoseconds.load()) / 1e9 : 0;
}

void CameraSession::recordingFinished(std::shared_ptr<Recording> recording, std::optional<std::string> error) {
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
    RecordingResult result;
    result.file = recording->file;
    const int end = recording->endReason();
    bool empty;
    {
        std::lock_guard lock(recording->pushMutex);
        empty = recording->empty || recording->videoPushed == 0;
    }
    result.end = error || empty ? RecordingEnd::failed : end < 0 ? RecordingEnd::stopped : RecordingEnd(end);
    if (error)
        result.error = *error;
    else if (empty)
        result.error = "Nothing was recorded";
    result.duration = double(recording->durationNanoseconds.load()) / 1e9;
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
    std::shared_ptr<CameraSession::Recording> rec;
    {
        std::lock_guard lock(shared->mutex);
        rec = shared->recording;
    }
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (rec && buffer && GST_BUFFER_PTS_IS_VALID(buffer)) {
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        bool first = false, limitReached = false;
        {
            std::lock_guard lock(rec->pushMutex);
            if (rec->end < 0) {
                if (!GST_CLOCK_TIME_IS_VALID(rec->start)) rec->start = pts;
                const GstClockTime relative = pts >= rec->start ? pts - rec->start : 0;
                const double maximum = rec->limits.maximumDuration;
                if (maximum > 0 && double(relative) >= maximum * 1e9) {
                    limitReached = true;
                } else {
                    GstBuffer* copy = gst_buffer_copy(buffer);  // shares the picture, new time stamps
                    GST_BUFFER_PTS(copy) = relative;
                    GST_BUFFER_DTS(copy) = GST_CLOCK_TIME_NONE;
                    const GstClockTime duration = GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : 0;
                    rec->durationNanoseconds = std::int64_t(relative + duration);
                    gst_app_src_push_buffer(GST_APP_SRC(rec->videoSource), copy);
                    first = rec->videoPushed++ == 0;
                }
            }
        }
        if (limitReached) rec->requestEnd(RecordingEnd::durationLimit);
        if (first) {
            MainQueue::async([session = shared->session, weakRecording = std::weak_ptr(rec)] {
                auto self = session.lock();
                auto recording = weakRecording.lock();
                if (self && recording && recording->started) recording->started();
            });
        }
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

GstFlowReturn CameraSessionCallbacks::onAudioSample(GstAppSink* sink, gpointer data) {
    auto* shared = static_cast<CameraSession::Shared*>(data);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_OK;
    std::shared_ptr<CameraSession::Recording> rec;
    {
        std::lock_guard lock(shared->mutex);
        rec = shared->recording;
    }
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (rec && rec->audioSource && buffer && GST_BUFFER_PTS_IS_VALID(buffer)) {
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        std::lock_guard lock(rec->pushMutex);
        const GstClockTime start = rec->start;
        const double maximum = rec->limits.maximumDuration;
        // Sound before the first picture is not part of the recording, nor sound past the end.
        if (rec->end < 0 && GST_CLOCK_TIME_IS_VALID(start) && pts >= start &&
            !(maximum > 0 && double(pts - start) >= maximum * 1e9)) {
            GstBuffer* copy = gst_buffer_copy(buffer);
            GST_BUFFER_PTS(copy) = pts - start;
            GST_BUFFER_DTS(copy) = GST_CLOCK_TIME_NONE;
            gst_app_src_push_buffer(GST_APP_SRC(rec->audioSource), copy);
            ++rec->audioPushed;
        }
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

// The size limit is kept where the encoded data enters the muxer: a piece that would make the
// finished file larger than the maximum ends the recording instead of going in.
GstPadProbeReturn CameraSessionCallbacks::onEncodedData(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* rec = static_cast<CameraSession::Recording*>(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer) return GST_PAD_PROBE_OK;
    if (rec->cut) return GST_PAD_PROBE_DROP;
    const std::uint64_t size = gst_buffer_get_size(buffer);
    {
        std::lock_guard lock(rec->sizeMutex);
        const std::uint64_t total =
            rec->payloadBytes + size + kContainerBytes + (rec->samples + 1) * kContainerBytesPerSample;
        if (rec->limits.maximumFileSize == 0 || total <= rec->limits.maximumFileSize) {
            rec->payloadBytes += size;
            ++rec->samples;
            return GST_PAD_PROBE_OK;
        }
        rec->cut = true;
    }
    rec->requestEnd(RecordingEnd::fileSizeLimit);
    return GST_PAD_PROBE_DROP;
}

}  // namespace platform
