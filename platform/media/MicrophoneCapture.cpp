#include "MicrophoneCapture.h"

#include <gst/app/gstappsink.h>
#include <gst/audio/audio.h>
#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "GStreamerPipeline.h"
#include "foundation/MainQueue.h"

namespace platform {

// What the capture thread needs: the receiver and the clock mapping. Owned by the appsink's
// callbacks, so it lives exactly as long as they can run.
struct MicrophoneSinkContext {
    std::shared_ptr<MicrophoneCapture::Receiver> receiver;
    GstElement* pipeline = nullptr;  // not owned; outlives the sink's callbacks
    std::vector<const float*> planes = std::vector<const float*>(MicrophoneCapture::channelCount);
};

struct MicrophoneCapture::Pipeline {
    GStreamerPipeline owner;
    int rate = 0;
};

namespace {

constexpr double kMinimumBufferDuration = 0.005;
// Longer buffers would hold samples back: a batch can leave only once the buffer with its last
// sample has arrived.
constexpr double kMaximumBufferDuration = 0.020;

GstFlowReturn onNewSample(GstAppSink* sink, gpointer data) {
    auto* context = static_cast<MicrophoneSinkContext*>(data);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_OK;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstAudioInfo info;
    if (buffer && gst_audio_info_from_caps(&info, gst_sample_get_caps(sample)) &&
        GST_AUDIO_INFO_CHANNELS(&info) == MicrophoneCapture::channelCount) {
        GstAudioBuffer audio;
        if (gst_audio_buffer_map(&audio, &info, buffer, GST_MAP_READ)) {
            for (int c = 0; c < MicrophoneCapture::channelCount; ++c)
                context->planes[c] = static_cast<const float*>(audio.planes[c]);
            MicrophoneCapture::Samples samples;
            samples.frames = audio.n_samples;
            samples.channels = context->planes.data();
            samples.sampleRate = GST_AUDIO_INFO_RATE(&info);
            // A source that delivers ahead of its time stamps (the test tone) counts as captured
            // when it arrives, as a microphone's buffer is.
            const std::int64_t arrived = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                             std::chrono::steady_clock::now().time_since_epoch())
                                             .count();
            const std::int64_t end = monotonicTimeOfBufferEnd(context->pipeline, buffer, &info);
            samples.endTime = end ? std::min(end, arrived) : arrived;
            if (samples.frames > 0 && context->receiver && *context->receiver) (*context->receiver)(samples);
            gst_audio_buffer_unmap(&audio);
        }
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

void setBufferDuration(GstElement* element, double seconds) {
    // The real source inside autoaudiosrc (pulsesrc, alsasrc, ...) is an audio base source:
    // its latency-time is the length of the buffers it delivers.
    if (!GST_IS_ELEMENT(element)) return;
    GObjectClass* type = G_OBJECT_GET_CLASS(element);
    if (!g_object_class_find_property(type, "latency-time") || !g_object_class_find_property(type, "buffer-time"))
        return;
    const gint64 latency = gint64(std::llround(seconds * 1e6));
    g_object_set(element, "latency-time", latency, "buffer-time", std::max<gint64>(latency * 4, 200000), nullptr);
}

void onDeepElementAdded(GstBin*, GstBin*, GstElement* element, gpointer data) {
    setBufferDuration(element, *static_cast<double*>(data));
}

// The buffer length for a requested duration: within the limits, and for a longer request an
// equal part of it, so that the buffer holding a batch's last sample is not one that runs on
// past it (1024 samples at 16 kHz come in four buffers of 16 ms, not in 20 ms buffers whose
// fourth ends 16 ms after the batch).
double bufferDurationFor(double requested) {
    if (!std::isfinite(requested)) return kMaximumBufferDuration;
    if (requested <= kMaximumBufferDuration) return std::max(requested, kMinimumBufferDuration);
    const double parts = std::ceil(requested / kMaximumBufferDuration - 1e-9);
    return std::clamp(requested / parts, kMinimumBufferDuration, kMaximumBufferDuration);
}

const char* sourceElement(CaptureSource source) {
    return source == CaptureSource::test ? "audiotestsrc" : "autoaudiosrc";
}

// Loads the plugins of the capture's elements (GStreamer loads a plugin when its first element
// is made).
void loadCaptureElements(const char* source) {
    const char* names[] = {source, "audioconvert", "audioresample", "capsfilter", "appsink"};
    for (const char* name : names) {
        GstElementFactory* factory = gst_element_factory_find(name);
        if (!factory) continue;
        if (GstPluginFeature* loaded = gst_plugin_feature_load(GST_PLUGIN_FEATURE(factory))) gst_object_unref(loaded);
        gst_object_unref(factory);
    }
}

}  // namespace

std::shared_ptr<MicrophoneCapture> MicrophoneCapture::create() {
    return std::shared_ptr<MicrophoneCapture>(new MicrophoneCapture());
}

MicrophoneCapture::MicrophoneCapture() : receiver_(std::make_shared<Receiver>()) {}

MicrophoneCapture::~MicrophoneCapture() {
    stop();
}

void MicrophoneCapture::setReceiver(Receiver receiver) {
    // A new object rather than an assignment: a stopped pipeline's callbacks may still hold the
    // old one until the pipeline is gone.
    receiver_ = std::make_shared<Receiver>(std::move(receiver));
}

void MicrophoneCapture::setFailureHandler(FailureHandler handler) {
    failureHandler_ = std::move(handler);
}

int MicrophoneCapture::usableSampleRate(double rate) {
    if (!std::isfinite(rate)) return 0;
    const double rounded = std::round(rate);
    if (rounded < minimumSampleRate || rounded > maximumSampleRate) return 0;
    return int(rounded);
}

std::shared_future<void> MicrophoneCapture::prepare() {
    static std::once_flag once;
    static std::shared_future<void> prepared;
    std::call_once(once, [] {
        // The source is chosen here, on the caller's thread: the choice reads the environment
        // and the settings.
        const CaptureSource chosen = microphoneSource();
        if (chosen == CaptureSource::none) {
            // No microphone to capture: nothing to ready.
            std::promise<void> nothing;
            nothing.set_value();
            prepared = nothing.get_future().share();
            return;
        }
        const char* source = sourceElement(chosen);
        prepared = std::async(std::launch::async, [source] {
                       if (ensureGStreamer()) loadCaptureElements(source);
                   }).share();
    });
    return prepared;
}

bool MicrophoneCapture::isRunning() const {
    return pipeline_ != nullptr;
}

double MicrophoneCapture::sampleRate() const {
    return pipeline_ ? pipeline_->rate : 0;
}

Expected<void> MicrophoneCapture::start(double sampleRate, double bufferDuration) {
    auto fail = [&](long code, std::string reason) {
        stop();
        return captureFailure(code, std::move(reason));
    };
    const int rate = usableSampleRate(sampleRate);
    if (rate == 0) return fail(CaptureErrorCode::refused, "The sample rate is not usable");
    if (pipeline_ && pipeline_->rate == rate) return {};
    stop();

    const CaptureSource source = microphoneSource();
    if (source == CaptureSource::none) return fail(CaptureErrorCode::noDevice, "No microphone found");
    if (auto ready = ensureGStreamer(); !ready) {
        stop();
        return ready;
    }

    bufferDuration = bufferDurationFor(bufferDuration);

    auto made = std::make_shared<Pipeline>();
    made->rate = rate;
    GstElement* pipeline = gst_pipeline_new("microphone");
    made->owner.adopt(pipeline);
    GstElement* input = nullptr;
    if (source == CaptureSource::test) {
        input = gst_element_factory_make(sourceElement(source), "input");
        if (input) {
            // Live, so it delivers in real time like a microphone.
            g_object_set(input, "is-live", TRUE, "samplesperbuffer", gint(std::max(1.0, std::round(rate * bufferDuration))),
                         "freq", 440.0, "volume", 0.5, nullptr);
        }
    } else {
        input = gst_element_factory_make(sourceElement(source), "input");
        auto* duration = new double(bufferDuration);
        g_signal_connect_data(pipeline, "deep-element-added", G_CALLBACK(onDeepElementAdded), duration,
                              [](gpointer data, GClosure*) { delete static_cast<double*>(data); }, GConnectFlags(0));
    }
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstElement* sink = gst_element_factory_make("appsink", "samples");
    if (!input || !convert || !resample || !filter || !sink) {
        for (GstElement* element : {input, convert, resample, filter, sink})
            if (element) gst_object_unref(gst_object_ref_sink(element));
        return fail(CaptureErrorCode::notInstalled, "The GStreamer audio elements are not installed");
    }
    GstCaps* caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "F32LE", "layout", G_TYPE_STRING,
                                        "non-interleaved", "rate", G_TYPE_INT, rate, "channels", G_TYPE_INT,
                                        channelCount, nullptr);
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    // Samples are wanted as soon as they exist, not at their presentation time.
    g_object_set(sink, "sync", FALSE, "emit-signals", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), input, convert, resample, filter, sink, nullptr);
    if (!gst_element_link_many(input, convert, resample, filter, sink, nullptr))
        return fail(CaptureErrorCode::pipelineFailed, "The microphone pipeline could not be linked");

    auto* context = new MicrophoneSinkContext{receiver_, pipeline};
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, context,
                               [](gpointer data) { delete static_cast<MicrophoneSinkContext*>(data); });

    const unsigned generation = ++generation_;
    std::weak_ptr<MicrophoneCapture> weak = weak_from_this();
    made->owner.watchErrors([weak, generation](const std::string& reason) {
        MainQueue::async([weak, generation, reason] {
            if (auto self = weak.lock()) self->failed(generation, reason);
        });
    });

    pipeline_ = made;
    if (auto playing = made->owner.play(); !playing) {
        stop();
        return playing;
    }
    if (source == CaptureSource::automatic && GStreamerPipeline::autoDetectFellBackToFake(input))
        return fail(CaptureErrorCode::noDevice, "No microphone found");
    return {};
}

void MicrophoneCapture::stop() {
    // Destroying the pipeline stops it first; its threads have ended when this returns.
    pipeline_.reset();
    ++generation_;
}

void MicrophoneCapture::failed(unsigned generation, const std::string& reason) {
    if (generation != generation_ || !pipeline_) return;
    stop();
    if (auto handler = failureHandler_) handler(reason);
}

}  // namespace platform
