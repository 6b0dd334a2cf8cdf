#include "media/HEIFConversion.h"

#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "DebugPrint.h"
#include "JPEGEncoding.h"
#include "RGBAImage.h"
#include "foundation/FileManager.h"

namespace parlivo {

namespace {

// JPEG's own limit on a side.
constexpr int kMaximumSide = 65535;

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

void log(std::string_view message) { tovak::debugPrint(HEIFConversion::kClassName, message); }

bool failed(const heif_error& error, std::string_view what) {
    if (error.code == heif_error_Ok) return false;
    log(std::string(what) + ": " + (error.message ? error.message : "unknown error"));
    return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> HEIFConversion::jpegData(std::span<const std::uint8_t> heif,
                                                                  double quality) {
    initializeOnce();
    std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context) return std::nullopt;
    heif_context_set_maximum_image_size_limit(context.get(), kMaximumSide);
    if (failed(heif_context_read_from_memory_without_copy(context.get(), heif.data(), heif.size(), nullptr),
               "Could not read HEIF data"))
        return std::nullopt;

    heif_image_handle* rawHandle = nullptr;
    if (failed(heif_context_get_primary_image_handle(context.get(), &rawHandle), "No primary HEIF image"))
        return std::nullopt;
    std::unique_ptr<heif_image_handle, HandleRelease> handle(rawHandle);
    const std::int64_t width = heif_image_handle_get_width(handle.get());
    const std::int64_t height = heif_image_handle_get_height(handle.get());
    if (width <= 0 || height <= 0 || width * height > maximumPixels) {
        log("HEIF image too large or empty");
        return std::nullopt;
    }

    // JPEG has no alpha: pictures with it go through the encoder's over-white path, the
    // others straight from libheif's rows into the encoder.
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    if (options && options->version >= 2) options->convert_hdr_to_8bit = 1;
    heif_image* rawImage = nullptr;
    if (failed(heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                                 alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get()),
               "Could not decode HEIF image"))
        return std::nullopt;
    std::unique_ptr<heif_image, ImageRelease> image(rawImage);

    const int outWidth = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int outHeight = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* rows = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (!rows || outWidth <= 0 || outHeight <= 0 ||
        heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8) {
        log("Decoded HEIF image has no 8-bit pixels");
        return std::nullopt;
    }
    if (!alpha) return tovak::getJPEGDataWithQuality(rows, outWidth, outHeight, stride, quality);

    tovak::RGBAImage rgba(outWidth, outHeight);
    const std::size_t rowBytes = static_cast<std::size_t>(outWidth) * 4;
    for (int y = 0; y < outHeight; ++y)
        std::memcpy(rgba.pixels.data() + y * rowBytes, rows + static_cast<std::size_t>(y) * stride, rowBytes);
    return tovak::getJPEGDataWithQuality(rgba, quality);
}

std::optional<std::vector<std::uint8_t>> HEIFConversion::jpegDataFromFile(const std::filesystem::path& file,
                                                                          double quality) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
    const auto contents = platform::FileManager::contentsAtPath(file, maximumFileSize);
    if (!contents) return std::nullopt;
    return jpegData({reinterpret_cast<const std::uint8_t*>(contents->data()), contents->size()}, quality);
}

}  // namespace parlivo
