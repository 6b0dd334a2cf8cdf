#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "Error.h"

namespace platform {

// zstd, the algorithm the configuration payload uses. Decompression streams through a 4096-byte
// output buffer and stops with an error once the output would pass `maximumOutput`, so a small
// hostile input cannot make us allocate without bound. Thread-safe.
class Compression {
public:
    using Bytes = std::vector<uint8_t>;
    static constexpr size_t outputBufferSize = 4096;

    // Codes of CompressionErrorDomain.
    enum Code : long { corrupt = 1, truncated = 2, outputTooLarge = 3, compressFailed = 4 };

    // The decompressed bytes (possibly none, for empty input), or none with `error` filled.
    static std::optional<Bytes> decompress(std::span<const uint8_t> input, size_t maximumOutput,
                                           Error* error = nullptr);
    static std::optional<Bytes> compress(std::span<const uint8_t> input, int level = 19, Error* error = nullptr);
};

}  // namespace platform
