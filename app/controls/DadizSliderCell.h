#pragma once

#include <cairomm/context.h>

#include "controls/ControlGeometry.h"

namespace Gtk {
class Scale;
}

namespace parlivo {

// The look of a horizontal slider: a dark, rounded, inset groove and a small round knob with a
// light-to-blue gradient and a dark centre dot. Only the drawing changes; values, tracking,
// keys and signals stay the platform slider's. Fixed sizes in points: a 12-point band centred
// vertically in the given rectangle, an 11 x 11 knob, a 3 x 3 dot and a 5-point groove.
class DadizSliderCell {
public:
    static constexpr double bandHeight = 12;
    static constexpr double knobDiameter = 11;
    static constexpr double dotSize = 3;
    static constexpr double grooveHeight = 5;
    static constexpr double grooveRadius = 2.5;
    // The knob rectangle the design was drawn for, as wide as the platform's knob.
    static constexpr double knobRectWidth = 21;

    static constexpr controls::Color knobOutline{0, 0, 0, 0.172};
    static constexpr controls::Color knobGradientStart{1, 1, 1, 0.759};
    static constexpr controls::Color knobGradientEnd{0.4, 0.451, 0.581, 1.0};
    static constexpr controls::Color dotFill{0, 0, 0, 0.2};
    static constexpr controls::Color grooveOutline{0, 0, 0, 0.415};
    static constexpr controls::Color grooveOuterShadow{0.324, 0.324, 0.324, 1.0};
    static constexpr controls::Color grooveInnerShadow{0, 0, 0, 0.376};
    static constexpr controls::Color grooveGradient[3] = {
        {0.101, 0.1, 0.1, 1.0}, {0.154, 0.154, 0.154, 1.0}, {0.175, 0.175, 0.175, 1.0}};

    // --- Geometry, from the rectangle the slider passes ---
    // Top of the 12-point band: y + round((h - 12) / 2).
    static double bandTop(const controls::Rect& rect);
    // How far right of the knob rectangle's left edge the circle begins, less half a point:
    // round((round(w) - 12) x 0.78333).
    static double knobOffset(double knobRectWidth);
    static controls::Rect knobCircle(const controls::Rect& knobRect);
    static controls::Rect centreDot(const controls::Rect& knobRect);
    static controls::Rect groove(const controls::Rect& barRect);

    // --- Drawing ---
    static void drawKnob(const Cairo::RefPtr<Cairo::Context>& context, const controls::Rect& knobRect);
    static void drawBar(const Cairo::RefPtr<Cairo::Context>& context, const controls::Rect& barRect);

    // The rectangles to hand the two drawings so that the knob circle is centred on the
    // platform slider's own knob (at `knobCentreX`) and the groove runs through the knob's
    // middle, in a range of `rangeRect`.
    static controls::Rect knobRectCentredAt(double knobCentreX, const controls::Rect& rangeRect);
    static controls::Rect barRectFor(const controls::Rect& rangeRect);

    // Draws `scale` (horizontal) with this look from now on, in place of the theme's.
    static void attach(Gtk::Scale& scale);
};

}  // namespace parlivo
