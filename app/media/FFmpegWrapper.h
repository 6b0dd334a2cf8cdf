#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/PropertyList.h"

namespace parlivo {

// Runs the ffmpeg program for the page and the camera: remuxing a recording into MP4,
// fetching the page's audio and converting it to M4A, and the page's own argument lists. Every
// run happens off the main thread; each completion runs exactly once, on the main queue. One
// wrapper per request; it keeps itself alive until its completion has run.
class FFmpegWrapper : public std::enable_shared_from_this<FFmpegWrapper> {
public:
    using Bytes = std::vector<std::uint8_t>;
    using DataCompletion = std::function<void(std::optional<Bytes>)>;

    static std::shared_ptr<FFmpegWrapper> create();
    virtual ~FFmpegWrapper() = default;

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

protected:
    FFmpegWrapper() = default;
};

}  // namespace parlivo
