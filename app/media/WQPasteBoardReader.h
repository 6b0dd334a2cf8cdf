#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RGBAImage.h"

namespace tovak {
class WQTempFile;
}

namespace parlivo {

// A pasteboard as the drop view reads it: the clipboard, or what a drag carries. Types are the
// owner's target names ("text/uri-list", "image/png", ...). Reading is asynchronous: the owner
// is another program. Main thread only.
class WQPasteboard {
public:
    virtual ~WQPasteboard() = default;

    // The types on offer, in the owner's order.
    virtual const std::vector<std::string>& types() const = 0;
    // The bytes offered as `type`; `completion` runs later on the main thread, with none when
    // the owner gave nothing.
    virtual void read(const std::string& type, std::function<void(std::optional<std::string>)> completion) = 0;

    // File promises (a drag whose source writes its file where the drop asks it to).
    virtual bool hasFilePromise() const { return false; }
    // Asks the source to write its promised files into `directory`; `completion` (main thread)
    // gets the names the source will write there, or none when it refused.
    virtual void receivePromisedFiles(const std::filesystem::path& directory,
                                      std::function<void(std::optional<std::vector<std::string>>)> completion) {
        completion(std::nullopt);
    }
};

// How long promised files are waited for: an attempt every `interval`, at most `attempts`.
struct WQPromiseWait {
    std::chrono::milliseconds interval{50};
    int attempts = 100;
};

// Reads file URLs and images from a pasteboard's bytes. Everything it is given comes from
// another program and is checked: only local file URLs naming regular files (no links, no
// folders, devices or pipes) are taken, image bytes are decoded with a size bound, promised
// names must be plain file names.
class WQPasteBoardReader {
public:
    static constexpr std::string_view kClassName = "WQPasteBoardReader";

    static constexpr std::string_view uriListType = "text/uri-list";
    // File managers' "copy" and "cut": a first line with the operation, then file URLs.
    static constexpr std::string_view copiedFilesType = "x-special/gnome-copied-files";
    // The direct-save protocol (XDS): the X11 drag's file promise.
    static constexpr std::string_view directSaveType = "XdndDirectSave0";
    // What a direct-save source hands over instead when it cannot write the file itself.
    static constexpr std::string_view octetStreamType = "application/octet-stream";

    // The image types read, in order of preference (lossless first).
    static const std::vector<std::string>& imageTypes();

    // --- what is offered ---
    // The type to read file URLs from, if any.
    static std::optional<std::string> fileURLType(const std::vector<std::string>& types);
    // The image type to read, if any.
    static std::optional<std::string> imageType(const std::vector<std::string>& types);
    static bool offersFilePromise(const std::vector<std::string>& types);

    // --- file URLs ---
    enum class Refusal {
        notAFileURL,      // another scheme (a web link), or no URI at all
        remoteHost,       // a file URL of another machine
        missing,
        symbolicLink,     // links are not followed
        notARegularFile,  // folders, devices, pipes, sockets
        unreadable,
    };
    static std::string_view describe(Refusal refusal);

    struct FileURLs {
        std::vector<std::filesystem::path> accepted;
        std::vector<std::pair<std::string, Refusal>> refused;  // the URI or path as given
    };

    // The URIs of a URI list (RFC 2483: one a line, CR LF or LF, "#" comments), and of a
    // file manager's copied-files text. Lines holding a NUL or nothing are skipped.
    static std::vector<std::string> urisFromList(std::string_view text);
    // The local path of a file URL ("file:///a%20b" gives "/a b", any bytes). None for other
    // schemes and for other machines (a host that is neither empty, "localhost" nor ours).
    static std::optional<std::filesystem::path> pathFromFileURI(std::string_view uri, Refusal* refusal = nullptr);
    // Whether the list names at least one local file (without looking at the file system).
    static bool namesLocalFiles(std::string_view uriListText);
    // Why the file at `path` cannot be taken, or none: it must be a regular file this user can
    // read, not a symbolic link. Touches the file system: call it off the main thread.
    static std::optional<Refusal> checkFile(const std::filesystem::path& path);
    // The files of a URI list, each checked. Touches the file system.
    static FileURLs getURLs(std::string_view uriListText);

    // What is read from a pasteboard at most: longer file lists and larger images are not taken.
    static constexpr std::size_t maximumURIListBytes = std::size_t(1) << 20;
    static constexpr std::size_t maximumImageBytes = std::size_t(64) << 20;

    // --- images ---
    // Images with more pixels are scaled down to this many as they are decoded.
    static constexpr std::uint64_t maximumImagePixels = 50'000'000;
    static constexpr double jpegQuality = 0.9;

    // Decodes image bytes of any format gdk-pixbuf reads. None for bytes that are no image.
    // Any thread.
    static std::optional<tovak::RGBAImage> decodeImage(std::string_view bytes);
    // Writes the image to a fresh temporary file: JPEG at quality 0.9, or PNG when it has
    // transparent parts (JPEG would lose them). None (with `error`) when it cannot be encoded or
    // written. Any thread.
    static std::shared_ptr<tovak::WQTempFile> writeImage(const tovak::RGBAImage& image, std::string* error = nullptr);

    // --- file promises ---
    // The name a promise may be written under: a plain file name (no folder part, not "." or
    // "..", no NUL, at most 255 bytes). None otherwise.
    static std::optional<std::string> promisedFileName(std::string_view name);

    using PromiseWait = WQPromiseWait;
    // Waits for promised files in `directory`: every name must exist as a regular file (not a
    // link) whose size and modification time did not change since the last attempt, so a file
    // still being written is not taken. Tries every `interval`, at most `attempts` times; then
    // the readable ones among them, in order. None when they did not all settle in time or a
    // name is not a plain file name. Blocks: run it off the main thread. `cancelled` is asked
    // between attempts.
    static std::optional<std::vector<std::filesystem::path>> waitForPromisedFiles(
        const std::vector<std::string>& names, const std::filesystem::path& directory, PromiseWait wait = {},
        const std::function<bool()>& cancelled = {});
};

}  // namespace parlivo
