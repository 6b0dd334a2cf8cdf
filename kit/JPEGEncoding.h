#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "RGBAImage.h"

namespace tovak {

// JPEG file bytes of a picture, with a compression factor in the Mac's sense (1.0 is the best
// quality). The factor is clamped to 0.2...1.0, so 0.0, 0.1 and 0.2 give the same bytes, as do
// 1.0 and 1.5; it maps to libjpeg quality round(factor * 100). The JPEG has the picture's pixel
// size, 4:2:0 chroma. JPEG has no alpha: transparent parts are laid over white. None for an
// empty or malformed picture, one larger than JPEG allows (65535 pixels a side), or when the
// encoder fails. The picture is not changed.
std::optional<std::vector<std::uint8_t>> getJPEGDataWithQuality(const RGBAImage& image, double quality);
std::optional<std::vector<std::uint8_t>> getJPEGDataWithQuality(const Glib::RefPtr<const Gdk::Pixbuf>& image,
                                                                double quality);
// Opaque 8-bit RGB rows as a decoder hands them over, `stride` bytes apart (at least width * 3),
// encoded in place without a copy. None for a null or malformed buffer.
std::optional<std::vector<std::uint8_t>> getJPEGDataWithQuality(const std::uint8_t* rgb, int width, int height,
                                                                int stride, double quality);

}  // namespace tovak
