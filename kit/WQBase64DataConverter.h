#pragma once

#include <glibmm/refptr.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// Only the image functions need the pixbuf type; their callers include <gdkmm/pixbuf.h>, so the
// display-free users of this header do not pay for the toolkit's headers.
namespace Gdk {
class Pixbuf;
}

namespace tovak {

// Reads the payload of a "data:<MIME type>;base64,<payload>" URL that the page sends: the
// text between the first "base64," and the next one (or the end). Characters outside the
// Base64 alphabet (line breaks, spaces) are skipped. A text without "base64," has no payload.
class WQBase64DataConverter {
public:
    static constexpr std::string_view kClassName = "WQBase64DataConverter";

    // The decoded bytes, or none when there is no payload or it does not decode.
    std::optional<std::vector<std::uint8_t>> base64ToData(std::string_view text) const;
    // Pictures above this many pixels (64 Mi, 256 MiB decoded) are refused unread.
    static constexpr std::int64_t kMaximumPixels = std::int64_t{1} << 26;

    // The bytes read as an image (any format gdk-pixbuf reads), or null; null as well for a
    // picture larger than kMaximumPixels.
    Glib::RefPtr<Gdk::Pixbuf> base64ToImage(std::string_view text) const;
};

}  // namespace tovak
