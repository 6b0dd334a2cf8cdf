#include "RGBAImage.h"

#include <gdkmm/pixbuf.h>

#include <cstring>

#include "GtkmmWrappers.h"

namespace tovak {

RGBAImage::RGBAImage(int width, int height) : width(width), height(height) {
    if (width > 0 && height > 0) pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
}

bool RGBAImage::isValid() const {
    return width > 0 && height > 0 && pixels.size() == static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
}

RGBAImage RGBAImage::fromPixbuf(const Glib::RefPtr<const Gdk::Pixbuf>& pixbuf) {
    if (!pixbuf || pixbuf->get_colorspace() != Gdk::COLORSPACE_RGB || pixbuf->get_bits_per_sample() != 8) return {};
    const int channels = pixbuf->get_n_channels();
    const bool alpha = pixbuf->get_has_alpha();
    if (channels != (alpha ? 4 : 3)) return {};
    RGBAImage image(pixbuf->get_width(), pixbuf->get_height());
    if (!image.isValid()) return {};
    const std::uint8_t* source = pixbuf->get_pixels();
    const int stride = pixbuf->get_rowstride();
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = source + static_cast<size_t>(y) * stride;
        std::uint8_t* target = image.pixels.data() + static_cast<size_t>(y) * image.width * 4;
        if (alpha) {
            std::memcpy(target, row, static_cast<size_t>(image.width) * 4);
        } else {
            for (int x = 0; x < image.width; ++x) {
                target[x * 4 + 0] = row[x * 3 + 0];
                target[x * 4 + 1] = row[x * 3 + 1];
                target[x * 4 + 2] = row[x * 3 + 2];
                target[x * 4 + 3] = 255;
            }
        }
    }
    return image;
}

Glib::RefPtr<Gdk::Pixbuf> RGBAImage::toPixbuf() const {
    if (!isValid()) return {};
    ensureGtkmmWrappers();
    auto pixbuf = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, true, 8, width, height);
    if (!pixbuf) return {};
    std::uint8_t* target = pixbuf->get_pixels();
    const int stride = pixbuf->get_rowstride();
    for (int y = 0; y < height; ++y)
        std::memcpy(target + static_cast<size_t>(y) * stride, pixels.data() + static_cast<size_t>(y) * width * 4,
                    static_cast<size_t>(width) * 4);
    return pixbuf;
}

}  // namespace tovak
