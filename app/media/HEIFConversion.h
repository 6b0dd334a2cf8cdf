#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace parlivo {

// HEIF and HEIC photos as JPEG: the primary image, decoded by libheif with its rotation,
// mirroring and crop applied, encoded by Tovak's JPEG encoder. Safe on any thread; each call
// has its own decoder. Nothing here throws or trusts the file: a file that is not a HEIF image,
// a damaged one, or one larger than the limits below gives none.
class HEIFConversion {
public:
    static constexpr std::string_view kClassName = "HEIFConversion";

    // Files above this size are not read.
    static constexpr std::uintmax_t maximumFileSize = std::uintmax_t(256) << 20;
    // Pictures above this many pixels (64 Mi) are not decoded.
    static constexpr std::int64_t maximumPixels = std::int64_t{1} << 26;

    // `quality` is the compression factor of getJPEGDataWithQuality (0.0 to 1.0).
    static std::optional<std::vector<std::uint8_t>> jpegData(std::span<const std::uint8_t> heif, double quality);
    static std::optional<std::vector<std::uint8_t>> jpegDataFromFile(const std::filesystem::path& file,
                                                                    double quality);
};

}  // namespace parlivo
