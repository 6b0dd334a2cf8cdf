#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "media/HEIFDecoding.h"

namespace parlivo {

// HEIF and HEIC photos as JPEG: the primary image, decoded by libheif with its rotation,
// mirroring and crop applied, encoded by Tovak's JPEG encoder. Safe on any thread; each call
// has its own decoder. Nothing here throws or trusts the file: a file that is not a HEIF image,
// a damaged one, or one larger than the bounds below gives none.
//
// The calling process only reads the file's structure and checks its declared size. The decode
// and the encode run in a decoder process of their own (libexec/parlivo-for-whatsapp/
// parlivo-heif-decoder) under a memory limit, a CPU limit and a time-out, since a small file may
// describe an enormous picture (a grid of tiles far larger than its declared size). The calling
// thread waits for that process: never call these on the main thread.
class HEIFConversion {
public:
    static constexpr std::string_view kClassName = "HEIFConversion";

    // Files above this size are not read.
    static constexpr std::uintmax_t maximumFileSize = std::uintmax_t(256) << 20;
    // Pictures above this many pixels (64 Mi) are not decoded.
    static constexpr std::int64_t maximumPixels = heifdecoding::kMaximumPixels;
    // The address space the decoder process may add to its libraries': the largest picture
    // allowed above (its planes, the RGB(A) rows and the encoder's share) fits with room to spare.
    static constexpr std::uint64_t decoderMemoryLimit = std::uint64_t(1) << 30;
    // The decoder's CPU time (all its threads) and its wall-clock time, as on an idle machine.
    static constexpr unsigned decoderCPUSeconds = 30;
    static constexpr double decoderTimeoutSeconds = 120;
    // The largest JPEG taken from the decoder.
    static constexpr std::size_t maximumJPEGSize = std::size_t(192) << 20;

    using Outcome = heifdecoding::Status;
    struct Conversion {
        Outcome outcome = Outcome::unreadable;
        std::vector<std::uint8_t> jpeg;  // when converted
    };

    // `quality` is the compression factor of getJPEGDataWithQuality (0.0 to 1.0).
    static Conversion convert(std::span<const std::uint8_t> heif, double quality);
    // A file that cannot be read is unreadable; one above maximumFileSize is over the bounds.
    static Conversion convertFile(const std::filesystem::path& file, double quality);

    static std::optional<std::vector<std::uint8_t>> jpegData(std::span<const std::uint8_t> heif, double quality);
    static std::optional<std::vector<std::uint8_t>> jpegDataFromFile(const std::filesystem::path& file,
                                                                    double quality);
};

}  // namespace parlivo
