#include "WQCheckMarkKit.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tovak {
namespace {

using Rect = WQCheckMarkKit::Rect;

struct Color {
    double red, green, blue;
};

constexpr Color kGreen{0, 0.696, 0.049};
constexpr Color kRed{0.871, 0.021, 0.021};
constexpr Color kYellow{1.0, 0.918, 0};

double radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

// Saves the context and maps the 120-unit design space (y up) onto the fitted frame. False (and
// nothing saved) when the frame leaves no area to draw in: a zero scale would put the context
// into an error state, which cairomm reports by throwing.
bool beginMark(const Cairo::RefPtr<Cairo::Context>& cr, Rect frame, WQCheckMarkKit::ResizingBehavior resizing) {
    const Rect fitted = WQCheckMarkKit::resizingBehaviorApply(resizing, WQCheckMarkKit::kDesignRect, frame);
    const bool drawable = std::isfinite(fitted.x) && std::isfinite(fitted.y) && std::isfinite(fitted.width) &&
                          std::isfinite(fitted.height) && fitted.width > 0 && fitted.height > 0;
    if (!drawable) return false;
    cr->save();
    cr->translate(fitted.x, fitted.y + fitted.height);
    cr->scale(fitted.width / 120.0, -fitted.height / 120.0);
    return true;
}

void fillDisc(const Cairo::RefPtr<Cairo::Context>& cr, Color color) {
    cr->save();
    cr->translate(60, 60);
    cr->scale(60, 60);
    cr->arc(0, 0, 1, 0, 2 * std::numbers::pi);
    cr->restore();
    cr->set_source_rgba(color.red, color.green, color.blue, 1.0);
    cr->fill();
}

// A white bar of `length` × 8 after moving to (x, y) and turning by `degrees` counter-clockwise.
void fillBar(const Cairo::RefPtr<Cairo::Context>& cr, double x, double y, double degrees, double length) {
    cr->save();
    cr->translate(x, y);
    cr->rotate(radians(degrees));
    cr->rectangle(0, 0, length, 8);
    cr->set_source_rgba(1, 1, 1, 1);
    cr->fill();
    cr->restore();
}

// The glyph centred in the text band (33, 13, 55, 95), raised by one unit.
void drawGlyph(const Cairo::RefPtr<Cairo::Context>& cr, const char* glyph, bool clipToBand) {
    constexpr double bandX = 33, bandY = 13, bandWidth = 55, bandHeight = 95;
    cr->save();
    if (clipToBand) {
        cr->rectangle(bandX, bandY, bandWidth, bandHeight);
        cr->clip();
    }
    PangoLayout* layout = pango_cairo_create_layout(cr->cobj());
    PangoFontDescription* font = pango_font_description_from_string("Sans Bold");
    pango_font_description_set_weight(font, PANGO_WEIGHT_BOLD);
    pango_font_description_set_absolute_size(font, 99 * PANGO_SCALE);  // in design units
    pango_layout_set_font_description(layout, font);
    pango_layout_set_width(layout, int(bandWidth * PANGO_SCALE));
    pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
    pango_layout_set_text(layout, glyph, -1);
    int width = 0, height = 0;
    pango_layout_get_size(layout, &width, &height);
    const double h = double(height) / PANGO_SCALE;
    const double bottom = bandY + (bandHeight - h) * 0.5 + 1;
    // Text is laid out downwards from its top edge: flip back to y-down at the top of its box.
    cr->translate(bandX, bottom + h);
    cr->scale(1, -1);
    cr->set_source_rgba(1, 1, 1, 1);
    pango_cairo_update_layout(cr->cobj(), layout);
    pango_cairo_show_layout(cr->cobj(), layout);
    pango_font_description_free(font);
    g_object_unref(layout);
    cr->restore();
}

}  // namespace

Rect WQCheckMarkKit::resizingBehaviorApply(ResizingBehavior behavior, Rect rect, Rect target) {
    if (rect == target || target == Rect{}) return rect;
    double sx = std::fabs(target.width / rect.width);
    double sy = std::fabs(target.height / rect.height);
    switch (behavior) {
    case ResizingBehavior::aspectFit: sx = sy = std::min(sx, sy); break;
    case ResizingBehavior::aspectFill: sx = sy = std::max(sx, sy); break;
    case ResizingBehavior::stretch: break;
    case ResizingBehavior::center: sx = sy = 1; break;
    }
    Rect result{std::min(rect.x, rect.x + rect.width), std::min(rect.y, rect.y + rect.height), std::fabs(rect.width),
                std::fabs(rect.height)};
    result.width *= sx;
    result.height *= sy;
    result.x = target.x + (target.width - result.width) * 0.5;
    result.y = target.y + (target.height - result.height) * 0.5;
    return result;
}

void WQCheckMarkKit::drawCheck(const Cairo::RefPtr<Cairo::Context>& cr, Rect frame, ResizingBehavior resizing) {
    if (!beginMark(cr, frame, resizing)) return;
    fillDisc(cr, kGreen);
    fillBar(cr, 53.66, 40.66, 135, 30);
    fillBar(cr, 48, 35, 45, 64);
    cr->restore();
}

void WQCheckMarkKit::drawX(const Cairo::RefPtr<Cairo::Context>& cr, Rect frame, ResizingBehavior resizing) {
    if (!beginMark(cr, frame, resizing)) return;
    fillDisc(cr, kRed);
    fillBar(cr, 34.66, 29, 45, 80);
    fillBar(cr, 91.23, 34.66, 135, 80);
    cr->restore();
}

void WQCheckMarkKit::drawExclamation(const Cairo::RefPtr<Cairo::Context>& cr, Rect frame, ResizingBehavior resizing) {
    if (!beginMark(cr, frame, resizing)) return;
    fillDisc(cr, kYellow);
    drawGlyph(cr, "!", true);
    cr->restore();
}

void WQCheckMarkKit::drawQuestion(const Cairo::RefPtr<Cairo::Context>& cr, Rect frame, ResizingBehavior resizing) {
    if (!beginMark(cr, frame, resizing)) return;
    fillDisc(cr, kYellow);
    drawGlyph(cr, "?", false);
    cr->restore();
}

}  // namespace tovak
