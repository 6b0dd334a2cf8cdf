#include "Compression.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <memory>
#include <string>

namespace platform {
namespace {

void fail(Error* error, long code, std::string message) {
    if (error) *error = Error{CompressionErrorDomain, code, std::move(message)};
}

}  // namespace

std::optional<Compression::Bytes> Compression::decompress(std::span<const uint8_t> input, size_t maximumOutput,
                                                          Error* error) {
    std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> ctx(ZSTD_createDCtx(), &ZSTD_freeDCtx);
    if (!ctx) {
        fail(error, corrupt, "cannot create decompression context");
        return std::nullopt;
    }
    // Bound the window too: a frame header may ask for a huge window (and so a huge buffer)
    // even with little output. No frame within the output cap needs a window past the cap.
    int windowLog = 10;  // zstd's smallest window
    while (windowLog < 27 && (size_t(1) << windowLog) < maximumOutput) ++windowLog;
    ZSTD_DCtx_setParameter(ctx.get(), ZSTD_d_windowLogMax, windowLog);

    Bytes out;
    if (input.empty()) return out;  // nothing in, nothing out: the caller tells "no bytes" apart
    uint8_t buffer[outputBufferSize];
    ZSTD_inBuffer in{input.data(), input.size(), 0};
    size_t lastResult = 0;
    for (;;) {
        ZSTD_outBuffer chunk{buffer, sizeof buffer, 0};
        const size_t consumedBefore = in.pos;
        const size_t result = ZSTD_decompressStream(ctx.get(), &chunk, &in);
        if (ZSTD_isError(result)) {
            // A window past the cap only serves output past the cap.
            const bool tooLarge = ZSTD_getErrorCode(result) == ZSTD_error_frameParameter_windowTooLarge;
            fail(error, tooLarge ? outputTooLarge : corrupt, ZSTD_getErrorName(result));
            return std::nullopt;
        }
        // A call after the last byte of a frame that filled the buffer exactly makes no progress
        // and would report a new frame's header as still missing: keep the earlier result.
        if (chunk.pos == 0 && in.pos == consumedBefore) break;
        lastResult = result;
        if (chunk.pos > maximumOutput - out.size()) {
            fail(error, outputTooLarge, "decompressed data exceeds the size limit");
            return std::nullopt;
        }
        out.insert(out.end(), buffer, buffer + chunk.pos);
        // A full buffer may mean the decoder holds more output, even with all input consumed.
        if (in.pos == in.size && chunk.pos < chunk.size) break;
    }
    if (lastResult != 0) {
        fail(error, truncated, "compressed data ends inside a frame");
        return std::nullopt;
    }
    return out;
}

std::optional<Compression::Bytes> Compression::compress(std::span<const uint8_t> input, int level, Error* error) {
    Bytes out(ZSTD_compressBound(input.size()));
    const size_t n = ZSTD_compress(out.data(), out.size(), input.data(), input.size(), level);
    if (ZSTD_isError(n)) {
        fail(error, compressFailed, ZSTD_getErrorName(n));
        return std::nullopt;
    }
    out.resize(n);
    return out;
}

}  // namespace platform
