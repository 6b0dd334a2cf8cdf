#include "WQVideoConverter.h"

#include <string>

#include "DebugPrint.h"
#include "foundation/MainQueue.h"
#include "foundation/Timer.h"
#include "foundation/WorkQueue.h"

namespace tovak {

using platform::AssetExportSession;

std::shared_ptr<WQVideoConverter> WQVideoConverter::create() {
    return std::shared_ptr<WQVideoConverter>(new WQVideoConverter());
}

WQVideoConverter::~WQVideoConverter() {
    if (progressTimer_) progressTimer_->invalidate();
}

const std::vector<std::string>& WQVideoConverter::defaultPresets() {
    static const auto* presets = new std::vector<std::string>{
        std::string(AssetExportSession::presetHighestQuality), std::string(AssetExportSession::preset1920x1080),
        std::string(AssetExportSession::preset1280x720),       std::string(AssetExportSession::preset960x540),
        std::string(AssetExportSession::preset640x480),        std::string(AssetExportSession::presetMediumQuality),
    };
    return *presets;
}

AssetExportSession::FileType WQVideoConverter::sessionFileType() const {
    switch (outputFileType) {
        case OutputFileType::mp4: return AssetExportSession::FileType::mpeg4;
        case OutputFileType::m4v: return AssetExportSession::FileType::appleM4V;
        case OutputFileType::mov: break;
    }
    return AssetExportSession::FileType::quickTimeMovie;
}

void WQVideoConverter::compressVideo(const std::filesystem::path& input, const std::filesystem::path& output,
                                     std::uint64_t targetFileSize, std::optional<std::vector<std::string>> presets,
                                     CompletionHandler completionHandler) {
    const std::vector<std::string> candidates = presets ? std::move(*presets) : defaultPresets();

    std::error_code error;
    const std::uint64_t inputSize = std::filesystem::file_size(input, error);
    if (error) {
        debugPrint(kClassName, "Could not calculate input file size: " + error.message());
        if (completionHandler) completionHandler(false, nullptr);
        return;
    }
    debugPrint(kClassName, "Input File Size: " + std::to_string(inputSize) + ", Target File Size: " + std::to_string(targetFileSize));

    if (inputSize <= targetFileSize) {
        exportVideo(input, output, AssetExportSession::presetPassthrough, std::move(completionHandler));
        return;
    }
    // Nothing to try and nothing to fall back to: the request still ends, as a failure.
    if (candidates.empty()) {
        debugPrint(kClassName, "No export preset to try");
        if (completionHandler) completionHandler(false, nullptr);
        return;
    }

    // Estimating runs ffprobe (with a time-out) for each candidate: a worker's job. The export
    // starts from the main queue with the first preset that fits, else the last one.
    if (estimateCancelled_) *estimateCancelled_ = true;
    auto cancelled = std::make_shared<bool>(false);
    estimateCancelled_ = cancelled;
    platform::WorkQueue::global().async([self = shared_from_this(), input, output, targetFileSize, candidates,
                                         fileType = sessionFileType(), cancelled,
                                         handler = std::move(completionHandler)]() mutable {
        std::string chosen = candidates.back();
        for (const auto& preset : candidates) {
            auto probe = AssetExportSession::make(input, preset);
            if (!probe) {
                debugPrint(kClassName, "Could not initialize export session");
                continue;
            }
            probe->setOutputFileType(fileType);
            const std::uint64_t estimate = probe->estimatedOutputFileLength();
            debugPrint(kClassName, "Estimated Size for Preset " + preset + ": " + std::to_string(estimate >> 20) + " Mb");
            if (estimate < targetFileSize) {
                chosen = preset;
                break;
            }
        }
        platform::MainQueue::async([self, input, output, chosen, cancelled, handler = std::move(handler)]() mutable {
            if (self->estimateCancelled_ == cancelled) self->estimateCancelled_.reset();
            if (*cancelled) {
                if (handler) handler(false, nullptr);
                return;
            }
            self->exportVideo(input, output, chosen, std::move(handler));
        });
    });
}

void WQVideoConverter::convertVideoToMPEG4Container(const std::filesystem::path& input,
                                                    const std::filesystem::path& output,
                                                    const std::string& compressionPreset,
                                                    CompletionHandler completionHandler) {
    exportVideo(input, output, compressionPreset, std::move(completionHandler));
}

void WQVideoConverter::exportVideo(const std::filesystem::path& input, const std::filesystem::path& output,
                                   std::string_view preset, CompletionHandler completionHandler) {
    // A newer request replaces one still choosing its preset, as it replaces a running export.
    if (estimateCancelled_) *estimateCancelled_ = true;
    std::error_code error;
    if (!std::filesystem::remove(output, error)) {
        const std::string why = error ? error.message() : std::make_error_code(std::errc::no_such_file_or_directory).message();
        debugPrint(kClassName, "Could not remove file in target: " + why);
    }

    if (session_) {
        session_->cancelExport();
        session_.reset();
    }
    auto session = AssetExportSession::make(input, preset);
    if (!session) {
        debugPrint(kClassName, "Could not initialize export session");
        if (completionHandler) completionHandler(false, nullptr);
        return;
    }
    session_ = session;
    session->setOutputURL(output);
    session->setOutputFileType(sessionFileType());

    // Each export has its own timer that reports its own session, so the end of an export
    // that was replaced never stops the progress of the one that replaced it.
    if (progressTimer_) progressTimer_->invalidate();
    std::weak_ptr<WQVideoConverter> weakSelf = weak_from_this();
    std::weak_ptr<AssetExportSession> weakSession = session;
    auto timer = platform::Timer::scheduled(0.1, true, [weakSelf, weakSession](platform::Timer&) {
        platform::MainQueue::async([weakSelf, weakSession] {
            auto self = weakSelf.lock();
            auto session = weakSession.lock();
            if (self && session) self->reportProgress(session);
        });
    });
    progressTimer_ = timer;

    session->exportAsynchronously([self = shared_from_this(), session, timer,
                                   handler = std::move(completionHandler)]() mutable {
        timer->invalidate();
        if (self->progressTimer_ == timer) self->progressTimer_.reset();
        const bool completed = session->status() == AssetExportSession::Status::completed;
        // Queued behind any tick already posted, and before the handler, so a finished
        // export's last report is its 1.0 and nothing follows the handler.
        if (completed) platform::MainQueue::async([self, session] { self->reportProgress(session); });
        platform::MainQueue::async([handler = std::move(handler), completed, session] {
            if (handler) handler(completed, session);
        });
    });
}

void WQVideoConverter::reportProgress(const std::shared_ptr<AssetExportSession>& session) {
    const double progress = session->progress();
    if (progressDelegate) progressDelegate->progressDidChange(progress);
    if (progressAction) progressAction(progress, false, false);
}

void WQVideoConverter::stop() {
    if (estimateCancelled_) *estimateCancelled_ = true;
    if (session_) session_->cancelExport();
}

}  // namespace tovak
