#include "GStreamerPipeline.h"

#include <atomic>
#include <chrono>
#include <cstring>

namespace platform {
namespace {

std::atomic<int> livePipelines{0};

void pipelineFinalized(gpointer, GObject*) {
    --livePipelines;
}

}  // namespace

GStreamerPipeline::~GStreamerPipeline() {
    if (!pipeline_) return;
    // NULL state joins the streaming threads and closes the devices.
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    if (busWatched_) {
        GstBus* bus = gst_element_get_bus(pipeline_);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
    }
    gst_object_unref(pipeline_);
}

void GStreamerPipeline::adopt(GstElement* pipeline) {
    // A new pipeline may or may not come floating; either way the reference given is ours now.
    if (g_object_is_floating(pipeline)) gst_object_ref_sink(pipeline);
    pipeline_ = pipeline;
    ++livePipelines;
    g_object_weak_ref(G_OBJECT(pipeline_), pipelineFinalized, nullptr);
    GstBus* bus = gst_element_get_bus(pipeline_);
    // The watch is shared with the handler, which may run while this object is being destroyed.
    gst_bus_set_sync_handler(bus, onMessage, new std::shared_ptr<Watch>(watch_),
                             [](gpointer data) { delete static_cast<std::shared_ptr<Watch>*>(data); });
    gst_object_unref(bus);
    busWatched_ = true;
}

void GStreamerPipeline::watchErrors(std::function<void(const std::string&)> handler) {
    std::lock_guard lock(watch_->mutex);
    watch_->errorHandler = std::move(handler);
}

void GStreamerPipeline::watchMessages(std::function<void(GstMessage*)> handler) {
    std::lock_guard lock(watch_->mutex);
    watch_->messageHandler = std::move(handler);
}

GstBusSyncReply GStreamerPipeline::onMessage(GstBus*, GstMessage* message, gpointer data) {
    auto& watch = **static_cast<std::shared_ptr<Watch>*>(data);
    std::function<void(const std::string&)> errorHandler;
    std::function<void(GstMessage*)> messageHandler;
    std::string error;
    {
        std::lock_guard lock(watch.mutex);
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
            error = errorText(message);
            if (!watch.firstError) watch.firstError = error;
            if (watch.armed) errorHandler = watch.errorHandler;
        }
        if (watch.armed) messageHandler = watch.messageHandler;
    }
    if (errorHandler) errorHandler(error);
    if (messageHandler) messageHandler(message);
    // Nobody reads the bus's queue: everything is handled here. A sync handler that drops a
    // message owns it.
    gst_message_unref(message);
    return GST_BUS_DROP;
}

Expected<void> GStreamerPipeline::play() {
    if (!pipeline_) return captureFailure(CaptureErrorCode::pipelineFailed, "No pipeline");
    const GstStateChangeReturn result = gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    std::lock_guard lock(watch_->mutex);
    if (result == GST_STATE_CHANGE_FAILURE || watch_->firstError)
        return captureFailure(CaptureErrorCode::pipelineFailed,
                              watch_->firstError.value_or("The pipeline could not be started"));
    watch_->armed = true;
    return {};
}

int livePipelineCount() {
    return livePipelines.load();
}

bool GStreamerPipeline::autoDetectFellBackToFake(GstElement* autoElement) {
    if (!GST_IS_BIN(autoElement)) return false;
    bool fake = false;
    GstIterator* it = gst_bin_iterate_elements(GST_BIN(autoElement));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto* child = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory* factory = gst_element_get_factory(child);
        const char* name = factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : "";
        if (std::strcmp(name, "fakesrc") == 0 || std::strcmp(name, "fakesink") == 0 ||
            std::strcmp(name, "fakevideosink") == 0)
            fake = true;
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return fake;
}

std::int64_t monotonicTimeOfBufferEnd(GstElement* pipeline, GstBuffer* buffer, const GstAudioInfo* info) {
    if (!GST_BUFFER_PTS_IS_VALID(buffer)) return 0;
    GstClock* clock = gst_element_get_clock(pipeline);
    if (!clock) return 0;
    GstClockTime duration = GST_BUFFER_DURATION(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(duration) && info && GST_AUDIO_INFO_RATE(info) > 0 && GST_AUDIO_INFO_BPF(info) > 0) {
        const gsize frames = gst_buffer_get_size(buffer) / GST_AUDIO_INFO_BPF(info);  // either layout
        duration = gst_util_uint64_scale_int(frames, GST_SECOND, GST_AUDIO_INFO_RATE(info));
    }
    if (!GST_CLOCK_TIME_IS_VALID(duration)) duration = 0;
    const GstClockTime end = gst_element_get_base_time(pipeline) + GST_BUFFER_PTS(buffer) + duration;
    const GstClockTime now = gst_clock_get_time(clock);
    gst_object_unref(clock);
    const std::int64_t steadyNow =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
    return steadyNow - (std::int64_t(now) - std::int64_t(end));
}

std::string errorText(GstMessage* message) {
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    std::string text = error ? error->message : "Unknown error";
    if (GST_MESSAGE_SRC(message)) {
        gchar* name = gst_object_get_name(GST_MESSAGE_SRC(message));
        if (name) text = std::string(name) + ": " + text;
        g_free(name);
    }
    if (error) g_error_free(error);
    g_free(debug);
    return text;
}

GstElement* makeElement(const char* factory, const char* name) {
    return gst_element_factory_make(factory, name);
}

void setCaps(GstElement* filter, GstCaps* caps) {
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
}

}  // namespace platform
