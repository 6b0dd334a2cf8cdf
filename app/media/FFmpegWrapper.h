#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/PropertyList.h"

namespace platform {
class URLSession;
}

namespace parlivo {

// Runs the ffmpeg program for the page and the camera: remuxing a recording into MP4,
// fetching the page's audio and converting it to M4A, and the page's own argument lists. Every
// run happens off the main thread; each completion runs exactly once, on the main queue. One
// wrapper per request; it keeps itself alive until its completion has run.
class FFmpegWrapper : public std::enable_shared_from_this<FFmpegWrapper> {
public:
    static constexpr std::string_view kClassName = "FFmpegWrapper";

    using Bytes = std::vector<std::uint8_t>;
    using DataCompletion = std::function<void(std::optional<Bytes>)>;

    // How a wrapper runs; the defaults are the program's.
    struct Configuration {
        // The ffmpeg program; empty: "ffmpeg" as found on PATH.
        std::filesystem::path executable;
        // A run still going after this many seconds is killed and fails.
        double timeLimit = 180;
        // The most bytes a converted output may have; a run that reaches it fails.
        std::uintmax_t outputSizeLimit = std::uintmax_t(64) << 20;
        // The page's audio: the largest answer taken and the time the download may take.
        std::size_t downloadSizeLimit = std::size_t(32) << 20;
        double downloadTimeout = 10;
        // Null: the process-wide session.
        platform::URLSession* session = nullptr;
        // None: the remote configuration's user agent, read when a download starts.
        std::optional<std::string> userAgent;
    };

    static std::shared_ptr<FFmpegWrapper> create();
    static std::shared_ptr<FFmpegWrapper> create(Configuration configuration);
    virtual ~FFmpegWrapper() = default;

    // The ffmpeg program this wrapper runs.
    const std::filesystem::path& exec() const { return exec_; }
    const Configuration& configuration() const { return configuration_; }

    // Copies both streams of `input` into the MP4 `output`; true when ffmpeg succeeded.
    void remuxMedia(const std::filesystem::path& input, const std::filesystem::path& output,
                    std::function<void(bool)> completion);
    // Fetches `url` (http or https only) with the configuration's user agent and converts the
    // AAC bytes to M4A; none on any failure.
    void downloadAndConvertAudio(const std::string& url, DataCompletion completion);
    // The page's request: `input` becomes a file of type `inDataType`, the string elements of
    // `parameters` form the argument list with "%i" and "%o" standing for the input and output
    // files; the output file's bytes, or none. Lists that could reach other files, devices or
    // the network are refused (none).
    void runFFmpeg(Bytes input, std::string inDataType, std::string outDataType,
                   platform::PropertyList::Array parameters, DataCompletion completion);

    // The same work, synchronously on the calling thread, for callers that are already on a
    // worker. They block until ffmpeg has ended (or its time limit has run out): never call
    // them on the main thread.
    bool remuxMediaSynchronously(const std::filesystem::path& input, const std::filesystem::path& output) const;
    std::optional<Bytes> convertAudioToM4A(const Bytes& audio) const;
    std::optional<Bytes> runFFmpegSynchronously(const Bytes& input, const std::string& inDataType,
                                                const std::string& outDataType,
                                                const platform::PropertyList::Array& parameters) const;

protected:
    FFmpegWrapper() : FFmpegWrapper(Configuration{}) {}
    explicit FFmpegWrapper(Configuration configuration);

private:
    struct Run;
    Run runProgram(const std::vector<std::string>& arguments, bool logOutput) const;
    std::optional<Bytes> readOutput(const std::filesystem::path& output) const;

    Configuration configuration_;
    std::filesystem::path exec_;
};

}  // namespace parlivo
