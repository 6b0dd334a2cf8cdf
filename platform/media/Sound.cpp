#include "media/Sound.h"

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "foundation/Bundle.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "foundation/NotificationCenter.h"
#include "foundation/WorkQueue.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

// One serial thread for every state change of every player: GStreamer's state changes may wait
// for streaming threads and devices, and starting GStreamer the first time scans its plugins.
WorkQueue& soundQueue() {
    static auto* queue = new WorkQueue("platform.sound");
    return *queue;
}

bool ensureGStreamer() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        GError* error = nullptr;
        ready = gst_init_check(nullptr, nullptr, &error);
        if (!ready) {
            systemLog(std::string("Sound: GStreamer could not start, no sound is played: ") +
                          (error ? error->message : "unknown error"),
                      LogLevel::warning);
            g_clear_error(&error);
        }
    });
    return ready;
}

std::optional<std::string> fileURI(const fs::path& path) {
    gchar* uri = g_filename_to_uri(fs::absolute(path).c_str(), nullptr, nullptr);
    if (!uri) return std::nullopt;
    std::string result(uri);
    g_free(uri);
    return result;
}

GstElement* makeAudioSink() {
    const char* requested = std::getenv("PARLIVO_AUDIO_SINK");
    const char* factory = requested && *requested ? requested : "autoaudiosink";
    GstElement* sink = gst_element_factory_make(factory, nullptr);
    if (!sink) systemLog(std::string("Sound: no audio sink \"") + factory + "\"", LogLevel::warning);
    return sink;
}

// A sound name is a plain file name: nothing that could walk out of the sound folders.
bool isPlainName(std::string_view name) {
    return !name.empty() && name.size() <= 255 && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos && name.front() != '.';
}

std::optional<fs::path> firstRegularFile(const fs::path& folder, std::string_view name) {
    for (const char* extension : {".oga", ".ogg", ".wav"}) {
        const fs::path candidate = folder / (std::string(name) + extension);
        std::error_code error;
        if (fs::is_regular_file(candidate, error)) return candidate;
    }
    return std::nullopt;
}

void post(std::string_view name, const std::string& path, std::optional<bool> success) {
    UserInfo info{{"path", path}};
    if (success) info["success"] = *success;
    NotificationCenter::defaultCenter().post(name, nullptr, std::move(info));
}

}  // namespace

// The playing side of a sound. The pipeline is touched only on the sound thread; `playing`,
// `generation` and `keepAlive` only on the main thread.
struct Sound::Player : std::enable_shared_from_this<Sound::Player> {
    std::string path;
    std::string uri;
    GstElement* pipeline = nullptr;
    // The play request the pipeline was last started for; end-of-stream messages carry it, so
    // the end of an earlier run is not taken for the end of the current one.
    std::atomic<unsigned> pipelineGeneration{0};

    bool playing = false;
    unsigned generation = 0;
    // Whether this run's start has been told. Its end may reach the main thread before the sound
    // thread's word that it started (a short sound on a busy machine): a sound that played to its
    // end is told to have started first.
    bool startAnnounced = false;
    std::shared_ptr<Player> keepAlive;  // while playing, a sound outlives its object

    ~Player() {
        if (!pipeline) return;
        GstElement* element = pipeline;
        soundQueue().async([element] {
            gst_element_set_state(element, GST_STATE_NULL);
            gst_object_unref(element);
        });
    }

    // Sound thread.
    bool startPipeline(unsigned run) {
        if (!ensureGStreamer()) return false;
        if (!pipeline) {
            pipeline = gst_element_factory_make("playbin", nullptr);
            if (!pipeline) {
                systemLog("Sound: GStreamer has no playbin element", LogLevel::warning);
                return false;
            }
            if (GstElement* sink = makeAudioSink()) g_object_set(pipeline, "audio-sink", sink, nullptr);
            // Audio only: a cover picture in the file must not open a video window.
            g_object_set(pipeline, "flags", 0x2 /* GST_PLAY_FLAG_AUDIO */, nullptr);
            GstBus* bus = gst_element_get_bus(pipeline);
            auto* weak = new std::weak_ptr<Player>(weak_from_this());
            gst_bus_set_sync_handler(bus, &Player::busMessage, weak,
                                     [](gpointer data) { delete static_cast<std::weak_ptr<Player>*>(data); });
            gst_object_unref(bus);
        }
        gst_element_set_state(pipeline, GST_STATE_NULL);
        pipelineGeneration = run;
        g_object_set(pipeline, "uri", uri.c_str(), nullptr);
        return gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
    }

    // Sound thread.
    void stopPipeline() {
        if (pipeline) gst_element_set_state(pipeline, GST_STATE_NULL);
    }

    // A streaming thread: the end of the stream or an error ends the run on the main thread.
    // Nobody reads the bus's queue; every message is dropped here, and a sync handler that drops a
    // message owns it.
    static GstBusSyncReply busMessage(GstBus*, GstMessage* message, gpointer data) {
        handleMessage(message, data);
        gst_message_unref(message);
        return GST_BUS_DROP;
    }

    static void handleMessage(GstMessage* message, gpointer data) {
        const auto type = GST_MESSAGE_TYPE(message);
        if (type != GST_MESSAGE_EOS && type != GST_MESSAGE_ERROR) return;
        auto player = static_cast<std::weak_ptr<Player>*>(data)->lock();
        if (!player) return;
        const bool success = type == GST_MESSAGE_EOS;
        if (!success) {
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            systemLog("Sound: could not play " + player->path + ": " + (error ? error->message : "unknown error"),
                      LogLevel::warning);
            g_clear_error(&error);
        }
        const unsigned run = player->pipelineGeneration;
        MainQueue::async([player, run, success] { player->finish(run, success); });
    }

    // Main thread.
    void announceStart() {
        if (startAnnounced) return;
        startAnnounced = true;
        post(didStartPlayingNotification, path, std::nullopt);
    }

    // Main thread.
    void finish(unsigned run, bool success) {
        if (!playing || run != generation) return;
        if (success) announceStart();
        playing = false;
        post(didFinishPlayingNotification, path, success);
        soundQueue().async([self = shared_from_this()] { self->stopPipeline(); });
        keepAlive.reset();  // may be the last reference
    }
};

Sound::Sound(fs::path path) : path_(std::move(path)), player_(std::make_shared<Player>()) {
    player_->path = path_.string();
    player_->uri = fileURI(path_).value_or("");
}

Sound::~Sound() = default;

std::shared_ptr<Sound> Sound::named(std::string_view name) { return named(name, Bundle::main()); }

std::shared_ptr<Sound> Sound::named(std::string_view name, const Bundle& bundle) {
    auto path = pathForSoundNamed(name, bundle);
    return path ? contentsOfFile(*path) : nullptr;
}

std::optional<fs::path> Sound::pathForSoundNamed(std::string_view name, const Bundle& bundle) {
    if (!isPlainName(name)) return std::nullopt;
    if (auto found = firstRegularFile(bundle.resourcePath() / "sounds", name)) return found;
    std::vector<fs::path> roots{fs::path(g_get_user_data_dir()) / "sounds"};
    for (const gchar* const* dir = g_get_system_data_dirs(); dir && *dir; ++dir)
        roots.push_back(fs::path(*dir) / "sounds");
    for (const auto& root : roots) {
        if (auto found = firstRegularFile(root / "freedesktop" / "stereo", name)) return found;
        if (auto found = firstRegularFile(root / "freedesktop", name)) return found;
    }
    return std::nullopt;
}

std::shared_ptr<Sound> Sound::contentsOfFile(const fs::path& path) {
    std::error_code error;
    if (path.empty() || !fs::is_regular_file(path, error) || !fileURI(path)) return nullptr;
    return std::shared_ptr<Sound>(new Sound(path));
}

bool Sound::play() {
    auto& player = *player_;
    if (player.playing) return false;
    player.playing = true;
    player.startAnnounced = false;
    const unsigned run = ++player.generation;
    player.keepAlive = player_;
    soundQueue().async([player = player_, run] {
        const bool started = player->startPipeline(run);
        MainQueue::async([player, run, started] {
            if (!player->playing || run != player->generation) return;
            if (started)
                player->announceStart();
            else
                player->finish(run, false);
        });
    });
    return true;
}

bool Sound::stop() {
    auto& player = *player_;
    if (!player.playing) return false;
    player.playing = false;
    ++player.generation;
    post(didFinishPlayingNotification, player.path, false);
    soundQueue().async([player = player_] { player->stopPipeline(); });
    player.keepAlive.reset();
    return true;
}

bool Sound::isPlaying() const { return player_->playing; }

std::optional<double> Sound::probeDurationNow(const fs::path& path, std::chrono::seconds timeout) {
    if (!ensureGStreamer()) return std::nullopt;
    auto uri = fileURI(path);
    if (!uri) return std::nullopt;
    GError* error = nullptr;
    GstDiscoverer* discoverer =
        gst_discoverer_new(static_cast<GstClockTime>(timeout.count()) * GST_SECOND, &error);
    if (!discoverer) {
        g_clear_error(&error);
        return std::nullopt;
    }
    std::optional<double> seconds;
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri->c_str(), &error);
    g_clear_error(&error);
    if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        GList* audio = gst_discoverer_info_get_audio_streams(info);
        const GstClockTime duration = gst_discoverer_info_get_duration(info);
        if (audio && GST_CLOCK_TIME_IS_VALID(duration)) seconds = static_cast<double>(duration) / GST_SECOND;
        gst_discoverer_stream_info_list_free(audio);
    }
    if (info) g_object_unref(info);
    g_object_unref(discoverer);
    return seconds;
}

void Sound::probeDuration(const fs::path& path, std::function<void(std::optional<double>)> completion,
                          std::chrono::seconds timeout) {
    WorkQueue::global().async([path, completion = std::move(completion), timeout]() mutable {
        auto seconds = probeDurationNow(path, timeout);
        MainQueue::async([completion = std::move(completion), seconds] {
            if (completion) completion(seconds);
        });
    });
}

}  // namespace platform
