#pragma once

#include <cairomm/context.h>

#include "controls/ControlGeometry.h"

// Cairo helpers shared by the custom controls' drawings.
namespace parlivo::controls {

void setSourceColor(const Cairo::RefPtr<Cairo::Context>& context, const Color& color);
// A closed rounded-rectangle path; radii larger than half a side are limited to it.
void roundedRectanglePath(const Cairo::RefPtr<Cairo::Context>& context, const Rect& rect, double radius);
void ovalPath(const Cairo::RefPtr<Cairo::Context>& context, const Rect& rect);

}  // namespace parlivo::controls
