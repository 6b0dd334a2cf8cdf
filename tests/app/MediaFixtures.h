#pragma once

// Media files made by the tests themselves (ffmpeg's lavfi sources, libheif's encoder), and a
// reader for the page calls the media code writes.
#include <gtest/gtest.h>
#include <glib.h>
#include <libheif/heif.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TestFiles.h"

#include "system/Subprocess.h"

namespace mediafixtures {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

inline fs::path workDir(const std::string& name) {
    const char* tmp = std::getenv("TMPDIR");
    const fs::path dir = fs::path(tmp ? tmp : "/tmp") / name;
    fs::create_directories(dir);
    return dir;
}

inline Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using testsupport::writeFile;

// Runs `ffmpeg -nostdin -v error -y <args> <output>`.
inline void makeWithFFmpeg(const fs::path& output, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"ffmpeg", "-nostdin", "-v", "error", "-y"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(output.string());
    const auto result = platform::Subprocess::run(argv);
    ASSERT_TRUE(result.succeeded()) << result.error << result.standardError;
}

// A 972-byte HEIF file whose primary image declares 16x8 pixels but is a grid composing
// 59250x26980: decoded as it asks, it takes gigabytes and minutes.
inline fs::path enormousGridHEIF() { return fs::path(PARLIVO_FIXTURES_DIR) / "media" / "grid-59250x26980.heic"; }

// `file` with every image size box ('ispe') declaring `width` x `height`.
inline Bytes withDeclaredSize(Bytes file, std::uint32_t width, std::uint32_t height) {
    const auto put = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) file[at + i] = std::uint8_t(value >> (24 - 8 * i));
    };
    for (std::size_t i = 0; i + 16 <= file.size(); ++i)
        if (std::string_view(reinterpret_cast<const char*>(&file[i]), 4) == "ispe") {
            put(i + 8, width);  // after the type and the box's version and flags
            put(i + 12, height);
        }
    return file;
}

// A HEIC photo (HEVC) of the given size: a colour gradient. With `alpha`, its left half is
// transparent black; `orientation` is stored as the file's rotation and mirroring.
inline void makeHEIF(const fs::path& output, int width, int height,
                     heif_orientation orientation = heif_orientation_normal, bool alpha = false) {
    heif_image* image = nullptr;
    const int channels = alpha ? 4 : 3;
    ASSERT_EQ(heif_image_create(width, height, heif_colorspace_RGB,
                                alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &image)
                  .code,
              heif_error_Ok);
    ASSERT_EQ(heif_image_add_plane(image, heif_channel_interleaved, width, height, 8).code, heif_error_Ok);
    int stride = 0;
    std::uint8_t* rows = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = rows + y * stride + x * channels;
            const bool clear = alpha && x < width / 2;
            pixel[0] = clear ? 0 : std::uint8_t(x * 255 / width);
            pixel[1] = clear ? 0 : std::uint8_t(y * 255 / height);
            pixel[2] = clear ? 0 : 128;
            if (alpha) pixel[3] = clear ? 0 : 255;
        }
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    ASSERT_EQ(heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code, heif_error_Ok);
    heif_encoder_set_lossy_quality(encoder, 60);
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = orientation;
    ASSERT_EQ(heif_context_encode_image(context, image, encoder, options, nullptr).code, heif_error_Ok);
    heif_encoding_options_free(options);
    heif_encoder_release(encoder);
    ASSERT_EQ(heif_context_write_to_file(context, output.c_str()).code, heif_error_Ok);
    heif_context_free(context);
    heif_image_release(image);
}

// Width and height of a JPEG, from its frame header; none when the bytes are no JPEG.
inline std::optional<std::pair<int, int>> jpegSize(const Bytes& jpeg) {
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return std::nullopt;
    std::size_t at = 2;
    while (at + 9 < jpeg.size()) {
        if (jpeg[at] != 0xFF) return std::nullopt;
        const int marker = jpeg[at + 1];
        const std::size_t length = std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (marker >= 0xC0 && marker <= 0xC3)
            return std::pair{int(jpeg[at + 7]) << 8 | jpeg[at + 8], int(jpeg[at + 5]) << 8 | jpeg[at + 6]};
        at += 2 + length;
    }
    return std::nullopt;
}

// The four-character major brand of an ISO media file ("qt  ", "M4A ", "isom").
inline std::string majorBrand(const Bytes& file) {
    if (file.size() < 12 || std::string(file.begin() + 4, file.begin() + 8) != "ftyp") return "";
    return std::string(file.begin() + 8, file.begin() + 12);
}

// One call of wqOpenFileURLsWithID / wqDropFileURLs as a page would read it.
struct PageCall {
    std::string function;
    std::optional<std::string> id;
    std::vector<std::string> dataURLs;
    std::vector<std::string> names;
    bool hasNames = false;
};

// Reads a page call: the function name, then single-quoted JavaScript strings, alone (the id)
// or in arrays. Fails the test on anything else, so a broken script shows.
inline std::optional<PageCall> parsePageCall(const std::string& script) {
    PageCall call;
    const auto open = script.find('(');
    if (open == std::string::npos || !script.ends_with(");")) return std::nullopt;
    call.function = script.substr(0, open);
    int arrays = 0;
    std::vector<std::string>* into = nullptr;
    for (std::size_t i = open + 1; i + 2 < script.size(); ++i) {
        const char c = script[i];
        if (c == ' ' || c == ',') continue;
        if (c == '[') {
            if (into) return std::nullopt;
            into = arrays == 0 ? &call.dataURLs : &call.names;
            if (arrays == 1) call.hasNames = true;
            ++arrays;
            continue;
        }
        if (c == ']') {
            if (!into) return std::nullopt;
            into = nullptr;
            continue;
        }
        if (c != '\'') return std::nullopt;
        std::string value;
        for (++i; i < script.size() && script[i] != '\''; ++i) {
            char d = script[i];
            if (d < 0x20) return std::nullopt;  // a raw line break ends a script
            if (d != '\\') {
                value += d;
                continue;
            }
            if (++i >= script.size()) return std::nullopt;
            d = script[i];
            if (d == 'u') {
                if (i + 4 >= script.size()) return std::nullopt;
                const gunichar code = gunichar(std::stoul(script.substr(i + 1, 4), nullptr, 16));
                char utf8[8];
                value.append(utf8, std::size_t(g_unichar_to_utf8(code, utf8)));
                i += 4;
            } else if (d == 'n') {
                value += '\n';
            } else {
                value += d;  // \\ \' \" \/
            }
        }
        if (i >= script.size()) return std::nullopt;
        if (into)
            into->push_back(value);
        else if (!call.id && arrays == 0)
            call.id = value;
        else
            return std::nullopt;
    }
    return call;
}

// "data:<type>;base64,<text>" to its type and bytes.
inline std::optional<std::pair<std::string, Bytes>> decodeDataURL(const std::string& url) {
    if (!url.starts_with("data:")) return std::nullopt;
    const auto marker = url.find(";base64,");
    if (marker == std::string::npos) return std::nullopt;
    gsize length = 0;
    guchar* decoded = g_base64_decode(url.substr(marker + 8).c_str(), &length);
    Bytes bytes(decoded, decoded + length);
    g_free(decoded);
    return std::pair{url.substr(5, marker - 5), bytes};
}

}  // namespace mediafixtures
