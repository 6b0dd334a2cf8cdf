#include "media/HEIFDecoding.h"

#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "JPEGEncoding.h"
#include "RGBAImage.h"

namespace parlivo::heifdecoding {

namespace {

void initializeOnce() {
    // Reference counted by libheif; taken once for the whole process and never given back, so
    // no decode on a worker can meet a library that was shut down at exit.
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

struct ContextFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;

Result refusal(Status status, std::string message) { return {status, {}, std::move(message)}; }

// libheif's security limits and a failed allocation are the file asking for too much; every
// other error is a file that is no usable HEIF.
Result failure(const heif_error& error, std::string_view what) {
    const bool tooLarge = error.code == heif_error_Memory_allocation_error ||
                          error.subcode == heif_suberror_Security_limit_exceeded;
    return refusal(tooLarge ? Status::overBounds : Status::unreadable,
                   std::string(what) + ": " + (error.message ? error.message : "unknown error"));
}

Result open(std::span<const std::uint8_t> heif, Context& context, Handle& handle) {
    initializeOnce();
    context.reset(heif_context_alloc());
    if (!context) return refusal(Status::unreadable, "No HEIF context");
    heif_context_set_maximum_image_size_limit(context.get(), kMaximumSide);
    heif_error error = heif_context_read_from_memory_without_copy(context.get(), heif.data(), heif.size(), nullptr);
    if (error.code != heif_error_Ok) return failure(error, "Could not read HEIF data");
    heif_image_handle* rawHandle = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &rawHandle);
    if (error.code != heif_error_Ok) return failure(error, "No primary HEIF image");
    handle.reset(rawHandle);
    const std::int64_t width = heif_image_handle_get_width(handle.get());
    const std::int64_t height = heif_image_handle_get_height(handle.get());
    if (width <= 0 || height <= 0) return refusal(Status::unreadable, "HEIF image is empty");
    if (width >= kMaximumSide || height >= kMaximumSide || width * height > kMaximumPixels)
        return refusal(Status::overBounds,
                       "HEIF image too large: " + std::to_string(width) + "x" + std::to_string(height));
    return {Status::converted, {}, {}};
}

}  // namespace

Result inspect(std::span<const std::uint8_t> heif) {
    Context context;
    Handle handle;
    return open(heif, context, handle);
}

Result decodeToJPEG(std::span<const std::uint8_t> heif, double quality) {
    Context context;
    Handle handle;
    if (auto opened = open(heif, context, handle); opened.status != Status::converted) return opened;

    // JPEG has no alpha: pictures with it go through the encoder's over-white path, the
    // others straight from libheif's rows into the encoder.
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    if (options && options->version >= 2) options->convert_hdr_to_8bit = 1;
    heif_image* rawImage = nullptr;
    const heif_error error = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                                               alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                                               options.get());
    if (error.code != heif_error_Ok) return failure(error, "Could not decode HEIF image");
    std::unique_ptr<heif_image, ImageRelease> image(rawImage);

    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* rows = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (!rows || width <= 0 || height <= 0 ||
        heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8)
        return refusal(Status::unreadable, "Decoded HEIF image has no 8-bit pixels");
    // A grid may compose a larger picture than its declared size says.
    if (std::int64_t{width} * height > kMaximumPixels)
        return refusal(Status::overBounds, "Decoded HEIF image too large: " + std::to_string(width) + "x" +
                                               std::to_string(height));

    std::optional<std::vector<std::uint8_t>> jpeg;
    if (!alpha) {
        jpeg = tovak::getJPEGDataWithQuality(rows, width, height, stride, quality);
    } else {
        tovak::RGBAImage rgba(width, height);
        const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
        for (int y = 0; y < height; ++y)
            std::memcpy(rgba.pixels.data() + y * rowBytes, rows + static_cast<std::size_t>(y) * stride, rowBytes);
        image.reset();  // the decoded planes go before the encoder takes its share
        jpeg = tovak::getJPEGDataWithQuality(rgba, quality);
    }
    if (!jpeg) return refusal(Status::unreadable, "Could not encode JPEG");
    return {Status::converted, std::move(*jpeg), {}};
}

}  // namespace parlivo::heifdecoding
