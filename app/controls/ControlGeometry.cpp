#include "controls/ControlGeometry.h"

#include <algorithm>

namespace parlivo::controls {

namespace {

// One coordinate of the Bézier at parameter s, with end points 0 and 1.
double bezier(double p1, double p2, double s) {
    const double inv = 1 - s;
    return 3 * inv * inv * s * p1 + 3 * inv * s * s * p2 + s * s * s;
}

}  // namespace

double cubicBezierTiming(double x1, double y1, double x2, double y2, double t) {
    if (t <= 0) return 0;
    if (t >= 1) return 1;
    // x(s) rises monotonically for control x values within 0...1: bisection always finds s.
    double low = 0, high = 1, s = t;
    for (int i = 0; i < 60; ++i) {
        s = (low + high) / 2;
        const double x = bezier(x1, x2, s);
        if (std::abs(x - t) < 1e-9) break;
        (x < t ? low : high) = s;
    }
    return bezier(y1, y2, s);
}

Rect lerp(const Rect& from, const Rect& to, double progress) {
    return {lerp(from.x, to.x, progress), lerp(from.y, to.y, progress), lerp(from.width, to.width, progress),
            lerp(from.height, to.height, progress)};
}

Color lerp(const Color& from, const Color& to, double progress) {
    // Colours do not overshoot: a tint beyond the target would be a different colour.
    const double p = std::clamp(progress, 0.0, 1.0);
    return {lerp(from.red, to.red, p), lerp(from.green, to.green, p), lerp(from.blue, to.blue, p),
            lerp(from.alpha, to.alpha, p)};
}

}  // namespace parlivo::controls
