// libheif, loaded when the first HEIF picture is converted rather than when the program starts:
// with its decoders and encoders (libde265, x265, aom, dav1d) it maps some thirty libraries that
// most sessions never use. The program is not linked with libheif; the functions the conversion
// calls are defined here, each one forwarding to the library, which is opened on the first call.
// When it cannot be opened, heif_init reports an error and heif_context_alloc gives no context, so
// a conversion fails as it would with a picture libheif cannot read.
//
// The definitions are hidden: they serve this library only, and a program that links libheif
// itself (the tests' fixtures) keeps calling it directly.
#include <dlfcn.h>
#include <libheif/heif.h>

#include <mutex>

#define PARLIVO_HIDDEN __attribute__((visibility("hidden")))

namespace {

constexpr const char* kLibraryName = "libheif.so.1";

#define PARLIVO_HEIF_FUNCTIONS(F)                                                                       \
    F(heif_init) F(heif_context_alloc) F(heif_context_free) F(heif_context_set_maximum_image_size_limit) \
    F(heif_context_read_from_memory_without_copy) F(heif_context_get_primary_image_handle)             \
    F(heif_image_handle_release) F(heif_image_handle_get_width) F(heif_image_handle_get_height)        \
    F(heif_image_handle_has_alpha_channel) F(heif_decoding_options_alloc) F(heif_decoding_options_free) \
    F(heif_decode_image) F(heif_image_release) F(heif_image_get_width) F(heif_image_get_height)        \
    F(heif_image_get_plane_readonly) F(heif_image_get_bits_per_pixel_range)

struct Functions {
#define PARLIVO_HEIF_POINTER(name) decltype(&::name) name = nullptr;
    PARLIVO_HEIF_FUNCTIONS(PARLIVO_HEIF_POINTER)
#undef PARLIVO_HEIF_POINTER
    bool loaded = false;
};

const Functions& library() {
    static Functions functions;
    static std::once_flag once;
    std::call_once(once, [] {
        // Kept for the whole process: the conversion may run again at any time.
        void* handle = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        Functions found;
        bool complete = true;
#define PARLIVO_HEIF_RESOLVE(name)                                              \
    found.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name)); \
    complete = complete && found.name != nullptr;
        PARLIVO_HEIF_FUNCTIONS(PARLIVO_HEIF_RESOLVE)
#undef PARLIVO_HEIF_RESOLVE
        if (!complete) return;
        found.loaded = true;
        functions = found;
    });
    return functions;
}

heif_error notLoaded() {
    return {heif_error_Unsupported_feature, heif_suberror_Unspecified, "The HEIF library could not be loaded"};
}

}  // namespace

extern "C" {

PARLIVO_HIDDEN heif_error heif_init(heif_init_params* params) {
    const auto& heif = library();
    return heif.loaded ? heif.heif_init(params) : notLoaded();
}

PARLIVO_HIDDEN heif_context* heif_context_alloc() {
    const auto& heif = library();
    return heif.loaded ? heif.heif_context_alloc() : nullptr;
}

// Everything below is reached only with a context, so only with the library loaded.

PARLIVO_HIDDEN void heif_context_free(heif_context* context) {
    if (context) library().heif_context_free(context);
}

PARLIVO_HIDDEN void heif_context_set_maximum_image_size_limit(heif_context* context, int maximum) {
    library().heif_context_set_maximum_image_size_limit(context, maximum);
}

PARLIVO_HIDDEN heif_error heif_context_read_from_memory_without_copy(heif_context* context, const void* data,
                                                                     size_t size, const heif_reading_options* options) {
    return library().heif_context_read_from_memory_without_copy(context, data, size, options);
}

PARLIVO_HIDDEN heif_error heif_context_get_primary_image_handle(heif_context* context, heif_image_handle** handle) {
    return library().heif_context_get_primary_image_handle(context, handle);
}

PARLIVO_HIDDEN void heif_image_handle_release(const heif_image_handle* handle) {
    if (handle) library().heif_image_handle_release(handle);
}

PARLIVO_HIDDEN int heif_image_handle_get_width(const heif_image_handle* handle) {
    return library().heif_image_handle_get_width(handle);
}

PARLIVO_HIDDEN int heif_image_handle_get_height(const heif_image_handle* handle) {
    return library().heif_image_handle_get_height(handle);
}

PARLIVO_HIDDEN int heif_image_handle_has_alpha_channel(const heif_image_handle* handle) {
    return library().heif_image_handle_has_alpha_channel(handle);
}

PARLIVO_HIDDEN heif_decoding_options* heif_decoding_options_alloc() {
    const auto& heif = library();
    return heif.loaded ? heif.heif_decoding_options_alloc() : nullptr;
}

PARLIVO_HIDDEN void heif_decoding_options_free(heif_decoding_options* options) {
    if (options) library().heif_decoding_options_free(options);
}

PARLIVO_HIDDEN heif_error heif_decode_image(const heif_image_handle* handle, heif_image** image,
                                            heif_colorspace colorspace, heif_chroma chroma,
                                            const heif_decoding_options* options) {
    return library().heif_decode_image(handle, image, colorspace, chroma, options);
}

PARLIVO_HIDDEN void heif_image_release(const heif_image* image) {
    if (image) library().heif_image_release(image);
}

PARLIVO_HIDDEN int heif_image_get_width(const heif_image* image, heif_channel channel) {
    return library().heif_image_get_width(image, channel);
}

PARLIVO_HIDDEN int heif_image_get_height(const heif_image* image, heif_channel channel) {
    return library().heif_image_get_height(image, channel);
}

PARLIVO_HIDDEN const uint8_t* heif_image_get_plane_readonly(const heif_image* image, heif_channel channel,
                                                            int* stride) {
    return library().heif_image_get_plane_readonly(image, channel, stride);
}

PARLIVO_HIDDEN int heif_image_get_bits_per_pixel_range(const heif_image* image, heif_channel channel) {
    return library().heif_image_get_bits_per_pixel_range(image, channel);
}

}  // extern "C"
