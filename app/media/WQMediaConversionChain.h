#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "WQTempFile.h"
#include "WQVideoConverter.h"
#include "config/DynamicData.h"
#include "media/WQModalProgressSheet.h"
#include "web/ScriptMessage.h"

namespace parlivo {

// Prepares files for the chat page and hands them over as data URLs: HEIF and HEIC photos
// become JPEG, movies are transcoded by the video converter behind the modal progress sheet
// (unless the configuration's movie mode keeps them as they are), and when every file of a
// request is done, all of them go to the page in one call of wqOpenFileURLsWithID (a page file
// input is answered) or wqDropFileURLs (a drop, paste, share or camera result).
//
// The web media controller owns one chain and calls it on the main thread. Requests run one at
// a time in the order they came; later ones wait. Decoding, encoding and reading happen on a
// worker, the page call on the main thread. A file that cannot be converted goes to the page
// as it is; a file that cannot be read is left out; a file too large to embed is left out and
// the user is told. Pressing stop on the sheet ends the request: nothing of it is sent.
class WQMediaConversionChain : public std::enable_shared_from_this<WQMediaConversionChain> {
public:
    static constexpr std::string_view kClassName = "WQMediaConversionChain";

    using Bytes = std::vector<std::uint8_t>;
    using URLs = std::vector<std::filesystem::path>;
    using TempFiles = std::vector<std::shared_ptr<tovak::WQTempFile>>;
    // Owners of source files on disk (a camera recording, a pasted image's temporary file, a
    // share's folder). A request keeps them until it has read the files, then lets them go.
    using KeepAlive = std::vector<std::shared_ptr<void>>;
    // Receives what a request made of its files: the URLs to send, in the order of the input,
    // and the temporary files among them, which it must keep until it has read them.
    using FinishingAction = std::function<void(URLs convertedURLs, TempFiles tempFiles)>;

    // The configuration's movie values, read when a request reaches a movie.
    struct MovieSettings {
        std::optional<MovieFileMode> mode;
        std::optional<std::int64_t> targetFileSize;
        std::optional<std::vector<std::string>> presets;
    };

    // How a request's transcoded movies are written: the container, which also gives the new
    // file's extension, and whether the progress sheet names the file being converted.
    struct MovieOutput {
        tovak::WQVideoConverter::OutputFileType fileType = tovak::WQVideoConverter::OutputFileType::mov;
        bool sheetShowsFileName = true;
    };

    // How much a page call may embed. Every byte becomes 4/3 of a byte of script text that the
    // web view has to take in one piece.
    struct Limits {
        std::uintmax_t maximumFileSize = std::uintmax_t(100) << 20;
        std::uintmax_t maximumDeliverySize = std::uintmax_t(200) << 20;
    };

    static constexpr double heifJPEGQuality = 0.75;
    static constexpr std::string_view progressTitle = "Converting Video";

    static std::shared_ptr<WQMediaConversionChain> create(std::shared_ptr<tovak::WQVideoConverter> videoConverter);
    ~WQMediaConversionChain();
    WQMediaConversionChain(const WQMediaConversionChain&) = delete;
    WQMediaConversionChain& operator=(const WQMediaConversionChain&) = delete;

    const std::shared_ptr<tovak::WQVideoConverter>& videoConverter() const { return videoConverter_; }
    // The page that receives the results; the controller passes on each web view it is given.
    void setWebView(std::weak_ptr<platform::JavaScriptEvaluator> webView) { webView_ = std::move(webView); }
    // The window side: progress sheets and messages to the user.
    void setHost(std::weak_ptr<WQMediaConversionHost> host) { host_ = std::move(host); }

    // Where movie values come from; by default the remote configuration.
    std::function<MovieSettings()> movieSettings;
    Limits limits;

    // Converts the files one by one, then sends them all to the page: to the file input
    // `fileInputId`, or as a drop without one.
    void convertNextFile(URLs urls, std::optional<std::string> fileInputId, KeepAlive keepAlive = {});
    // Converts the files one by one, then hands the results to `finishingAction` (main thread).
    void convertNextFile(URLs urls, FinishingAction finishingAction, KeepAlive keepAlive = {});
    // The same, with the request's movies written as `movieOutput` says.
    void convertNextFile(URLs urls, FinishingAction finishingAction, KeepAlive keepAlive, MovieOutput movieOutput);
    // Sends the files to the page as they are.
    void sendFiles(URLs urls, std::optional<std::string> fileInputId, KeepAlive keepAlive = {});
    // Sends one captured item (a camera photo or recording) to the page.
    void sendFileData(Bytes data, std::string mimeType, std::optional<std::string> fileInputId);
    // The same for an item on disk (a camera recording), read on the worker; `keepAlive` holds
    // the file until it has been read. A file that cannot be read sends nothing.
    void sendFileData(std::filesystem::path file, std::string mimeType, std::optional<std::string> fileInputId,
                      KeepAlive keepAlive);
    // Files chosen in the open panel: converted in the movie mode avFoundation, sent as they are
    // in the others.
    void sendChosenFiles(URLs urls, std::optional<std::string> fileInputId);

    // Whether a request is being worked on, and how many wait behind it.
    bool isBusy() const { return current_ != nullptr; }
    std::size_t waitingCount() const { return waiting_.size(); }

private:
    struct Request;
    struct Delivery;

    explicit WQMediaConversionChain(std::shared_ptr<tovak::WQVideoConverter> videoConverter);
    void enqueue(std::shared_ptr<Request> request);
    void startNext();
    void finishCurrent();
    void convertStep(const std::shared_ptr<Request>& request);
    void convertHEIF(const std::shared_ptr<Request>& request, const std::filesystem::path& url);
    void transcodeMovie(const std::shared_ptr<Request>& request, const std::filesystem::path& url);
    void finishConversion(const std::shared_ptr<Request>& request);
    void deliver(const std::shared_ptr<Request>& request);
    void didPrepare(const std::shared_ptr<Request>& request, const Delivery& delivery);
    // Tells the user about files that are not sent: too large, or photos over the decoder's bounds.
    void presentRefused(const std::vector<std::string>& names);
    MovieSettings currentMovieSettings() const;

    std::shared_ptr<tovak::WQVideoConverter> videoConverter_;
    std::weak_ptr<platform::JavaScriptEvaluator> webView_;
    std::weak_ptr<WQMediaConversionHost> host_;
    std::deque<std::shared_ptr<Request>> waiting_;
    std::shared_ptr<Request> current_;
};

}  // namespace parlivo
