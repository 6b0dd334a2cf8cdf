#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/SimpleGetHTTPRequest.h"

namespace parlivo {

// Asks the user where to save a file (the save panel).
class SavePanel {
public:
    struct Options {
        std::string title = "Save File";
        std::string suggestedName;           // a plain base name, or empty
        std::optional<std::string> mimeType;  // offered as the panel's file type
        std::optional<std::string> extension;
    };
    virtual ~SavePanel() = default;
    // `done` runs once on the main loop, with the chosen path or none when the user cancelled.
    virtual void run(const Options& options, std::function<void(std::optional<std::filesystem::path>)> done) = 0;
};

// Saves what the page hands over and the files its links point to: asks where, fetches (links),
// writes on a worker thread and tells the user when a save fails. Nothing is ever reported as
// saved that is not completely on disk. Main thread only; callbacks come back on the main loop.
class DownloadController : public std::enable_shared_from_this<DownloadController> {
public:
    static constexpr std::string_view kClassName = "DownloadController";
    using Bytes = std::vector<std::uint8_t>;
    using FetchCompletion = std::function<void(SimpleGetHTTPRequest::Result)>;
    // Fetches a URL; the completion may run on any thread. SimpleGetHTTPRequest by default.
    using Fetch = std::function<void(const std::string& url, FetchCompletion done)>;
    // Tells the user that something could not be saved (a message on the main window).
    using Reporter = std::function<void(const std::string& message)>;

    static std::shared_ptr<DownloadController> create(std::shared_ptr<SavePanel> panel, Reporter reporter,
                                                      Fetch fetch = {});

    // The page's "download": `dataURL` is a data URL (only its Base64 part is read). It may hold a
    // whole file: it is decoded off the main thread, and saves are offered in the order asked.
    void saveDataURL(std::string dataURL, const std::string& mimeType, const std::optional<std::string>& fileName);
    // A link to a file: where to, then the fetch, then the write.
    void downloadFile(const std::string& url);

    // Every finished save attempt: the chosen path and whether the file is complete on disk.
    std::function<void(const std::filesystem::path& path, bool saved)> onFinished;

    static std::string failureText(const std::filesystem::path& path);

private:
    DownloadController(std::shared_ptr<SavePanel> panel, Reporter reporter, Fetch fetch);
    void offer(std::shared_ptr<const Bytes> bytes, const std::string& mimeType, const std::optional<std::string>& fileName);
    void write(std::filesystem::path path, std::shared_ptr<const Bytes> bytes);
    void finish(const std::filesystem::path& path, bool saved, const std::string& reason);

    std::shared_ptr<SavePanel> panel_;
    Reporter reporter_;
    Fetch fetch_;
};

}  // namespace parlivo
