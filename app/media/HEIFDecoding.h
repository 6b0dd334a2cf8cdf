#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The part of the HEIF conversion that touches the file's bytes with libheif. The decode itself
// runs in the decoder process (heif-decoder/main.cpp), under its memory and CPU limits; the
// caller's process only reads the file's structure to check the declared size first.
namespace parlivo::heifdecoding {

enum class Status {
    converted,   // a JPEG came out
    unreadable,  // not a HEIF image, damaged, or the JPEG could not be written
    overBounds,  // larger than the bounds below, or libheif's own security limits
};

// Pictures above this many pixels (64 Mi) are not decoded.
inline constexpr std::int64_t kMaximumPixels = std::int64_t{1} << 26;
// libheif refuses any image (the primary one, a grid's composed size, a tile, an auxiliary
// image) with a side of this many pixels or more, before allocating its planes.
inline constexpr int kMaximumSide = 32768;

struct Result {
    Status status = Status::unreadable;
    std::vector<std::uint8_t> jpeg;  // when converted
    std::string message;             // why not, for the debug log
};

// Reads the file's boxes (no pixel data) and checks the primary image's declared size.
// `converted` here means "worth decoding"; no JPEG is made.
Result inspect(std::span<const std::uint8_t> heif);

// The whole conversion in the calling process: inspect, decode with libheif, encode as JPEG.
// Unbounded in memory and time for a hostile file: only the decoder process calls it.
Result decodeToJPEG(std::span<const std::uint8_t> heif, double quality);

}  // namespace parlivo::heifdecoding
