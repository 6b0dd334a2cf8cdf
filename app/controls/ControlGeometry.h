#pragma once

#include <cmath>

// Small value types the custom controls compute with. Coordinates are GTK's: origin top left,
// y growing downwards, in logical pixels.
namespace parlivo::controls {

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }
};

// Straight (not premultiplied) RGBA, each 0...1.
struct Color {
    double red = 0, green = 0, blue = 0, alpha = 0;
    bool operator==(const Color&) const = default;
    Color withAlpha(double a) const { return {red, green, blue, a}; }
};

// The point a Core Animation style cubic Bézier timing curve (0,0)-(x1,y1)-(x2,y2)-(1,1)
// reaches at time `t` (0...1): solves the curve's x for `t` and answers its y. Values of y
// outside 0...1 are an overshoot, as the switch's knob uses.
double cubicBezierTiming(double x1, double y1, double x2, double y2, double t);

inline double lerp(double from, double to, double progress) { return from + (to - from) * progress; }
Rect lerp(const Rect& from, const Rect& to, double progress);
Color lerp(const Color& from, const Color& to, double progress);

}  // namespace parlivo::controls
