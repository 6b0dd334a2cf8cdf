#include "media/WQPasteBoardReader.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "DebugPrint.h"
#include "JPEGEncoding.h"
#include "WQTempFile.h"
#include "foundation/FileManager.h"
#include "foundation/URL.h"

namespace parlivo {

namespace fs = std::filesystem;

namespace {

void log(std::string_view message) { tovak::debugPrint(WQPasteBoardReader::kClassName, message); }

bool contains(const std::vector<std::string>& types, std::string_view type) {
    return std::find(types.begin(), types.end(), type) != types.end();
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool isLocalHost(const char* host) {
    if (!host || !*host) return true;
    if (g_ascii_strcasecmp(host, "localhost") == 0) return true;
    return g_ascii_strcasecmp(host, g_get_host_name()) == 0;
}

}  // namespace

const std::vector<std::string>& WQPasteBoardReader::imageTypes() {
    static const std::vector<std::string> types = {"image/tiff", "image/png",  "image/jpeg", "image/bmp",
                                                   "image/gif",  "image/webp", "image/x-bmp"};
    return types;
}

std::optional<std::string> WQPasteBoardReader::fileURLType(const std::vector<std::string>& types) {
    if (contains(types, uriListType)) return std::string(uriListType);
    if (contains(types, copiedFilesType)) return std::string(copiedFilesType);
    return std::nullopt;
}

std::optional<std::string> WQPasteBoardReader::imageType(const std::vector<std::string>& types) {
    for (const auto& type : imageTypes())
        if (contains(types, type)) return type;
    return std::nullopt;
}

bool WQPasteBoardReader::offersFilePromise(const std::vector<std::string>& types) {
    return contains(types, directSaveType);
}

std::string_view WQPasteBoardReader::describe(Refusal refusal) {
    switch (refusal) {
    case Refusal::notAFileURL: return "not a file URL";
    case Refusal::remoteHost: return "a file of another machine";
    case Refusal::missing: return "missing";
    case Refusal::symbolicLink: return "a symbolic link";
    case Refusal::notARegularFile: return "not a regular file";
    case Refusal::unreadable: return "unreadable";
    }
    return "refused";
}

std::vector<std::string> WQPasteBoardReader::urisFromList(std::string_view text) {
    std::vector<std::string> uris;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == '#' || line.find('\0') != std::string_view::npos) continue;
        uris.emplace_back(line);
    }
    return uris;
}

std::optional<fs::path> WQPasteBoardReader::pathFromFileURI(std::string_view uri, Refusal* refusal) {
    auto refuse = [&](Refusal why) -> std::optional<fs::path> {
        if (refusal) *refusal = why;
        return std::nullopt;
    };
    if (!platform::hasURLScheme(uri, "file") || uri.find('\0') != std::string_view::npos) return refuse(Refusal::notAFileURL);
    const std::string text(uri);
    gchar* host = nullptr;
    gchar* path = g_filename_from_uri(text.c_str(), &host, nullptr);
    const bool local = isLocalHost(host);
    g_free(host);
    if (!path) return refuse(Refusal::notAFileURL);
    fs::path result(path);
    g_free(path);
    if (!local) return refuse(Refusal::remoteHost);
    return result;
}

bool WQPasteBoardReader::namesLocalFiles(std::string_view uriListText) {
    for (const auto& uri : urisFromList(uriListText))
        if (pathFromFileURI(uri)) return true;
    return false;
}

std::optional<WQPasteBoardReader::Refusal> WQPasteBoardReader::checkFile(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return Refusal::missing;
    if (S_ISLNK(info.st_mode)) return Refusal::symbolicLink;
    if (!S_ISREG(info.st_mode)) return Refusal::notARegularFile;
    if (::access(path.c_str(), R_OK) != 0) return Refusal::unreadable;
    return std::nullopt;
}

WQPasteBoardReader::FileURLs WQPasteBoardReader::getURLs(std::string_view uriListText) {
    FileURLs result;
    for (const auto& uri : urisFromList(uriListText)) {
        Refusal refusal = Refusal::notAFileURL;
        auto path = pathFromFileURI(uri, &refusal);
        if (!path) {
            result.refused.emplace_back(uri, refusal);
            continue;
        }
        if (auto why = checkFile(*path)) {
            result.refused.emplace_back(path->string(), *why);
            continue;
        }
        result.accepted.push_back(std::move(*path));
    }
    return result;
}

// --- images ---

std::optional<tovak::RGBAImage> WQPasteBoardReader::decodeImage(std::string_view bytes) {
    if (bytes.empty()) return std::nullopt;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    // An image too large to hold is scaled down as it is decoded, before its pixels exist.
    g_signal_connect(loader, "size-prepared", G_CALLBACK(+[](GdkPixbufLoader* self, gint width, gint height, gpointer) {
                         const double pixels = double(width) * double(height);
                         if (width <= 0 || height <= 0 || pixels <= double(maximumImagePixels)) return;
                         const double scale = std::sqrt(double(maximumImagePixels) / pixels);
                         gdk_pixbuf_loader_set_size(self, std::max(1, int(width * scale)), std::max(1, int(height * scale)));
                     }),
                     nullptr);
    GError* error = nullptr;
    bool ok = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()), bytes.size(), &error);
    // Closing is needed in any case; its error counts only when the writing went well.
    GError* closeError = nullptr;
    ok = gdk_pixbuf_loader_close(loader, ok ? &closeError : nullptr) && ok;
    if (error) g_error_free(error);
    if (closeError) g_error_free(closeError);
    GdkPixbuf* pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    std::optional<tovak::RGBAImage> image;
    if (pixbuf && gdk_pixbuf_get_colorspace(pixbuf) == GDK_COLORSPACE_RGB && gdk_pixbuf_get_bits_per_sample(pixbuf) == 8) {
        const int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
        const int channels = gdk_pixbuf_get_n_channels(pixbuf), stride = gdk_pixbuf_get_rowstride(pixbuf);
        const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
        if (width > 0 && height > 0 && channels == (alpha ? 4 : 3)) {
            tovak::RGBAImage out(width, height);
            const guchar* source = gdk_pixbuf_read_pixels(pixbuf);
            for (int y = 0; y < height; ++y) {
                const guchar* row = source + std::size_t(y) * stride;
                std::uint8_t* target = out.pixels.data() + std::size_t(y) * width * 4;
                for (int x = 0; x < width; ++x) {
                    target[x * 4 + 0] = row[x * channels + 0];
                    target[x * 4 + 1] = row[x * channels + 1];
                    target[x * 4 + 2] = row[x * channels + 2];
                    target[x * 4 + 3] = alpha ? row[x * channels + 3] : 255;
                }
            }
            image = std::move(out);
        }
    }
    g_object_unref(loader);
    return image;
}

std::shared_ptr<tovak::WQTempFile> WQPasteBoardReader::writeImage(const tovak::RGBAImage& image, std::string* error) {
    auto fail = [&](std::string why) -> std::shared_ptr<tovak::WQTempFile> {
        if (error) *error = std::move(why);
        return nullptr;
    };
    if (!image.isValid()) return fail("not an image");
    bool transparent = false;
    for (std::size_t i = 3; i < image.pixels.size(); i += 4)
        if (image.pixels[i] != 255) {
            transparent = true;
            break;
        }
    std::string bytes;
    if (transparent) {
        GdkPixbuf* pixbuf = gdk_pixbuf_new_from_data(image.pixels.data(), GDK_COLORSPACE_RGB, TRUE, 8, image.width,
                                                     image.height, image.width * 4, nullptr, nullptr);
        gchar* buffer = nullptr;
        gsize size = 0;
        GError* saveError = nullptr;
        const bool saved = pixbuf && gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", &saveError, nullptr);
        if (pixbuf) g_object_unref(pixbuf);
        if (!saved) {
            std::string why = saveError ? saveError->message : "PNG encoding failed";
            if (saveError) g_error_free(saveError);
            return fail(why);
        }
        bytes.assign(buffer, size);
        g_free(buffer);
    } else {
        auto jpeg = tovak::getJPEGDataWithQuality(image, jpegQuality);
        if (!jpeg) return fail("JPEG encoding failed");
        bytes.assign(reinterpret_cast<const char*>(jpeg->data()), jpeg->size());
    }
    auto file = std::make_shared<tovak::WQTempFile>(transparent ? "png" : "jpg");
    if (auto written = platform::FileManager::writeAtomically(file->url(), bytes, 0600); !written)
        return fail(written.error().message);
    return file;
}

// --- file promises ---

std::optional<std::string> WQPasteBoardReader::promisedFileName(std::string_view name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") return std::nullopt;
    if (name.find('/') != std::string_view::npos || name.find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(name);
}

std::optional<std::vector<fs::path>> WQPasteBoardReader::waitForPromisedFiles(const std::vector<std::string>& names,
                                                                              const fs::path& directory, PromiseWait wait,
                                                                              const std::function<bool()>& cancelled) {
    std::vector<fs::path> paths;
    for (const auto& name : names) {
        if (!promisedFileName(name)) return std::nullopt;
        paths.push_back(directory / name);
    }
    if (paths.empty()) {
        log("All files exist");
        return paths;
    }
    // What each file looked like at the last attempt: a file counts once it is unchanged.
    struct Seen {
        off_t size = -1;
        timespec modified{};
        bool operator==(const Seen& other) const {
            return size == other.size && modified.tv_sec == other.modified.tv_sec &&
                   modified.tv_nsec == other.modified.tv_nsec;
        }
    };
    std::vector<std::optional<Seen>> last(paths.size());
    for (int attempt = 0; attempt < wait.attempts; ++attempt) {
        if (cancelled && cancelled()) return std::nullopt;
        bool settled = true;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            struct stat info {};
            if (::lstat(paths[i].c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
                // Missing, or something that is not a plain file (a link the source made is
                // never followed): wait for the source, which may still replace it.
                last[i].reset();
                settled = false;
                continue;
            }
            const Seen now{info.st_size, info.st_mtim};
            if (!last[i] || !(*last[i] == now)) settled = false;
            last[i] = now;
        }
        if (settled) {
            log("All files exist");
            std::vector<fs::path> readable;
            for (const auto& path : paths)
                if (!checkFile(path)) readable.push_back(path);
            return readable;
        }
        log("WAITING");
        std::this_thread::sleep_for(wait.interval);
    }
    return std::nullopt;
}

}  // namespace parlivo
