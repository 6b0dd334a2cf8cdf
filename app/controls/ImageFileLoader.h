#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include <gdkmm/pixbuf.h>

namespace parlivo {

// Reads a picture from a file the user chose: a regular file of at most 64 MB, read through the
// bounded reader, decoded with gdk-pixbuf (turned upright after its orientation tag) and at most
// 16384 pixels a side and 80 million pixels in all. Anything else (a video, a broken or huge
// picture, a folder) gives no image.
class ImageFileLoader {
public:
    static constexpr std::uintmax_t maximumFileBytes = 64u * 1024 * 1024;
    static constexpr int maximumSide = 16384;
    static constexpr std::int64_t maximumPixels = 80'000'000;

    // Decodes on a worker and answers on the main queue (null for no image).
    static void loadAsync(const std::filesystem::path& path, std::function<void(Glib::RefPtr<Gdk::Pixbuf>)> completion);
    // The same, at once, on the calling thread (main thread: it wraps the result for gtkmm).
    static Glib::RefPtr<Gdk::Pixbuf> load(const std::filesystem::path& path);
};

}  // namespace parlivo
