#include "controls/ControlPainting.h"

#include <algorithm>
#include <numbers>

namespace parlivo::controls {

void setSourceColor(const Cairo::RefPtr<Cairo::Context>& context, const Color& color) {
    context->set_source_rgba(color.red, color.green, color.blue, color.alpha);
}

void roundedRectanglePath(const Cairo::RefPtr<Cairo::Context>& context, const Rect& rect, double radius) {
    const double r = std::clamp(radius, 0.0, std::min(rect.width, rect.height) / 2);
    const double pi = std::numbers::pi;
    context->begin_new_sub_path();
    context->arc(rect.x + rect.width - r, rect.y + r, r, -pi / 2, 0);
    context->arc(rect.x + rect.width - r, rect.y + rect.height - r, r, 0, pi / 2);
    context->arc(rect.x + r, rect.y + rect.height - r, r, pi / 2, pi);
    context->arc(rect.x + r, rect.y + r, r, pi, 3 * pi / 2);
    context->close_path();
}

void ovalPath(const Cairo::RefPtr<Cairo::Context>& context, const Rect& rect) {
    if (rect.width <= 0 || rect.height <= 0) return;
    context->save();
    context->translate(rect.midX(), rect.midY());
    context->scale(rect.width / 2, rect.height / 2);
    context->begin_new_sub_path();
    context->arc(0, 0, 1, 0, 2 * std::numbers::pi);
    context->close_path();
    context->restore();
}

}  // namespace parlivo::controls
