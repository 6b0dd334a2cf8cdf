#include "controls/QORSwitchPainter.h"

#include "controls/ControlPainting.h"

namespace parlivo {

using controls::Color;
using controls::Rect;

void paintQORSwitch(const Cairo::RefPtr<Cairo::Context>& context, double width, double height,
                    const QORSwitchFrame& frame) {
    if (width <= 0 || height <= 0) return;
    context->save();
    // One group, painted at the control's opacity, so overlapping parts do not add up.
    context->push_group();

    const double border = QORSwitchLogic::trackBorderWidth;
    const Rect track{border / 2, border / 2, width - border, height - border};
    controls::roundedRectanglePath(context, track, track.height / 2);
    controls::setSourceColor(context, frame.fill);
    context->fill_preserve();
    context->set_line_width(border);
    controls::setSourceColor(context, frame.border);
    context->stroke();

    const Rect& knob = frame.knob;
    const double radius = knob.height / 2;
    // The knob's shadow: black at 0.3, two points below, one point soft (two passes stand in
    // for the blur).
    for (int pass = 0; pass < 2; ++pass) {
        const double spread = pass == 0 ? 1.0 : 0.0;
        const Rect shadow{knob.x - spread, knob.y + 2 - spread, knob.width + 2 * spread, knob.height + 2 * spread};
        controls::roundedRectanglePath(context, shadow, radius + spread);
        context->set_source_rgba(0, 0, 0, 0.15);
        context->fill();
    }
    controls::roundedRectanglePath(context, knob, radius);
    context->set_source_rgb(1, 1, 1);
    context->fill();
    // The inner face's shadow (black at 0.35, no offset, one point soft) reads as a faint rim.
    const Rect rim{knob.x + 0.5, knob.y + 0.5, knob.width - 1, knob.height - 1};
    controls::roundedRectanglePath(context, rim, radius - 0.5);
    context->set_source_rgba(0, 0, 0, 0.35 * 0.4);
    context->set_line_width(1.0);
    context->stroke();

    context->pop_group_to_source();
    context->paint_with_alpha(frame.opacity);
    context->restore();
}

}  // namespace parlivo
