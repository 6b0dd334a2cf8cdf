#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Subprocess;

// What ffprobe tells about a movie file.
struct MediaInfo {
    double duration = 0;  // seconds; 0 when unknown
    bool hasVideo = false;
    bool hasAudio = false;

    // Runs ffprobe on the file synchronously, for at most kProbeTimeoutSeconds; none when it
    // cannot be read as a movie in that time. It waits for a child process: never on the main
    // thread. Answers for an unchanged file are kept, so asking again costs nothing.
    static std::optional<MediaInfo> probe(const std::filesystem::path& file);
    static constexpr double kProbeTimeoutSeconds = 30;
    // Reads ffprobe's default-format output ([STREAM] and [FORMAT] sections).
    static std::optional<MediaInfo> parse(std::string_view probeOutput);
};

// Exports one movie file into another with the ffmpeg program, in place of the export sessions
// of other platforms. Each preset name stands for one fixed ffmpeg argument list (see
// docs/video-converter.md). Create, configure and run it on the main thread; the export runs
// as a child process watched from the main loop.
class AssetExportSession : public std::enable_shared_from_this<AssetExportSession> {
public:
    enum class FileType { quickTimeMovie, mpeg4, appleM4V };
    enum class Status { unknown, exporting, completed, failed, cancelled };

    static constexpr std::string_view presetPassthrough = "AVAssetExportPresetPassthrough";
    static constexpr std::string_view presetLowQuality = "AVAssetExportPresetLowQuality";
    static constexpr std::string_view presetMediumQuality = "AVAssetExportPresetMediumQuality";
    static constexpr std::string_view presetHighestQuality = "AVAssetExportPresetHighestQuality";
    static constexpr std::string_view preset640x480 = "AVAssetExportPreset640x480";
    static constexpr std::string_view preset960x540 = "AVAssetExportPreset960x540";
    static constexpr std::string_view preset1280x720 = "AVAssetExportPreset1280x720";
    static constexpr std::string_view preset1920x1080 = "AVAssetExportPreset1920x1080";

    static std::vector<std::string_view> allPresetNames();
    struct Preset;  // one row of the preset table

    // A session for the movie at `input` with a known preset; null for any other preset name.
    static std::shared_ptr<AssetExportSession> make(const std::filesystem::path& input, std::string_view presetName);

    ~AssetExportSession();
    AssetExportSession(const AssetExportSession&) = delete;
    AssetExportSession& operator=(const AssetExportSession&) = delete;

    const std::string& presetName() const { return presetName_; }
    const std::filesystem::path& inputURL() const { return input_; }
    const std::filesystem::path& outputURL() const { return output_; }
    void setOutputURL(std::filesystem::path output) { output_ = std::move(output); }
    FileType outputFileType() const { return fileType_; }
    void setOutputFileType(FileType type) { fileType_ = type; }

    // The size the export will have at most, in bytes, from the preset's bit rates and the
    // input's duration (the input's own size for the passthrough preset). Probes the input on
    // first use (MediaInfo::probe: a worker's job, not the main thread's); 0 when it cannot be
    // read.
    std::uint64_t estimatedOutputFileLength();
    // ffmpeg reports its progress every tenth of a second; one silent for this long has stalled
    // (an input that never delivers) and is stopped, and the export fails.
    static constexpr double kStallTimeoutSeconds = 120;

    // The ffmpeg command line of the export as configured now, writing to `target`.
    std::vector<std::string> arguments(const std::filesystem::path& target) const;

    // Starts the export; `completion` runs once on the main loop when it has ended, whatever
    // the outcome. The output appears at outputURL only when the status is completed: ffmpeg
    // writes a hidden file next to it that is renamed at the end or removed on failure.
    // A session exports once: a second call only runs its completion; after cancelExport the
    // export ends cancelled without starting.
    void exportAsynchronously(std::function<void()> completion);
    // Ends a running export (the ffmpeg process is killed, its partial output removed) and
    // marks the session cancelled; a session that has not started is cancelled at once.
    void cancelExport();

    Status status() const { return status_; }
    // 0.0 to 1.0: ffmpeg's out_time over the input's duration; 1.0 once completed.
    float progress() const { return progress_; }
    // Why the export failed (ffmpeg's error output, or ours); empty otherwise.
    const std::string& error() const { return error_; }

    // Reads one line of ffmpeg's -progress output (exposed for tests).
    void consumeProgressLine(std::string_view line);

private:
    AssetExportSession(std::filesystem::path input, const Preset& preset);
    void finish(Status status, std::string error);
    std::filesystem::path partialOutputPath() const;

    std::filesystem::path input_;
    const Preset& preset_;
    std::string presetName_;
    std::filesystem::path output_;
    FileType fileType_ = FileType::quickTimeMovie;
    std::optional<MediaInfo> info_;
    bool probed_ = false;
    double duration_ = 0;
    Status status_ = Status::unknown;
    float progress_ = 0;
    std::string error_;
    bool started_ = false;
    bool cancelRequested_ = false;
    bool finished_ = false;
    std::filesystem::path partial_;
    std::shared_ptr<Subprocess> process_;
    std::shared_ptr<Subprocess> probe_;
    std::function<void()> completion_;
};

}  // namespace platform
