#include "AssetExportSession.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <map>
#include <mutex>
#include <unistd.h>

#include "foundation/MainQueue.h"
#include "system/Subprocess.h"

namespace platform {

// One preset: a fixed ffmpeg argument list. Video is H.264 at a constant quality, capped at
// `videoKbps` (one second of buffer), inside a box of at most `boxLong` x `boxShort` pixels in
// the movie's own orientation, never enlarged; audio is AAC at `audioKbps`. The estimate
// follows from the caps (see estimatedOutputFileLength), so it is an upper bound.
struct AssetExportSession::Preset {
    std::string_view name;
    bool passthrough = false;
    int boxLong = 0;  // 0: the source's own size
    int boxShort = 0;
    int crf = 23;
    int videoKbps = 0;
    int audioKbps = 0;
};

namespace {

using Preset = AssetExportSession::Preset;

const std::array<AssetExportSession::Preset, 8>& presetTable() {
    static const std::array<Preset, 8> table{{
        {AssetExportSession::presetPassthrough, true, 0, 0, 0, 0, 0},
        {AssetExportSession::presetHighestQuality, false, 0, 0, 18, 12000, 256},
        {AssetExportSession::preset1920x1080, false, 1920, 1080, 20, 8000, 192},
        {AssetExportSession::preset1280x720, false, 1280, 720, 21, 5000, 160},
        {AssetExportSession::preset960x540, false, 960, 540, 22, 2500, 128},
        {AssetExportSession::preset640x480, false, 640, 480, 23, 1500, 128},
        {AssetExportSession::presetMediumQuality, false, 480, 360, 26, 800, 96},
        {AssetExportSession::presetLowQuality, false, 224, 168, 28, 250, 64},
    }};
    return table;
}

std::string number(long long value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, end);
}

std::string fileArgument(const std::filesystem::path& path) {
    // The "file:" protocol keeps ffmpeg from reading a name as another protocol ("http:...")
    // or, for the output, as an option ("-x.mov").
    return "file:" + std::filesystem::absolute(path).string();
}

std::string scaleFilter(const Preset& preset) {
    if (preset.boxLong == 0) return "scale=trunc(iw/2)*2:trunc(ih/2)*2";
    const std::string L = number(preset.boxLong), S = number(preset.boxShort);
    // The box follows the movie's orientation, so a portrait movie is not squeezed into a
    // landscape box.
    return "scale=w='min(iw,if(gte(iw,ih)," + L + "," + S + "))':h='min(ih,if(gte(iw,ih)," + S + "," + L +
           "))':force_original_aspect_ratio=decrease:force_divisible_by=2";
}

std::string_view muxer(AssetExportSession::FileType type) {
    switch (type) {
        case AssetExportSession::FileType::mpeg4: return "mp4";
        case AssetExportSession::FileType::appleM4V: return "ipod";
        case AssetExportSession::FileType::quickTimeMovie: break;
    }
    return "mov";
}

std::optional<double> parseDouble(std::string_view text) {
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// Probes of the same unchanged file give the same answer; the preset choice asks several times.
struct ProbeCache {
    struct Key {
        std::string path;
        std::uintmax_t size;
        std::filesystem::file_time_type modified;
        bool operator<(const Key& other) const {
            return std::tie(path, size, modified) < std::tie(other.path, other.size, other.modified);
        }
    };
    std::mutex mutex;
    std::map<Key, MediaInfo> entries;

    static ProbeCache& shared() {
        static ProbeCache* cache = new ProbeCache;  // never destroyed: probes may end during exit
        return *cache;
    }
    static std::optional<Key> keyFor(const std::filesystem::path& file) {
        std::error_code error;
        const auto path = std::filesystem::absolute(file, error);
        if (error) return std::nullopt;
        const auto size = std::filesystem::file_size(path, error);
        if (error) return std::nullopt;
        const auto modified = std::filesystem::last_write_time(path, error);
        if (error) return std::nullopt;
        return Key{path.string(), size, modified};
    }
    std::optional<MediaInfo> find(const Key& key) {
        std::lock_guard lock(mutex);
        auto it = entries.find(key);
        return it == entries.end() ? std::nullopt : std::optional(it->second);
    }
    void store(const Key& key, const MediaInfo& info) {
        std::lock_guard lock(mutex);
        if (entries.size() >= 32) entries.clear();
        entries[key] = info;
    }
};

std::vector<std::string> probeArguments(const std::filesystem::path& file) {
    return {"ffprobe", "-v", "error", "-protocol_whitelist", "file", "-show_entries",
            "format=duration:stream=codec_type", "-i", fileArgument(file)};
}

std::filesystem::path uniquePartialPath(const std::filesystem::path& output) {
    static std::atomic<unsigned> counter{0};
    const std::string name = "." + output.filename().string() + ".partial-" + number(getpid()) + "-" +
                             number(counter.fetch_add(1));
    return output.parent_path() / name;
}

}  // namespace

std::optional<MediaInfo> MediaInfo::parse(std::string_view output) {
    MediaInfo info;
    bool sawFormat = false;
    std::string_view section;
    while (!output.empty()) {
        const auto end = output.find('\n');
        std::string_view line = output.substr(0, end);
        output = end == std::string_view::npos ? std::string_view() : output.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.starts_with("[/")) {
            section = {};
        } else if (line.starts_with("[")) {
            section = line;
            if (section == "[FORMAT]") sawFormat = true;
        } else if (const auto eq = line.find('='); eq != std::string_view::npos) {
            const auto key = line.substr(0, eq), value = line.substr(eq + 1);
            if (section == "[STREAM]" && key == "codec_type") {
                info.hasVideo |= value == "video";
                info.hasAudio |= value == "audio";
            } else if (section == "[FORMAT]" && key == "duration") {
                if (auto seconds = parseDouble(value); seconds && *seconds > 0) info.duration = *seconds;
            }
        }
    }
    if (!sawFormat) return std::nullopt;
    return info;
}

std::optional<MediaInfo> MediaInfo::probe(const std::filesystem::path& file) {
    const auto key = ProbeCache::keyFor(file);
    if (!key) return std::nullopt;
    if (auto cached = ProbeCache::shared().find(*key)) return cached;
    const auto result = Subprocess::run(probeArguments(file), kProbeTimeoutSeconds);
    if (!result.succeeded()) return std::nullopt;
    auto info = parse(result.standardOutput);
    if (info) ProbeCache::shared().store(*key, *info);
    return info;
}

std::vector<std::string_view> AssetExportSession::allPresetNames() {
    std::vector<std::string_view> names;
    for (const auto& preset : presetTable()) names.push_back(preset.name);
    return names;
}

std::shared_ptr<AssetExportSession> AssetExportSession::make(const std::filesystem::path& input,
                                                             std::string_view presetName) {
    for (const auto& preset : presetTable())
        if (preset.name == presetName)
            return std::shared_ptr<AssetExportSession>(new AssetExportSession(input, preset));
    return nullptr;
}

AssetExportSession::AssetExportSession(std::filesystem::path input, const Preset& preset)
    : input_(std::move(input)), preset_(preset), presetName_(preset.name) {}

AssetExportSession::~AssetExportSession() {
    // Only reached once no process runs: a running export holds the session alive.
    if (process_ && process_->isRunning()) process_->kill();
}

std::uint64_t AssetExportSession::estimatedOutputFileLength() {
    if (preset_.passthrough) {
        std::error_code error;
        const auto size = std::filesystem::file_size(input_, error);
        return error ? 0 : size;
    }
    if (!probed_) {
        info_ = MediaInfo::probe(input_);
        probed_ = true;
    }
    if (!info_) return 0;
    const double kbps = (info_->hasVideo ? preset_.videoKbps : 0) + (info_->hasAudio ? preset_.audioKbps : 0);
    // One extra second of video for the rate control's buffer, 2 % for the container.
    const double videoBuffer = info_->hasVideo ? preset_.videoKbps : 0;
    const double bytes = (info_->duration * kbps + videoBuffer) * 1000.0 / 8.0 * 1.02;
    return std::uint64_t(std::ceil(bytes));
}

std::vector<std::string> AssetExportSession::arguments(const std::filesystem::path& target) const {
    std::vector<std::string> args{"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-nostats",
                                  "-progress", "pipe:1", "-stats_period", "0.1",
                                  "-protocol_whitelist", "file", "-i", fileArgument(input_)};
    if (preset_.passthrough) {
        args.insert(args.end(), {"-map", "0:v?", "-map", "0:a?", "-c", "copy"});
    } else {
        const std::string rate = number(preset_.videoKbps) + "k";
        args.insert(args.end(), {"-map", "0:v:0?", "-map", "0:a:0?", "-vf", scaleFilter(preset_), "-c:v", "libx264",
                                 "-preset", "veryfast", "-crf", number(preset_.crf), "-maxrate", rate, "-bufsize",
                                 rate, "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a",
                                 number(preset_.audioKbps) + "k"});
    }
    args.insert(args.end(), {"-f", std::string(muxer(fileType_)), "-y", fileArgument(target)});
    return args;
}

void AssetExportSession::exportAsynchronously(std::function<void()> completion) {
    if (started_) {
        // A session runs once, like the export sessions it stands in for; a second request
        // only hears back, and the running export keeps its own completion.
        if (completion) MainQueue::async(std::move(completion));
        return;
    }
    completion_ = std::move(completion);
    if (cancelRequested_ || output_.empty()) {
        started_ = true;
        const Status status = cancelRequested_ ? Status::cancelled : Status::failed;
        const std::string why = cancelRequested_ ? "" : "no output file";
        auto self = shared_from_this();
        MainQueue::async([self, why, status] { self->finish(status, why); });
        return;
    }
    started_ = true;
    status_ = Status::exporting;
    partial_ = uniquePartialPath(output_);

    // The duration only drives the progress, so it is probed next to the export, not before.
    if (const auto key = ProbeCache::keyFor(input_)) {
        if (auto cached = ProbeCache::shared().find(*key)) duration_ = cached->duration;
    }
    auto weak = weak_from_this();
    if (duration_ <= 0) {
        auto text = std::make_shared<std::string>();
        probe_ = Subprocess::launch(
            probeArguments(input_), [text](std::string_view line) { text->append(line).append("\n"); },
            [weak, text, input = input_](Subprocess& probe) {
                auto self = weak.lock();
                if (!self || !probe.succeeded()) return;
                if (auto info = MediaInfo::parse(*text)) {
                    if (const auto key = ProbeCache::keyFor(input)) ProbeCache::shared().store(*key, *info);
                    self->duration_ = info->duration;
                }
            }).value_or(nullptr);
        if (probe_) probe_->setTimeout(MediaInfo::kProbeTimeoutSeconds);
    }

    auto self = shared_from_this();
    auto launched = Subprocess::launch(
        arguments(partial_), [weak](std::string_view line) {
            if (auto session = weak.lock()) session->consumeProgressLine(line);
        },
        [self](Subprocess& process) {
            std::error_code ignored;
            if (self->cancelRequested_) {
                std::filesystem::remove(self->partial_, ignored);
                self->finish(Status::cancelled, "");
            } else if (process.succeeded()) {
                std::error_code renameError;
                std::filesystem::rename(self->partial_, self->output_, renameError);
                if (renameError) {
                    std::filesystem::remove(self->partial_, ignored);
                    self->finish(Status::failed, "could not move the export into place: " + renameError.message());
                } else {
                    self->progress_ = 1.0f;
                    self->finish(Status::completed, "");
                }
            } else if (process.timedOut()) {
                std::filesystem::remove(self->partial_, ignored);
                self->finish(Status::failed, "ffmpeg stalled: no progress for " +
                                                 number(static_cast<long long>(kStallTimeoutSeconds)) + " seconds");
            } else {
                std::filesystem::remove(self->partial_, ignored);
                std::string why = process.standardError();
                while (!why.empty() && (why.back() == '\n' || why.back() == '\r')) why.pop_back();
                if (why.empty()) why = "ffmpeg ended with status " + number(process.exitStatus());
                self->finish(Status::failed, why);
            }
        });
    if (!launched) {
        MainQueue::async([self, error = launched.error().message] {
            self->finish(Status::failed, "could not run ffmpeg: " + error);
        });
        return;
    }
    process_ = std::move(*launched);
    process_->setSilenceTimeout(kStallTimeoutSeconds);
}

void AssetExportSession::consumeProgressLine(std::string_view line) {
    if (!line.starts_with("out_time_us=") || duration_ <= 0) return;
    const auto value = line.substr(line.find('=') + 1);
    long long microseconds = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), microseconds);
    if (ec != std::errc() || microseconds < 0) return;  // "N/A" before the first frame
    const double fraction = std::clamp(double(microseconds) / 1e6 / duration_, 0.0, 1.0);
    progress_ = std::max(progress_, float(fraction));
}

void AssetExportSession::cancelExport() {
    if (finished_ || cancelRequested_) return;
    cancelRequested_ = true;
    if (process_ && process_->isRunning()) {
        process_->kill();  // the exit handler removes the partial file and finishes
    } else if (!started_) {
        status_ = Status::cancelled;
    }
}

void AssetExportSession::finish(Status status, std::string error) {
    if (finished_) return;
    finished_ = true;
    status_ = status;
    error_ = std::move(error);
    if (probe_ && probe_->isRunning()) probe_->kill();
    process_.reset();
    probe_.reset();
    if (auto completion = std::move(completion_)) completion();
}

}  // namespace platform
