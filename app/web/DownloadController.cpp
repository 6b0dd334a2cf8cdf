#include "web/DownloadController.h"

#include <cstdio>

#include "DebugPrint.h"
#include "WQBase64DataConverter.h"
#include "WQFileType.h"
#include "foundation/FileManager.h"
#include "foundation/Localized.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "foundation/URL.h"
#include "foundation/WorkQueue.h"
#include "web/NavigationPolicy.h"

namespace parlivo {

namespace {

void debugLog(std::string_view message) { tovak::debugPrint(DownloadController::kClassName, message); }

void fetchWithSimpleGet(const std::string& url, DownloadController::FetchCompletion done) {
    auto request = SimpleGetHTTPRequest::create(url);
    request->setCompletionHandler(std::move(done));
    request->start();
}

}  // namespace

std::shared_ptr<DownloadController> DownloadController::create(std::shared_ptr<SavePanel> panel, Reporter reporter,
                                                               Fetch fetch) {
    return std::shared_ptr<DownloadController>(
        new DownloadController(std::move(panel), std::move(reporter), fetch ? std::move(fetch) : Fetch(fetchWithSimpleGet)));
}

DownloadController::DownloadController(std::shared_ptr<SavePanel> panel, Reporter reporter, Fetch fetch)
    : panel_(std::move(panel)), reporter_(std::move(reporter)), fetch_(std::move(fetch)) {}

std::string DownloadController::failureText(const std::filesystem::path& path) {
    return platform::localized("DOWNLOAD_SAVE_FAILED", "The file could not be saved.") + "\n" + path.string();
}

void DownloadController::saveDataURL(std::string dataURL, const std::string& mimeType,
                                     const std::optional<std::string>& fileName) {
    const std::string uti = tovak::WQFileType::UTIFromMIMEType(mimeType);
    debugLog("BASE64 MIME: " + mimeType + " UTI: " + uti);
    // One serial worker for every controller, never torn down (nothing waits for it): decoded
    // data comes back in the order the page asked.
    static auto* decoder = new platform::WorkQueue("download data");
    std::weak_ptr<DownloadController> weak = weak_from_this();
    decoder->async([weak, dataURL = std::move(dataURL), mimeType, fileName] {
        std::shared_ptr<const Bytes> bytes;
        if (auto decoded = tovak::WQBase64DataConverter().base64ToData(dataURL))
            bytes = std::make_shared<const Bytes>(std::move(*decoded));
        platform::MainQueue::async([weak, bytes, mimeType, fileName] {
            if (auto self = weak.lock()) self->offer(bytes, mimeType, fileName);
        });
    });
}

void DownloadController::offer(std::shared_ptr<const Bytes> bytes, const std::string& mimeType,
                               const std::optional<std::string>& fileName) {
    if (!bytes) {
        // Nothing could be written: the user is told instead of being asked for a place first.
        platform::systemLog("A download from the page carried no readable data; nothing was saved", platform::LogLevel::warning);
        if (reporter_) reporter_(platform::localized("DOWNLOAD_SAVE_FAILED", "The file could not be saved."));
        return;
    }
    SavePanel::Options options;
    options.suggestedName = fileName ? navigation::plainBaseName(*fileName, "") : std::string();
    options.mimeType = mimeType;
    if (!panel_) return;
    std::weak_ptr<DownloadController> weak = weak_from_this();
    panel_->run(options, [weak, bytes](std::optional<std::filesystem::path> path) {
        auto self = weak.lock();
        if (!self || !path) return;
        self->write(std::move(*path), bytes);
    });
}

void DownloadController::downloadFile(const std::string& url) {
    const auto parsed = platform::URL::parse(url);
    if (!parsed || !parsed->isHTTP()) {
        platform::systemLog("Not downloading " + url + ": only http and https links are fetched", platform::LogLevel::info);
        return;
    }
    SavePanel::Options options;
    options.extension = parsed->pathExtension();
    options.suggestedName = navigation::plainBaseName(parsed->lastPathComponent(), "");
    if (!panel_) return;
    std::weak_ptr<DownloadController> weak = weak_from_this();
    panel_->run(options, [weak, url](std::optional<std::filesystem::path> path) {
        auto self = weak.lock();
        if (!self || !path) return;
        self->fetch_(url, [weak, path = *path](SimpleGetHTTPRequest::Result result) {
            if (auto* bytes = std::get_if<std::vector<std::uint8_t>>(&result)) {
                auto data = std::make_shared<const Bytes>(std::move(*bytes));
                platform::MainQueue::async([weak, path, data] {
                    if (auto self = weak.lock()) self->write(path, data);
                });
                return;
            }
            const auto& error = std::get<platform::Error>(result);
            std::printf("##### ERROR while downloading\n");
            std::fflush(stdout);
            platform::MainQueue::async([weak, path, reason = error.description()] {
                if (auto self = weak.lock()) self->finish(path, false, reason);
            });
        });
    });
}

void DownloadController::write(std::filesystem::path path, std::shared_ptr<const Bytes> bytes) {
    std::weak_ptr<DownloadController> weak = weak_from_this();
    platform::WorkQueue::global().async([weak, path = std::move(path), bytes] {
        const auto written = platform::FileManager::writeAtomically(
            path, std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), 0644);
        const bool saved = written.has_value();
        const std::string reason = saved ? std::string() : written.error().message;
        if (saved) {
            std::printf("##### Saved download to: %s\n", path.c_str());
            std::fflush(stdout);
        }
        platform::MainQueue::async([weak, path, saved, reason] {
            if (auto self = weak.lock()) self->finish(path, saved, reason);
        });
    });
}

void DownloadController::finish(const std::filesystem::path& path, bool saved, const std::string& reason) {
    if (!saved) {
        platform::systemLog("Download not saved to " + path.string() + ": " + reason, platform::LogLevel::warning);
        if (reporter_) reporter_(failureText(path));
    }
    if (onFinished) onFinished(path, saved);
}

}  // namespace parlivo
