#include "controls/DadizSliderCell.h"

#include <gtkmm/scale.h>
#include <gtkmm/stylecontext.h>

#include <cmath>

#include "controls/ControlPainting.h"

namespace parlivo {

using controls::Color;
using controls::Rect;

namespace {

double roundHalfUp(double v) { return std::floor(v + 0.5); }

void addStop(const Cairo::RefPtr<Cairo::LinearGradient>& gradient, double offset, const Color& c) {
    gradient->add_color_stop_rgba(offset, c.red, c.green, c.blue, c.alpha);
}

}  // namespace

double DadizSliderCell::bandTop(const Rect& rect) { return rect.y + roundHalfUp((rect.height - bandHeight) * 0.5); }

double DadizSliderCell::knobOffset(double width) {
    const double w = roundHalfUp(width);
    return roundHalfUp((roundHalfUp(w) - bandHeight) * 0.78333);
}

Rect DadizSliderCell::knobCircle(const Rect& knobRect) {
    const double k = knobOffset(knobRect.width);
    return {knobRect.x + k + 0.5, bandTop(knobRect) + 0.5, knobDiameter, knobDiameter};
}

Rect DadizSliderCell::centreDot(const Rect& knobRect) {
    const double k = knobOffset(knobRect.width);
    return {knobRect.x + k + 4.5, bandTop(knobRect) + 4.5, dotSize, dotSize};
}

Rect DadizSliderCell::groove(const Rect& barRect) {
    return {barRect.x + 1, bandTop(barRect) + 6, roundHalfUp(roundHalfUp(barRect.width) - 2), grooveHeight};
}

void DadizSliderCell::drawKnob(const Cairo::RefPtr<Cairo::Context>& context, const Rect& knobRect) {
    const Rect circle = knobCircle(knobRect);
    context->save();
    controls::ovalPath(context, circle);
    context->clip();
    // 5.73 of 11 points each way: the gradient reaches a little beyond the circle.
    const double reach = 5.73 * circle.height / knobDiameter;
    auto gradient = Cairo::LinearGradient::create(0, circle.midY() - reach, 0, circle.midY() + reach);
    addStop(gradient, 0, knobGradientStart);
    addStop(gradient, 1, knobGradientEnd);
    gradient->set_extend(Cairo::EXTEND_PAD);
    context->set_source(gradient);
    context->paint();
    context->restore();

    context->save();
    controls::ovalPath(context, circle);
    controls::setSourceColor(context, knobOutline);
    context->set_line_width(1.0);
    context->stroke();
    const Rect dot = centreDot(knobRect);
    controls::ovalPath(context, dot);
    controls::setSourceColor(context, dotFill);
    context->fill_preserve();
    controls::setSourceColor(context, knobOutline);
    context->stroke();
    context->restore();
}

void DadizSliderCell::drawBar(const Cairo::RefPtr<Cairo::Context>& context, const Rect& barRect) {
    const Rect g = groove(barRect);
    if (g.width <= 0) return;
    auto grooveGradientFor = [&](double from, double to) {
        auto gradient = Cairo::LinearGradient::create(0, from, 0, to);
        addStop(gradient, 0.0, grooveGradient[0]);
        addStop(gradient, 0.5, grooveGradient[1]);
        addStop(gradient, 1.0, grooveGradient[2]);
        gradient->set_extend(Cairo::EXTEND_PAD);
        return gradient;
    };
    context->save();
    // The outer shadow: a light copy of the groove a point lower, which reads as the lit lower
    // edge of a groove cut into the surface.
    controls::roundedRectanglePath(context, {g.x + 0.1, g.y + 1.1, g.width, g.height}, grooveRadius);
    controls::setSourceColor(context, grooveOuterShadow);
    context->fill();

    // The groove itself, darkest at the top.
    controls::roundedRectanglePath(context, g, grooveRadius);
    context->save();
    context->clip_preserve();
    context->set_source(grooveGradientFor(g.midY() - g.height / 2, g.midY() + g.height / 2));
    context->paint();
    // The inner shadow (black 0.376, five points soft): rings fading inwards stand in for the blur.
    context->set_line_width(1.0);
    for (int i = 0; i < 3; ++i) {
        const double inset = 0.5 + i;
        controls::roundedRectanglePath(context, {g.x + inset, g.y + inset, g.width - 2 * inset, g.height - 2 * inset},
                                       grooveRadius - inset);
        controls::setSourceColor(context, grooveInnerShadow.withAlpha(grooveInnerShadow.alpha * (1.0 - i / 3.0) * 0.6));
        context->stroke();
    }
    context->restore();

    controls::roundedRectanglePath(context, g, grooveRadius);
    controls::setSourceColor(context, grooveOutline);
    context->set_line_width(1.0);
    context->stroke();
    context->restore();
}

Rect DadizSliderCell::knobRectCentredAt(double knobCentreX, const Rect& rangeRect) {
    const double k = knobOffset(knobRectWidth);
    // Whole points, so the circle's outline falls on half points and stays crisp.
    const double x = std::round(knobCentreX - (k + 0.5 + knobDiameter / 2));
    return {x, rangeRect.y, knobRectWidth, rangeRect.height};
}

Rect DadizSliderCell::barRectFor(const Rect& rangeRect) {
    // The design puts the groove 2.5 points below the knob's middle; lifting the bar by as much
    // lets it run through the knob.
    return {rangeRect.x, rangeRect.y - (6 + grooveHeight / 2 - bandHeight / 2), rangeRect.width, rangeRect.height};
}

void DadizSliderCell::attach(Gtk::Scale& scale) {
    scale.set_draw_value(false);
    // Handlers connected before the class handler run first; answering true replaces the
    // theme's drawing (trough, highlight and slider) with ours.
    scale.signal_draw().connect(
        [&scale](const Cairo::RefPtr<Cairo::Context>& context) {
            GtkRange* range = GTK_RANGE(scale.gobj());
            GdkRectangle area{};
            gtk_range_get_range_rect(range, &area);
            int start = 0, end = 0;
            gtk_range_get_slider_range(range, &start, &end);
            const Rect rangeRect{double(area.x), double(area.y), double(area.width), double(area.height)};
            const double knobCentre = (start + end) / 2.0;
            context->save();
            if (!scale.is_sensitive()) context->push_group();
            drawBar(context, barRectFor(rangeRect));
            const Rect knobRect = knobRectCentredAt(knobCentre, rangeRect);
            drawKnob(context, knobRect);
            if (scale.has_visible_focus()) {
                Gdk::RGBA accent("#3584e4");
                scale.get_style_context()->lookup_color("theme_selected_bg_color", accent);
                const Rect circle = knobCircle(knobRect);
                controls::ovalPath(context, {circle.x - 2, circle.y - 2, circle.width + 4, circle.height + 4});
                context->set_source_rgba(accent.get_red(), accent.get_green(), accent.get_blue(), 0.7);
                context->set_line_width(2.0);
                context->stroke();
            }
            if (!scale.is_sensitive()) {
                context->pop_group_to_source();
                context->paint_with_alpha(0.5);
            }
            context->restore();
            return true;
        },
        false);
}

}  // namespace parlivo
