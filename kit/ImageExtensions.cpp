#include "ImageExtensions.h"

#include <gdk/gdk.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include <cairo.h>

#include "GtkmmWrappers.h"

namespace tovak {
namespace {

void roundedRectangle(cairo_t* cr, double width, double height, double rx, double ry) {
    if (rx <= 0 || ry <= 0) {
        cairo_rectangle(cr, 0, 0, width, height);
        return;
    }
    constexpr double pi = std::numbers::pi;
    // One elliptical quarter per corner, clockwise from the top right.
    auto corner = [&](double cx, double cy, double from, double to) {
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_scale(cr, rx, ry);
        cairo_arc(cr, 0, 0, 1, from, to);
        cairo_restore(cr);
    };
    cairo_new_sub_path(cr);
    corner(width - rx, ry, -pi / 2, 0);
    corner(width - rx, height - ry, 0, pi / 2);
    corner(rx, height - ry, pi / 2, pi);
    corner(rx, ry, pi, 3 * pi / 2);
    cairo_close_path(cr);
}

}  // namespace

Glib::RefPtr<Gdk::Pixbuf> roundCorners(const Glib::RefPtr<Gdk::Pixbuf>& image, double radiusX, double radiusY) {
    if (!image) return {};
    ensureGtkmmWrappers();  // the result is handed back wrapped
    const int width = image->get_width();
    const int height = image->get_height();
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    const double rx = std::clamp(std::isfinite(radiusX) ? radiusX : 0.0, 0.0, 0.5) * width;
    const double ry = std::clamp(std::isfinite(radiusY) ? radiusY : 0.0, 0.0, 0.5) * height;
    roundedRectangle(cr, width, height, rx, ry);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_clip(cr);
    gdk_cairo_set_source_pixbuf(cr, image->gobj(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    GdkPixbuf* result = gdk_pixbuf_get_from_surface(surface, 0, 0, width, height);
    cairo_surface_destroy(surface);
    return Glib::wrap(result);  // takes the new reference
}

}  // namespace tovak
