#include "JPEGEncoding.h"

#include <gdkmm/pixbuf.h>

#include <turbojpeg.h>

#include <cmath>

namespace tovak {

namespace {

constexpr int kMaximumSide = 65535;

double clampedFactor(double quality) {
    if (std::isnan(quality) || quality <= 0.2) return 0.2;
    if (quality > 1.0) return 1.0;
    return quality;
}

// Straight alpha laid over white: c * a + 255 * (1 - a), rounded.
std::uint8_t overWhite(std::uint8_t colour, std::uint8_t alpha) {
    return static_cast<std::uint8_t>((colour * alpha + 255 * (255 - alpha) + 127) / 255);
}

// RGB rows, `stride` bytes apart, to JPEG.
std::optional<std::vector<std::uint8_t>> encodeRGB(const std::uint8_t* rgb, int width, int height, int stride,
                                                   double quality) {
    tjhandle handle = tjInitCompress();
    if (!handle) return std::nullopt;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int libjpegQuality = static_cast<int>(std::lround(clampedFactor(quality) * 100.0));
    const int status = tjCompress2(handle, rgb, width, stride, height, TJPF_RGB, &jpeg, &size, TJSAMP_420,
                                   libjpegQuality, TJFLAG_ACCURATEDCT);
    std::optional<std::vector<std::uint8_t>> result;
    if (status == 0 && jpeg && size > 0) result.emplace(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return result;
}

bool encodableSize(int width, int height) {
    return width > 0 && height > 0 && width <= kMaximumSide && height <= kMaximumSide;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> getJPEGDataWithQuality(const RGBAImage& image, double quality) {
    if (!image.isValid() || !encodableSize(image.width, image.height)) return std::nullopt;
    const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    std::vector<std::uint8_t> rgb(count * 3);
    for (size_t i = 0; i < count; ++i) {
        const std::uint8_t alpha = image.pixels[i * 4 + 3];
        for (int c = 0; c < 3; ++c) rgb[i * 3 + c] = overWhite(image.pixels[i * 4 + c], alpha);
    }
    return encodeRGB(rgb.data(), image.width, image.height, image.width * 3, quality);
}

std::optional<std::vector<std::uint8_t>> getJPEGDataWithQuality(const Glib::RefPtr<const Gdk::Pixbuf>& image,
                                                                double quality) {
    if (!image || image->get_colorspace() != Gdk::COLORSPACE_RGB || image->get_bits_per_sample() != 8)
        return std::nullopt;
    const int width = image->get_width();
    const int height = image->get_height();
    const int channels = image->get_n_channels();
    const bool alpha = image->get_has_alpha();
    if (!encodableSize(width, height) || channels != (alpha ? 4 : 3)) return std::nullopt;
    const std::uint8_t* source = image->get_pixels();
    const int stride = image->get_rowstride();
    std::vector<std::uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = source + static_cast<size_t>(y) * stride;
        std::uint8_t* target = rgb.data() + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t a = alpha ? row[x * 4 + 3] : 255;
            for (int c = 0; c < 3; ++c) target[x * 3 + c] = overWhite(row[x * channels + c], a);
        }
    }
    return encodeRGB(rgb.data(), width, height, width * 3, quality);
}

std::optional<std::vector<std::uint8_t>> getJPEGDataWithQuality(const std::uint8_t* rgb, int width, int height,
                                                                int stride, double quality) {
    if (!rgb || !encodableSize(width, height) || stride < width * 3) return std::nullopt;
    return encodeRGB(rgb, width, height, stride, quality);
}

}  // namespace tovak
