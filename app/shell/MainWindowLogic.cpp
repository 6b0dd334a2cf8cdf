#include "shell/MainWindowLogic.h"

#include <charconv>

namespace parlivo::mainwindow {

double stealthAlpha(bool stealthActive, double storedAlpha) {
    return stealthActive ? 0.2 + 0.8 * storedAlpha : 1.0;
}

std::vector<WindowPoint> shakePath(double x, double y, double width) {
    const double d = 0.03 * width;
    std::vector<WindowPoint> path{{x, y}};
    for (int pair = 0; pair < 4; ++pair) {
        path.push_back({x - d, y});
        path.push_back({x + d, y});
    }
    path.push_back({x, y});  // closing the path
    return path;
}

WindowPoint shakePosition(const std::vector<WindowPoint>& path, double elapsed, double duration) {
    if (path.empty()) return {};
    if (path.size() == 1 || elapsed <= 0) return path.front();
    if (elapsed >= duration) return path.back();
    const double segments = static_cast<double>(path.size() - 1);
    const double progress = elapsed / duration * segments;
    const auto index = static_cast<std::size_t>(progress);
    const double t = progress - static_cast<double>(index);
    const WindowPoint& a = path[index];
    const WindowPoint& b = path[index + 1];
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

RestoreDecision restoreDecision(bool showDockIcon, bool wasOnScreen, bool wasFullScreen) {
    if (showDockIcon) return {false, "Not restoring manually (0)"};
    if (!wasOnScreen) return {false, "Not restoring manually (1)"};
    if (!wasFullScreen) return {false, "Not restoring manually (2)"};
    return {true, "Manually restoring window"};
}

std::string frameString(const WindowFrame& frame) {
    // Integers only: no locale can change how they are written.
    return std::to_string(frame.x) + " " + std::to_string(frame.y) + " " + std::to_string(frame.width) + " " +
           std::to_string(frame.height);
}

std::optional<WindowFrame> parseFrameString(std::string_view text) {
    int values[4];
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 4; ++i) {
        while (p < end && *p == ' ') ++p;
        auto [next, error] = std::from_chars(p, end, values[i]);
        if (error != std::errc() || next == p) return std::nullopt;
        p = next;
    }
    while (p < end && *p == ' ') ++p;
    if (p != end || values[2] <= 0 || values[3] <= 0) return std::nullopt;
    return WindowFrame{values[0], values[1], values[2], values[3]};
}

std::string frameDefaultsKey(std::string_view autosaveName) { return "NSWindow Frame " + std::string(autosaveName); }

WindowPoint dragOrigin(WindowPoint pointer, WindowPoint initialLocation, double screenTop, double stripHeight,
                       double windowHeight) {
    WindowPoint origin{pointer.x - initialLocation.x, pointer.y - initialLocation.y};
    const double highest = screenTop + stripHeight - windowHeight;
    if (origin.y < highest) origin.y = highest;
    return origin;
}

}  // namespace parlivo::mainwindow
