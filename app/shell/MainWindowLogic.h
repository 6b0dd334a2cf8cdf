#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlivo {

// The main window's arithmetic and decisions, apart from GTK so tests need no display.

struct WindowPoint {
    double x = 0, y = 0;
    bool operator==(const WindowPoint&) const = default;
};

struct WindowFrame {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const WindowFrame&) const = default;
};

namespace mainwindow {

// Window opacity in stealth mode: 0.2 + 0.8 × the stored alpha while active, else opaque.
double stealthAlpha(bool stealthActive, double storedAlpha);

// The shake: from the origin to x − d, x + d four times (d = 3 % of the width) and back to
// the origin; ten points, nine straight segments; y never changes.
std::vector<WindowPoint> shakePath(double x, double y, double width);
// Where the window is `elapsed` seconds into a shake of `duration` seconds over `path`
// (each segment takes the same time); the last point once the time is up.
WindowPoint shakePosition(const std::vector<WindowPoint>& path, double elapsed, double duration);
inline constexpr double shakeDuration = 0.7;

// Whether to put the window back into full screen at start, with the debug line to write.
struct RestoreDecision {
    bool restoreFullScreen = false;
    std::string_view debugLine;
};
RestoreDecision restoreDecision(bool showDockIcon, bool wasOnScreen, bool wasFullScreen);

// The frame saved under an autosave name: "x y width height" in screen pixels, top-left origin.
std::string frameString(const WindowFrame& frame);
// None for anything but four integers with a positive size.
std::optional<WindowFrame> parseFrameString(std::string_view text);
// The settings key a frame is saved under for an autosave name.
std::string frameDefaultsKey(std::string_view autosaveName);

// The drag strip: where the window's top-left goes for a pointer at `pointer` (screen
// coordinates, y downward) after a press at `initialLocation` (pointer minus window origin).
// Sideways and downward the window follows freely; upward it may leave the screen only until
// a band as tall as the strip is left of it below the screen's top edge.
WindowPoint dragOrigin(WindowPoint pointer, WindowPoint initialLocation, double screenTop, double stripHeight,
                       double windowHeight);

}  // namespace mainwindow
}  // namespace parlivo
