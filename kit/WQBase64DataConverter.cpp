#include "WQBase64DataConverter.h"

#include <gdkmm/pixbufloader.h>

#include "GtkmmWrappers.h"

#include <array>
#include <string>

namespace tovak {

namespace {

constexpr std::string_view kMarker = "base64,";

constexpr std::array<int, 256> makeDecodeTable() {
    std::array<int, 256> table{};
    for (auto& value : table) value = -1;
    constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < alphabet.size(); ++i) table[static_cast<unsigned char>(alphabet[i])] = static_cast<int>(i);
    return table;
}

constexpr auto kDecodeTable = makeDecodeTable();

// Standard Base64 with padding; characters outside the alphabet are skipped. Padding may only
// end the text; a missing padding is accepted where the length still tells the bytes.
std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text) {
    std::vector<int> sextets;
    sextets.reserve(text.size());
    size_t padding = 0;
    for (unsigned char c : text) {
        if (c == '=') {
            ++padding;
            continue;
        }
        const int value = kDecodeTable[c];
        if (value < 0) continue;
        if (padding > 0) return std::nullopt;  // data after padding
        sextets.push_back(value);
    }
    const size_t remainder = sextets.size() % 4;
    if (remainder == 1 || padding > 2) return std::nullopt;
    if (padding > 0 && (sextets.size() + padding) % 4 != 0) return std::nullopt;

    std::vector<std::uint8_t> bytes;
    bytes.reserve(sextets.size() * 3 / 4);
    size_t i = 0;
    for (; i + 4 <= sextets.size(); i += 4) {
        const std::uint32_t group = (sextets[i] << 18) | (sextets[i + 1] << 12) | (sextets[i + 2] << 6) | sextets[i + 3];
        bytes.push_back(static_cast<std::uint8_t>(group >> 16));
        bytes.push_back(static_cast<std::uint8_t>(group >> 8));
        bytes.push_back(static_cast<std::uint8_t>(group));
    }
    if (remainder >= 2) {
        const std::uint32_t group = (sextets[i] << 18) | (sextets[i + 1] << 12) | (remainder == 3 ? sextets[i + 2] << 6 : 0);
        bytes.push_back(static_cast<std::uint8_t>(group >> 16));
        if (remainder == 3) bytes.push_back(static_cast<std::uint8_t>(group >> 8));
    }
    return bytes;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> WQBase64DataConverter::base64ToData(std::string_view text) const {
    const size_t first = text.find(kMarker);
    if (first == std::string_view::npos) return std::nullopt;
    std::string_view payload = text.substr(first + kMarker.size());
    if (const size_t next = payload.find(kMarker); next != std::string_view::npos) payload = payload.substr(0, next);
    return decodeBase64(payload);
}

Glib::RefPtr<Gdk::Pixbuf> WQBase64DataConverter::base64ToImage(std::string_view text) const {
    auto bytes = base64ToData(text);
    if (!bytes || bytes->empty()) return {};
    ensureGtkmmWrappers();
    auto loader = Gdk::PixbufLoader::create();
    // The header is read before any pixel memory is taken: a few kilobytes of compressed
    // payload may declare a picture of gigabytes. Size 0 makes the image reader give up.
    bool tooLarge = false;
    loader->signal_size_prepared().connect([&loader, &tooLarge](int width, int height) {
        if (static_cast<std::int64_t>(width) * height > kMaximumPixels) {
            tooLarge = true;
            loader->set_size(0, 0);
        }
    });
    bool readable = true;
    try {
        loader->write(bytes->data(), bytes->size());
    } catch (const Glib::Error&) {
        readable = false;
    }
    // Closed in every case: an open loader complains when it is finalized.
    try {
        loader->close();
    } catch (const Glib::Error&) {
        readable = false;
    }
    return readable && !tooLarge ? loader->get_pixbuf() : Glib::RefPtr<Gdk::Pixbuf>();
}

}  // namespace tovak
