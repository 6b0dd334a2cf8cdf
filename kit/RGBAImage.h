#pragma once

#include <glibmm/refptr.h>

#include <cstdint>
#include <vector>

// The pixel work needs no toolkit: only fromPixbuf/toPixbuf name the pixbuf type, and their
// callers include <gdkmm/pixbuf.h>.
namespace Gdk {
class Pixbuf;
}

namespace tovak {

// A plain picture for pixel work and encoding: 8-bit RGBA, straight (not premultiplied)
// alpha, rows top to bottom without padding (stride = width * 4). Camera frames (GStreamer
// RGBA buffers) and the image effects use it directly; fromPixbuf/toPixbuf cross to GTK.
struct RGBAImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    RGBAImage() = default;
    // A picture of the given size filled with transparent black.
    RGBAImage(int width, int height);

    // Width and height above 0 and exactly width * height * 4 bytes.
    bool isValid() const;

    // A copy of the pixbuf's pixels (RGB pixbufs get opaque alpha); empty for a null pixbuf or
    // one that is not 8-bit RGB(A).
    static RGBAImage fromPixbuf(const Glib::RefPtr<const Gdk::Pixbuf>& pixbuf);
    // A new pixbuf with these pixels; null when the image is not valid.
    Glib::RefPtr<Gdk::Pixbuf> toPixbuf() const;
};

}  // namespace tovak
