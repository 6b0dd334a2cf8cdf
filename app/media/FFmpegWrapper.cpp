#include "media/FFmpegWrapper.h"

#include "foundation/MainQueue.h"

namespace parlivo {

// Placeholder until the ffmpeg bridge is built: every request fails, on the main queue.
std::shared_ptr<FFmpegWrapper> FFmpegWrapper::create() {
    struct Made : FFmpegWrapper {};
    return std::make_shared<Made>();
}

void FFmpegWrapper::remuxMedia(const std::filesystem::path&, const std::filesystem::path&,
                               std::function<void(bool)> completion) {
    platform::MainQueue::async([completion = std::move(completion)] {
        if (completion) completion(false);
    });
}

void FFmpegWrapper::downloadAndConvertAudio(const std::string&, DataCompletion completion) {
    platform::MainQueue::async([completion = std::move(completion)] {
        if (completion) completion(std::nullopt);
    });
}

void FFmpegWrapper::runFFmpeg(Bytes, std::string, std::string, platform::PropertyList::Array,
                              DataCompletion completion) {
    platform::MainQueue::async([completion = std::move(completion)] {
        if (completion) completion(std::nullopt);
    });
}

}  // namespace parlivo
