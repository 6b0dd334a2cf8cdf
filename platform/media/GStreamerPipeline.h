#pragma once

#include <gst/audio/audio.h>
#include <gst/gst.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "CaptureSource.h"

namespace platform {

// Owns one GStreamer pipeline for the capture classes: plays it, reports its bus messages and,
// when destroyed, stops it (its streaming threads have ended when the destructor returns) and
// lets it go. Errors found while starting are play()'s answer; later ones go to the handlers.
class GStreamerPipeline {
public:
    GStreamerPipeline() = default;
    ~GStreamerPipeline();
    GStreamerPipeline(const GStreamerPipeline&) = delete;
    GStreamerPipeline& operator=(const GStreamerPipeline&) = delete;

    // Takes over the caller's reference to the pipeline.
    void adopt(GstElement* pipeline);
    GstElement* get() const { return pipeline_; }

    // On the thread that posts: an error's text (only once play() has succeeded), and every
    // message (end of stream, element messages) for whoever wants more.
    void watchErrors(std::function<void(const std::string& reason)> handler);
    void watchMessages(std::function<void(GstMessage* message)> handler);

    // Sets the pipeline playing. An error (pipelineFailed) with the reason when it does not run.
    Expected<void> play();

    // True when an auto-detecting source or sink (autoaudiosrc, autovideosrc) found no working
    // device and stands in with a fake element that produces nothing.
    static bool autoDetectFellBackToFake(GstElement* autoElement);

private:
    static GstBusSyncReply onMessage(GstBus* bus, GstMessage* message, gpointer data);

    struct Watch {
        std::mutex mutex;
        bool armed = false;
        std::optional<std::string> firstError;
        std::function<void(const std::string&)> errorHandler;
        std::function<void(GstMessage*)> messageHandler;
    };
    GstElement* pipeline_ = nullptr;
    std::shared_ptr<Watch> watch_ = std::make_shared<Watch>();
    bool busWatched_ = false;
};

// The moment the end of `buffer` was captured, in nanoseconds of the monotonic clock
// (std::chrono::steady_clock), from its running time in `pipeline` (whatever clock the pipeline
// uses); 0 when the buffer has no time stamp or the pipeline no clock.
std::int64_t monotonicTimeOfBufferEnd(GstElement* pipeline, GstBuffer* buffer, const GstAudioInfo* info);

// The text of an error message, with the element that posted it.
std::string errorText(GstMessage* message);

// A new element of `factory` (floating), or null when its plugin is not installed.
GstElement* makeElement(const char* factory, const char* name = nullptr);
// Gives a capsfilter its caps, taking over the caller's reference to them.
void setCaps(GstElement* filter, GstCaps* caps);

}  // namespace platform
