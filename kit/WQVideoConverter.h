#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media/AssetExportSession.h"

namespace platform {
class Timer;
}

namespace tovak {

// Hears the progress of a running export, 0.0 to 1.0, on the main thread.
class WQProgressDelegate {
public:
    virtual ~WQProgressDelegate() = default;
    virtual void progressDidChange(double progress) = 0;
};

// Turns a movie file into another through the ffmpeg program: `compressVideo` picks the first
// preset whose estimate stays under a byte budget (or copies the streams when the input already
// fits), `convertVideoToMPEG4Container` exports with a named preset. One export runs at a time;
// a new one cancels the one before. Use it on the main thread, through a shared_ptr (create()):
// a running export keeps its converter alive until it ends.
class WQVideoConverter : public std::enable_shared_from_this<WQVideoConverter> {
public:
    static constexpr std::string_view kClassName = "WQVideoConverter";

    enum class OutputFileType { mov, mp4, m4v };

    using ExportSession = platform::AssetExportSession;
    // (completed, the session that ran or null when none could be made)
    using CompletionHandler = std::function<void(bool, std::shared_ptr<ExportSession>)>;
    // (progress, false, false)
    using ProgressAction = std::function<void(double, bool, bool)>;

    static std::shared_ptr<WQVideoConverter> create();
    ~WQVideoConverter();
    WQVideoConverter(const WQVideoConverter&) = delete;
    WQVideoConverter& operator=(const WQVideoConverter&) = delete;

    // The default candidates of compressVideo, best first.
    static const std::vector<std::string>& defaultPresets();

    // Exports `input` to `output` so that it stays under `targetFileSize` bytes (see the
    // preset choice in docs/video-converter.md). The candidates' estimates need ffprobe, which
    // runs on a worker queue; the export then starts from the main queue. The handler runs
    // exactly once: before this returns when the input's size cannot be read or no preset is
    // there to try; otherwise on the main queue (with no session when none could be made for
    // the chosen preset, or when stop() or another request came while the estimates ran).
    void compressVideo(const std::filesystem::path& input, const std::filesystem::path& output,
                       std::uint64_t targetFileSize, std::optional<std::vector<std::string>> presets,
                       CompletionHandler completionHandler);

    // Exports with the named preset into the container `outputFileType` names.
    void convertVideoToMPEG4Container(const std::filesystem::path& input, const std::filesystem::path& output,
                                      const std::string& compressionPreset, CompletionHandler completionHandler);

    // Cancels the running export (or the choice of its preset); its handler then receives false.
    // Nothing when none runs.
    void stop();

    std::shared_ptr<WQProgressDelegate> progressDelegate;  // kept, never cleared by the converter
    ProgressAction progressAction;
    OutputFileType outputFileType = OutputFileType::mov;

private:
    WQVideoConverter() = default;
    void exportVideo(const std::filesystem::path& input, const std::filesystem::path& output,
                     std::string_view preset, CompletionHandler completionHandler);
    void reportProgress(const std::shared_ptr<ExportSession>& session);
    ExportSession::FileType sessionFileType() const;

    std::shared_ptr<platform::Timer> progressTimer_;
    std::shared_ptr<ExportSession> session_;
    // Set while presets are being estimated; stop() or a newer request cancels that request.
    std::shared_ptr<bool> estimateCancelled_;
};

}  // namespace tovak
