#include "CameraRecording.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>
#include <vector>

namespace platform {
namespace {

// What an MP4 file needs beyond the encoded samples: the file type and media data headers and
// the movie header (track headers, sample tables). Counted generously, so a recording stopped at
// the size limit never ends up above it: a fixed part and a part per sample.
constexpr std::uint64_t kContainerBytes = 8192;
constexpr std::uint64_t kContainerBytesPerSample = 24;

}  // namespace

GstCaps* CameraRecording::videoCaps(const CameraSession::Options& o) {
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", "width", G_TYPE_INT, o.width, "height",
                               G_TYPE_INT, o.height, "framerate", GST_TYPE_FRACTION, o.framesPerSecond, 1,
                               "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
}

GstCaps* CameraRecording::audioCaps() {
    return gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING, "interleaved",
                               "rate", G_TYPE_INT, audioRate, "channels", G_TYPE_INT, audioChannels, nullptr);
}

std::string CameraRecording::missingElements() {
    std::string missing;
    for (const char* factory : {"appsrc", "x264enc", "mp4mux", "filesink", "audioconvert", "avenc_aac", "aacparse"}) {
        if (GstElementFactory* found = gst_element_factory_find(factory))
            gst_object_unref(found);
        else
            missing.append(missing.empty() ? "" : ", ").append(factory);
    }
    return missing;
}

Expected<std::shared_ptr<CameraRecording>> CameraRecording::create(
    const std::filesystem::path& file, RecordingLimits limits, const CameraSession::Options& options, bool audio,
    std::function<void()> started, std::function<void(const RecordingResult&)> finished) {
    std::shared_ptr<CameraRecording> recording(new CameraRecording());
    recording->file_ = file;
    recording->limits_ = limits;
    recording->started = std::move(started);
    recording->finished = std::move(finished);

    GstElement* pipeline = gst_pipeline_new("recording");
    recording->pipeline_.adopt(pipeline);
    GstBin* bin = GST_BIN(pipeline);
    GstElement* videoSource = makeElement("appsrc", "video");
    GstElement* videoQueue = makeElement("queue");
    GstElement* encoder = makeElement("x264enc");
    GstElement* profile = makeElement("capsfilter");
    GstElement* mux = makeElement("mp4mux");
    GstElement* sink = makeElement("filesink");
    GstElement* audioSource = audio ? makeElement("appsrc", "audio") : nullptr;
    GstElement* audioQueue = audio ? makeElement("queue") : nullptr;
    GstElement* audioConvert = audio ? makeElement("audioconvert") : nullptr;
    GstElement* aac = audio ? makeElement("avenc_aac") : nullptr;
    GstElement* aacParse = audio ? makeElement("aacparse") : nullptr;
    std::vector<GstElement*> elements{videoSource, videoQueue, encoder, profile, mux, sink};
    if (audio) elements.insert(elements.end(), {audioSource, audioQueue, audioConvert, aac, aacParse});
    for (GstElement* element : elements) {
        if (!element) {
            for (GstElement* other : elements)
                if (other) gst_object_unref(gst_object_ref_sink(other));
            return captureFailure(CaptureErrorCode::notInstalled,
                                  "The video encoders are not installed (x264enc, avenc_aac, mp4mux)");
        }
    }
    for (GstElement* source : {videoSource, audioSource}) {
        if (!source) continue;
        // Live, timed by the camera's clock; never blocks the camera's thread.
        g_object_set(source, "format", GST_FORMAT_TIME, "is-live", TRUE, "do-timestamp", FALSE, "block", FALSE,
                     "max-bytes", guint64(64) << 20, nullptr);
    }
    GstCaps* caps = videoCaps(options);
    gst_app_src_set_caps(GST_APP_SRC(videoSource), caps);
    gst_caps_unref(caps);
    // Live recording: no frames held back for look-ahead, so a stop is a stop.
    const int kbps = std::max(300, int(double(options.width) * options.height * options.framesPerSecond * 0.12 / 1000));
    gst_util_set_object_arg(G_OBJECT(encoder), "tune", "zerolatency");
    gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset", "veryfast");
    g_object_set(encoder, "bitrate", guint(kbps), "key-int-max", guint(options.framesPerSecond * 2), nullptr);
    // What MP4 holds and every player reads: main profile, length-prefixed access units.
    setCaps(profile, gst_caps_new_simple("video/x-h264", "profile", G_TYPE_STRING, "main", "stream-format",
                                         G_TYPE_STRING, "avc", "alignment", G_TYPE_STRING, "au", nullptr));
    g_object_set(sink, "location", file.c_str(), "sync", FALSE, nullptr);
    if (audio) {
        GstCaps* sound = audioCaps();
        gst_app_src_set_caps(GST_APP_SRC(audioSource), sound);
        gst_caps_unref(sound);
        gst_util_set_object_arg(G_OBJECT(aac), "bitrate", "128000");
    }
    for (GstElement* element : elements) gst_bin_add(bin, element);
    bool linked = gst_element_link_many(videoSource, videoQueue, encoder, profile, mux, sink, nullptr);
    if (audio) linked = linked && gst_element_link_many(audioSource, audioQueue, audioConvert, aac, aacParse, mux, nullptr);
    if (!linked) return captureFailure(CaptureErrorCode::pipelineFailed, "The recording could not be set up");
    recording->videoSource_ = videoSource;
    recording->audioSource_ = audioSource;

    for (GstElement* encoded : {profile, aacParse}) {
        if (!encoded) continue;
        GstPad* pad = gst_element_get_static_pad(encoded, "src");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, &CameraRecording::onEncodedData, recording.get(), nullptr);
        gst_object_unref(pad);
    }
    return recording;
}

bool CameraRecording::pushPicture(GstBuffer* buffer) {
    if (!buffer || !GST_BUFFER_PTS_IS_VALID(buffer)) return false;
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    bool first = false, limitReached = false;
    {
        std::lock_guard lock(pushMutex_);
        if (end_ < 0) {
            if (!GST_CLOCK_TIME_IS_VALID(start_)) start_ = pts;
            const GstClockTime relative = pts >= start_ ? pts - start_ : 0;
            const double maximum = limits_.maximumDuration;
            if (maximum > 0 && double(relative) >= maximum * 1e9) {
                limitReached = true;
            } else {
                GstBuffer* copy = gst_buffer_copy(buffer);  // shares the picture, new time stamps
                GST_BUFFER_PTS(copy) = relative;
                GST_BUFFER_DTS(copy) = GST_CLOCK_TIME_NONE;
                const GstClockTime duration = GST_BUFFER_DURATION_IS_VALID(buffer) ? GST_BUFFER_DURATION(buffer) : 0;
                durationNanoseconds_ = std::int64_t(relative + duration);
                gst_app_src_push_buffer(GST_APP_SRC(videoSource_), copy);
                first = videoPushed_++ == 0;
            }
        }
    }
    if (limitReached) requestEnd(RecordingEnd::durationLimit);
    return first;
}

void CameraRecording::pushSound(GstBuffer* buffer) {
    if (!audioSource_ || !buffer || !GST_BUFFER_PTS_IS_VALID(buffer)) return;
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    std::lock_guard lock(pushMutex_);
    const GstClockTime start = start_;
    const double maximum = limits_.maximumDuration;
    // Sound before the first picture is not part of the recording, nor sound past the end.
    if (end_ < 0 && GST_CLOCK_TIME_IS_VALID(start) && pts >= start &&
        !(maximum > 0 && double(pts - start) >= maximum * 1e9)) {
        GstBuffer* copy = gst_buffer_copy(buffer);
        GST_BUFFER_PTS(copy) = pts - start;
        GST_BUFFER_DTS(copy) = GST_CLOCK_TIME_NONE;
        gst_app_src_push_buffer(GST_APP_SRC(audioSource_), copy);
        ++audioPushed_;
    }
}

// A track without a single sample makes an MP4 that players refuse, so a sound track that got
// nothing yet gets a moment of silence.
void CameraRecording::requestEnd(RecordingEnd reason) {
    std::lock_guard lock(pushMutex_);
    if (end_ >= 0) return;
    end_ = int(reason);
    empty_ = videoPushed_ == 0;
    if (audioSource_ && audioPushed_ == 0 && !empty_) {
        const gsize frames = 1024;
        GstBuffer* silence = gst_buffer_new_allocate(nullptr, frames * audioChannels * 2, nullptr);
        gst_buffer_memset(silence, 0, 0, frames * audioChannels * 2);
        GST_BUFFER_PTS(silence) = 0;
        GST_BUFFER_DURATION(silence) = gst_util_uint64_scale_int(frames, GST_SECOND, audioRate);
        gst_app_src_push_buffer(GST_APP_SRC(audioSource_), silence);
    }
    if (videoSource_) gst_app_src_end_of_stream(GST_APP_SRC(videoSource_));
    if (audioSource_) gst_app_src_end_of_stream(GST_APP_SRC(audioSource_));
}

RecordingResult CameraRecording::result(const Expected<void>& ended) {
    RecordingResult result;
    result.file = file_;
    int end;
    bool empty;
    {
        std::lock_guard lock(pushMutex_);
        end = end_;
        empty = empty_ || videoPushed_ == 0;
    }
    result.end = !ended || empty ? RecordingEnd::failed : end < 0 ? RecordingEnd::stopped : RecordingEnd(end);
    if (!ended)
        result.error = ended.error().message;
    else if (empty)
        result.error = "Nothing was recorded";
    result.duration = duration();
    return result;
}

// The size limit is kept where the encoded data enters the muxer: a piece that would make the
// finished file larger than the maximum ends the recording instead of going in.
GstPadProbeReturn CameraRecording::onEncodedData(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* rec = static_cast<CameraRecording*>(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer) return GST_PAD_PROBE_OK;
    if (rec->cut_) return GST_PAD_PROBE_DROP;
    const std::uint64_t size = gst_buffer_get_size(buffer);
    {
        std::lock_guard lock(rec->sizeMutex_);
        const std::uint64_t total =
            rec->payloadBytes_ + size + kContainerBytes + (rec->samples_ + 1) * kContainerBytesPerSample;
        if (rec->limits_.maximumFileSize == 0 || total <= rec->limits_.maximumFileSize) {
            rec->payloadBytes_ += size;
            ++rec->samples_;
            return GST_PAD_PROBE_OK;
        }
        rec->cut_ = true;
    }
    rec->requestEnd(RecordingEnd::fileSizeLimit);
    return GST_PAD_PROBE_DROP;
}

}  // namespace platform
