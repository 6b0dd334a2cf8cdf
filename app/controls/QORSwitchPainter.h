#pragma once

#include <cairomm/context.h>

#include "controls/QORSwitchLogic.h"

namespace parlivo {

// Draws the toggle switch: a rounded track (half-height corners) with a one-point border,
// filled with the tint when on, and a white knob with a soft shadow below it and a faint rim;
// the whole at the frame's opacity. The track fills (0, 0, width, height) of the context.
void paintQORSwitch(const Cairo::RefPtr<Cairo::Context>& context, double width, double height,
                    const QORSwitchFrame& frame);

}  // namespace parlivo
