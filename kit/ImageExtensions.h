#pragma once

#include <gdkmm/pixbuf.h>

namespace tovak {

// A copy of `image` clipped to a rounded rectangle whose corner radii are fractions of its width
// (radiusX) and height (radiusY); each is limited to one half. With the defaults the copy is the
// image's inscribed ellipse (a circle for a square image); 0 gives an unclipped copy. Outside the
// clip the copy is transparent. The source is not changed; null gives null, and so does an image
// larger than cairo can draw (over 32767 pixels a side).
Glib::RefPtr<Gdk::Pixbuf> roundCorners(const Glib::RefPtr<Gdk::Pixbuf>& image, double radiusX = 0.5,
                                       double radiusY = 0.5);

}  // namespace tovak
