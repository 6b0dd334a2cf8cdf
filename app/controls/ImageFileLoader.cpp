#include "controls/ImageFileLoader.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "foundation/FileManager.h"
#include "foundation/MainQueue.h"
#include "foundation/WorkQueue.h"

namespace parlivo {

namespace {

bool acceptableSize(int width, int height) {
    return width > 0 && height > 0 && width <= ImageFileLoader::maximumSide &&
           height <= ImageFileLoader::maximumSide &&
           std::int64_t(width) * height <= ImageFileLoader::maximumPixels;
}

// Any thread: plain gdk-pixbuf, a new reference or null.
GdkPixbuf* decode(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return nullptr;
    // The header alone tells a picture from anything else, and its size, before any decoding.
    int width = 0, height = 0;
    if (!gdk_pixbuf_get_file_info(path.c_str(), &width, &height) || !acceptableSize(width, height)) return nullptr;
    auto bytes = platform::FileManager::contentsAtPath(path, ImageFileLoader::maximumFileBytes);
    if (!bytes || bytes->empty()) return nullptr;

    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    // The file may have changed since its header was read: the decoder checks again.
    bool tooLarge = false;
    g_signal_connect(loader, "size-prepared", G_CALLBACK(+[](GdkPixbufLoader* self, int w, int h, gpointer flag) {
                         if (!acceptableSize(w, h)) {
                             *static_cast<bool*>(flag) = true;
                             gdk_pixbuf_loader_set_size(self, 1, 1);
                         }
                     }),
                     &tooLarge);
    const bool written = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes->data()),
                                                 bytes->size(), nullptr);
    const bool closed = gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbuf* result = nullptr;
    if (written && closed && !tooLarge) {
        if (GdkPixbuf* decoded = gdk_pixbuf_loader_get_pixbuf(loader))
            result = gdk_pixbuf_apply_embedded_orientation(decoded);  // a new reference
    }
    g_object_unref(loader);
    return result;
}

}  // namespace

void ImageFileLoader::loadAsync(const std::filesystem::path& path,
                                std::function<void(Glib::RefPtr<Gdk::Pixbuf>)> completion) {
    platform::WorkQueue::global().async([path, completion = std::move(completion)]() mutable {
        GdkPixbuf* pixbuf = decode(path);
        platform::MainQueue::async([pixbuf, completion = std::move(completion)] {
            Glib::RefPtr<Gdk::Pixbuf> image = pixbuf ? Glib::wrap(pixbuf) : Glib::RefPtr<Gdk::Pixbuf>();
            if (completion) completion(image);
        });
    });
}

Glib::RefPtr<Gdk::Pixbuf> ImageFileLoader::load(const std::filesystem::path& path) {
    GdkPixbuf* pixbuf = decode(path);
    return pixbuf ? Glib::wrap(pixbuf) : Glib::RefPtr<Gdk::Pixbuf>();
}

}  // namespace parlivo
