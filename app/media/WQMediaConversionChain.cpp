#include "media/WQMediaConversionChain.h"

#include <glib.h>

#include <string_view>

#include "DebugPrint.h"
#include "StringExtensions.h"
#include "WQFileType.h"
#include "foundation/FileManager.h"
#include "foundation/Localized.h"
#include "foundation/MainQueue.h"
#include "foundation/WorkQueue.h"
#include "media/AssetExportSession.h"
#include "media/HEIFConversion.h"
#include "system/Crypto.h"

namespace parlivo {

namespace fs = std::filesystem;

namespace {

void log(std::string_view message) { tovak::debugPrint(WQMediaConversionChain::kClassName, message); }

// Decoding, encoding and reading for every chain: one request runs at a time, so one thread.
platform::WorkQueue& workQueue() {
    static auto* queue = new platform::WorkQueue("WQMediaConversionChain", 1);
    return *queue;
}

std::string urlString(const fs::path& path) {
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    std::string text = uri ? uri : path.string();
    g_free(uri);
    return text;
}

std::string sizeText(std::uintmax_t bytes) {
    gchar* text = g_format_size(bytes);
    std::string out(text);
    g_free(text);
    return out;
}

std::string escaped(std::string_view text) { return tovak::stringEscapedForJavascript(text); }

// Appends 'data:<MIME type>;base64,<Base64 text>'. The Base64 alphabet needs no escaping.
void appendDataItem(std::string& script, std::string_view mimeType, std::span<const std::uint8_t> bytes) {
    script.append("'data:").append(escaped(mimeType)).append(";base64,");
    script.append(platform::Crypto::base64(bytes)).append("'");
}

std::string joinedList(const std::vector<std::string>& items) {
    std::string list = "[";
    for (std::size_t i = 0; i < items.size(); ++i) list.append(i ? ", " : "").append(items[i]);
    return list.append("]");
}

}  // namespace

// One request: the files still to handle and what has been made of the others.
struct WQMediaConversionChain::Request {
    enum class Kind { convert, sendFiles, sendData };
    Kind kind = Kind::convert;
    URLs urls;                         // convert: still to handle; sendFiles: to send
    URLs convertedURLs;                // convert: what will be sent, in the input's order
    TempFiles tempFiles;               // convert: the temporary files made for it
    KeepAlive keepAlive;               // the caller's owners of source files
    std::optional<std::string> fileInputId;
    FinishingAction finishingAction;   // convert: none means "send to the page"
    MovieOutput movieOutput;           // convert: how transcoded movies are written
    Bytes data;                        // sendData
    std::optional<fs::path> dataFile;  // sendData: the item is this file's content
    std::string mimeType;              // sendData
    bool stopped = false;              // the user pressed stop on the sheet
    std::vector<std::string> refusedNames;  // convert: photos over the decoder's bounds
};

// What a worker made of a request's files for the page.
struct WQMediaConversionChain::Delivery {
    std::optional<std::string> script;
    std::vector<std::string> refusedNames;
};

std::shared_ptr<WQMediaConversionChain> WQMediaConversionChain::create(
    std::shared_ptr<tovak::WQVideoConverter> videoConverter) {
    return std::shared_ptr<WQMediaConversionChain>(new WQMediaConversionChain(std::move(videoConverter)));
}

WQMediaConversionChain::WQMediaConversionChain(std::shared_ptr<tovak::WQVideoConverter> videoConverter)
    : videoConverter_(videoConverter ? std::move(videoConverter) : tovak::WQVideoConverter::create()) {}

WQMediaConversionChain::~WQMediaConversionChain() = default;

WQMediaConversionChain::MovieSettings WQMediaConversionChain::currentMovieSettings() const {
    if (movieSettings) return movieSettings();
    auto& configuration = DynamicData::shared();
    return {configuration.movieFileMode(), configuration.movieTargetFileSize(), configuration.movieExportPresets()};
}

// --- the queue ---

void WQMediaConversionChain::convertNextFile(URLs urls, std::optional<std::string> fileInputId, KeepAlive keepAlive) {
    auto request = std::make_shared<Request>();
    request->urls = std::move(urls);
    request->fileInputId = std::move(fileInputId);
    request->keepAlive = std::move(keepAlive);
    enqueue(std::move(request));
}

void WQMediaConversionChain::convertNextFile(URLs urls, FinishingAction finishingAction, KeepAlive keepAlive) {
    convertNextFile(std::move(urls), std::move(finishingAction), std::move(keepAlive), MovieOutput());
}

void WQMediaConversionChain::convertNextFile(URLs urls, FinishingAction finishingAction, KeepAlive keepAlive,
                                             MovieOutput movieOutput) {
    auto request = std::make_shared<Request>();
    request->urls = std::move(urls);
    request->finishingAction = std::move(finishingAction);
    request->keepAlive = std::move(keepAlive);
    request->movieOutput = movieOutput;
    enqueue(std::move(request));
}

void WQMediaConversionChain::sendFiles(URLs urls, std::optional<std::string> fileInputId, KeepAlive keepAlive) {
    auto request = std::make_shared<Request>();
    request->kind = Request::Kind::sendFiles;
    request->urls = std::move(urls);
    request->fileInputId = std::move(fileInputId);
    request->keepAlive = std::move(keepAlive);
    enqueue(std::move(request));
}

void WQMediaConversionChain::sendFileData(Bytes data, std::string mimeType, std::optional<std::string> fileInputId) {
    auto request = std::make_shared<Request>();
    request->kind = Request::Kind::sendData;
    request->data = std::move(data);
    request->mimeType = std::move(mimeType);
    request->fileInputId = std::move(fileInputId);
    enqueue(std::move(request));
}

void WQMediaConversionChain::sendFileData(fs::path file, std::string mimeType, std::optional<std::string> fileInputId,
                                          KeepAlive keepAlive) {
    auto request = std::make_shared<Request>();
    request->kind = Request::Kind::sendData;
    request->dataFile = std::move(file);
    request->mimeType = std::move(mimeType);
    request->fileInputId = std::move(fileInputId);
    request->keepAlive = std::move(keepAlive);
    enqueue(std::move(request));
}

void WQMediaConversionChain::sendChosenFiles(URLs urls, std::optional<std::string> fileInputId) {
    if (currentMovieSettings().mode == MovieFileMode::avFoundation)
        convertNextFile(std::move(urls), std::move(fileInputId));
    else
        sendFiles(std::move(urls), std::move(fileInputId));
}

void WQMediaConversionChain::enqueue(std::shared_ptr<Request> request) {
    waiting_.push_back(std::move(request));
    if (!current_) startNext();
}

void WQMediaConversionChain::startNext() {
    if (current_ || waiting_.empty()) return;
    current_ = std::move(waiting_.front());
    waiting_.pop_front();
    if (current_->kind == Request::Kind::convert)
        convertStep(current_);
    else
        deliver(current_);
}

// The current request is done: what it held goes (its temporary files are deleted), and the
// next one starts.
void WQMediaConversionChain::finishCurrent() {
    current_.reset();
    startNext();
}

// --- conversion, one file at a time ---

void WQMediaConversionChain::convertStep(const std::shared_ptr<Request>& request) {
    if (request != current_) return;
    if (request->urls.empty()) {
        finishConversion(request);
        return;
    }
    const fs::path url = request->urls.front();
    request->urls.erase(request->urls.begin());
    const auto type = tovak::WQFileType::fromURL(url);

    if (type.conformsTo("public.heif") || type.conformsTo("public.heic")) {
        convertHEIF(request, url);
    } else if (type.conformsTo("public.movie")) {
        const auto settings = currentMovieSettings();
        if (settings.mode != MovieFileMode::fFmpeg && settings.mode != MovieFileMode::avFoundation) {
            request->convertedURLs.push_back(url);
            log("File: " + urlString(url) + " is a movie -> Appending RAW");
            convertStep(request);
        } else {
            transcodeMovie(request, url);
        }
    } else {
        request->convertedURLs.push_back(url);
        log("File: " + urlString(url) + " is not a movie -> appending");
        convertStep(request);
    }
}

void WQMediaConversionChain::convertHEIF(const std::shared_ptr<Request>& request, const fs::path& url) {
    std::weak_ptr<WQMediaConversionChain> weakSelf = weak_from_this();
    // Everything the worker holds goes back to the main thread with the result (moved, so the
    // captures are non-const copies), and the last owner of a request or a temporary file
    // always lets go of it there.
    workQueue().async([weakSelf, request = std::shared_ptr<Request>(request), url]() mutable {
        std::shared_ptr<tovak::WQTempFile> jpeg;
        const auto conversion = HEIFConversion::convertFile(url, heifJPEGQuality);
        const bool refused = conversion.outcome == HEIFConversion::Outcome::overBounds;
        if (conversion.outcome == HEIFConversion::Outcome::converted) {
            // Named after the source, so the chat shows "IMG_0001.jpg", not a random name.
            auto file = std::make_shared<tovak::WQTempFile>(url.stem().string(), "jpg");
            const std::string_view bytes(reinterpret_cast<const char*>(conversion.jpeg.data()), conversion.jpeg.size());
            if (auto written = platform::FileManager::writeAtomically(file->url(), bytes, 0600))
                jpeg = std::move(file);
            else
                log("Can not write JPG file: " + written.error().message);
        } else if (refused) {
            log("HEIF image " + urlString(url) + " is over the decoder's bounds: refused");
        } else {
            log("Can not convert HEIF Image to NSImage");
        }
        platform::MainQueue::async([weakSelf, request = std::move(request), url, jpeg = std::move(jpeg), refused] {
            auto self = weakSelf.lock();
            if (!self) return;
            if (refused) {
                // Not sent at all: the user is told with the files that are too large.
                request->refusedNames.push_back(url.filename().string());
            } else if (jpeg) {
                request->convertedURLs.push_back(jpeg->url());
                request->tempFiles.push_back(jpeg);
                log("File " + urlString(url) + " successfully converted to " + urlString(jpeg->url()) + ": appending");
            } else {
                request->convertedURLs.push_back(url);  // the source goes as it is
            }
            self->convertStep(request);
        });
    });
}

void WQMediaConversionChain::transcodeMovie(const std::shared_ptr<Request>& request, const fs::path& url) {
    const auto settings = currentMovieSettings();
    // The converter takes an unsigned byte budget; without a usable one there is nothing to
    // convert towards, and the movie goes as it is.
    if (!settings.targetFileSize || *settings.targetFileSize < 0) {
        request->convertedURLs.push_back(url);
        log("File: " + urlString(url) + " is a movie, but no target size is set -> Appending RAW");
        convertStep(request);
        return;
    }
    log("File " + urlString(url) + " is a movie and has to be trancoded");
    // The converter writes the container the new file's name says.
    using FileType = tovak::WQVideoConverter::OutputFileType;
    const FileType fileType = request->movieOutput.fileType;
    const char* extension = fileType == FileType::mp4 ? "mp4" : fileType == FileType::m4v ? "m4v" : "mov";
    auto output = std::make_shared<tovak::WQTempFile>(url.stem().string(), extension);
    videoConverter_->outputFileType = fileType;

    std::weak_ptr<WQMediaConversionChain> weakSelf = weak_from_this();
    std::weak_ptr<Request> weakRequest = request;
    auto stopAction = [weakSelf, weakRequest] {
        auto self = weakSelf.lock();
        auto stopped = weakRequest.lock();
        if (!self || !stopped || stopped != self->current_) return;
        stopped->stopped = true;
        self->videoConverter_->stop();
    };
    std::shared_ptr<WQModalProgressSheet> sheet;
    if (auto host = host_.lock())
        sheet = host->makeProgressSheet(
            std::string(progressTitle),
            request->movieOutput.sheetShowsFileName ? std::optional<std::string>(url.filename().string()) : std::nullopt,
            stopAction);
    videoConverter_->progressDelegate = sheet;
    if (sheet) sheet->beginSheet();

    videoConverter_->compressVideo(
        url, output->url(), static_cast<std::uint64_t>(*settings.targetFileSize), settings.presets,
        [weakSelf, request, url, output, sheet](bool completed,
                                                std::shared_ptr<platform::AssetExportSession> session) {
            // A later main-queue task, also when the converter answered at once.
            platform::MainQueue::async([weakSelf, request, url, output, sheet, completed, session] {
                if (sheet) sheet->endSheet();
                auto self = weakSelf.lock();
                if (!self) return;
                if (self->videoConverter_->progressDelegate == sheet) self->videoConverter_->progressDelegate = nullptr;
                if (request->stopped) {
                    log("File " + urlString(url) + " stopped: nothing is sent");
                    if (request == self->current_) self->finishCurrent();
                    return;
                }
                if (completed && session && session->status() == platform::AssetExportSession::Status::completed) {
                    log("File " + urlString(url) + " successfully transcoded");
                    request->convertedURLs.push_back(output->url());
                    request->tempFiles.push_back(output);
                } else {
                    log("File " + urlString(url) + " failed transcoding");
                    request->convertedURLs.push_back(url);
                }
                self->convertStep(request);
            });
        });
}

void WQMediaConversionChain::finishConversion(const std::shared_ptr<Request>& request) {
    if (!request->finishingAction) {
        request->kind = Request::Kind::sendFiles;
        request->urls = std::move(request->convertedURLs);
        request->convertedURLs.clear();
        deliver(request);
        return;
    }
    auto finishingAction = std::move(request->finishingAction);
    presentRefused(request->refusedNames);
    finishingAction(std::move(request->convertedURLs), std::move(request->tempFiles));
    finishCurrent();
}

// --- delivery to the page ---

void WQMediaConversionChain::deliver(const std::shared_ptr<Request>& request) {
    std::weak_ptr<WQMediaConversionChain> weakSelf = weak_from_this();
    const Limits limits = this->limits;
    // The worker holds the request, and with it the temporary files and the caller's owners of
    // the sources, until it has read them.
    workQueue().async([weakSelf, request = std::shared_ptr<Request>(request), limits]() mutable {
        Delivery delivery;
        delivery.refusedNames = request->refusedNames;
        if (request->kind == Request::Kind::sendData) {
            log("Send: " + request->mimeType);
            const std::string name = "unknown." + tovak::WQFileType::fromMIMEType(request->mimeType).FileExtension();
            bool readable = true, tooLarge = request->data.size() > limits.maximumFileSize;
            if (request->dataFile) {
                const auto contents = platform::FileManager::contentsAtPath(*request->dataFile, limits.maximumFileSize);
                if (contents)
                    request->data.assign(contents->begin(), contents->end());
                else if (contents.error().code == platform::FileErrorCode::tooLarge)
                    tooLarge = true;
                else
                    readable = false;
                if (!readable) log("Can not read " + urlString(*request->dataFile) + ": " + contents.error().message);
            }
            if (!readable) {
                // Nothing to send, and nothing to tell: the item is gone.
            } else if (tooLarge) {
                delivery.refusedNames.push_back(name);
            } else {
                std::string script;
                script.reserve(request->data.size() / 3 * 4 + 256);
                script.append(request->fileInputId ? "wqOpenFileURLsWithID('" + escaped(*request->fileInputId) + "', ["
                                                   : std::string("wqDropFileURLs(["));
                appendDataItem(script, request->mimeType, request->data);
                script.append(request->fileInputId ? "], ['" + escaped(name) + "']);" : std::string("]);"));
                delivery.script = std::move(script);
            }
        } else {
            std::string script = request->fileInputId
                                     ? "wqOpenFileURLsWithID('" + escaped(*request->fileInputId) + "', ["
                                     : std::string("wqDropFileURLs([");
            std::vector<std::string> names;
            std::uintmax_t total = 0;
            for (const auto& url : request->urls) {
                std::error_code error;
                if (!fs::is_regular_file(url, error)) continue;  // unreadable: left out without a trace
                const auto size = fs::file_size(url, error);
                if (error) continue;
                const std::string name = url.filename().string();
                if (size > limits.maximumFileSize || total + size > limits.maximumDeliverySize) {
                    delivery.refusedNames.push_back(name);
                    continue;
                }
                const auto contents = platform::FileManager::contentsAtPath(url, limits.maximumFileSize);
                if (!contents || total + contents->size() > limits.maximumDeliverySize) continue;
                total += contents->size();
                std::string extension = url.extension().string();
                if (!extension.empty()) extension.erase(0, 1);
                if (!names.empty()) script.append(", ");
                appendDataItem(script, tovak::WQFileType::MIMETypeFromFileExtension(extension),
                               {reinterpret_cast<const std::uint8_t*>(contents->data()), contents->size()});
                names.push_back("'" + escaped(name) + "'");
                log("ADDED FILENAME: " + escaped(name));
            }
            if (!names.empty()) delivery.script = script.append("], ").append(joinedList(names)).append(");");
        }
        platform::MainQueue::async([weakSelf, request = std::move(request), delivery = std::move(delivery)] {
            if (auto self = weakSelf.lock()) self->didPrepare(request, delivery);
        });
    });
}

void WQMediaConversionChain::presentRefused(const std::vector<std::string>& names) {
    if (!names.empty()) {
        log("Too large to send: " + std::to_string(names.size()) + " file(s)");
        const std::string message =
            names.size() == 1
                ? platform::localizedFormat(platform::localized("FILE_TOO_LARGE_TO_SEND", "“%@” is too large to send."),
                                   {names.front()})
                : platform::localizedFormat(platform::localized("FILES_TOO_LARGE_TO_SEND", "%@ files are too large to send."),
                                   {std::to_string(names.size())});
        std::string informative;
        if (names.size() > 1) {
            for (const auto& name : names) informative.append(informative.empty() ? "" : ", ").append(name);
            informative.append("\n\n");
        }
        informative.append(platform::localizedFormat(
            platform::localized("FILE_SIZE_LIMIT_INFO",
                                "Files sent this way can be up to %@ each, and up to %@ together."),
            {sizeText(limits.maximumFileSize), sizeText(limits.maximumDeliverySize)}));
        if (auto host = host_.lock()) host->presentMessage(message, informative);
    }
}

void WQMediaConversionChain::didPrepare(const std::shared_ptr<Request>& request, const Delivery& delivery) {
    presentRefused(delivery.refusedNames);
    if (delivery.script) {
        if (auto webView = webView_.lock())
            webView->evaluateJavaScript(*delivery.script);
        else
            log("No web view: the files are not sent");
    }
    if (request == current_) finishCurrent();
}

}  // namespace parlivo
