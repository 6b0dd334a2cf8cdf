#pragma once

// The X display as a hand and an eye use it in an end-to-end test: the pointer moved through
// XTest, a window's pixels read back (what the screen shows, on a desktop without compositing).

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
// Xlib's macros of these names break GoogleTest and GLib headers included after this one.
#undef None
#undef Bool
#undef Status

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace e2e {

class ScreenPixels {
public:
    ScreenPixels() : display_(XOpenDisplay(nullptr)) {}
    ~ScreenPixels() {
        if (display_) XCloseDisplay(display_);
    }
    ScreenPixels(const ScreenPixels&) = delete;
    ScreenPixels& operator=(const ScreenPixels&) = delete;

    bool ok() const { return display_ != nullptr; }
    int width() const { return DisplayWidth(display_, DefaultScreen(display_)); }
    int height() const { return DisplayHeight(display_, DefaultScreen(display_)); }

    void movePointer(int x, int y) {
        XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
        XSync(display_, False);
    }

    struct Box {
        int x = 0, y = 0;
        unsigned width = 0, height = 0;
    };
    // Where a window's (0, 0) lies on the screen, and its size.
    bool geometry(Window window, Box& box) {
        Window root, child;
        unsigned border, depth;
        int ignored;
        if (!XGetGeometry(display_, window, &root, &ignored, &ignored, &box.width, &box.height, &border, &depth))
            return false;
        return XTranslateCoordinates(display_, window, root, 0, 0, &box.x, &box.y, &child);
    }

    // The brightness (0 to 255) of each pixel of a region of a window, row by row; empty when
    // it cannot be read.
    std::vector<double> brightness(Window window, const Box& region) {
        std::vector<double> values;
        XImage* image = XGetImage(display_, window, region.x, region.y, region.width, region.height, AllPlanes, ZPixmap);
        if (!image) return values;
        values.reserve(std::size_t(region.width) * region.height);
        for (unsigned row = 0; row < region.height; ++row)
            for (unsigned column = 0; column < region.width; ++column) {
                const unsigned long p = XGetPixel(image, int(column), int(row));
                values.push_back(0.299 * ((p >> 16) & 0xff) + 0.587 * ((p >> 8) & 0xff) + 0.114 * (p & 0xff));
            }
        XDestroyImage(image);
        return values;
    }

    // Keeps what a window shows as a binary PPM picture at `path`, for a failure to be looked at.
    bool save(Window window, const std::string& path) {
        Box box;
        if (!geometry(window, box)) return false;
        XImage* image = XGetImage(display_, window, 0, 0, box.width, box.height, AllPlanes, ZPixmap);
        if (!image) return false;
        std::ofstream out(path, std::ios::binary);
        out << "P6\n" << box.width << ' ' << box.height << "\n255\n";
        for (unsigned row = 0; row < box.height; ++row)
            for (unsigned column = 0; column < box.width; ++column) {
                const unsigned long p = XGetPixel(image, int(column), int(row));
                const char rgb[3] = {char((p >> 16) & 0xff), char((p >> 8) & 0xff), char(p & 0xff)};
                out.write(rgb, 3);
            }
        XDestroyImage(image);
        return bool(out);
    }

    // How sharp a region is: the mean difference in brightness between horizontal neighbours.
    // Text is full of edges; blurred text has hardly any, and an empty background none.
    double sharpness(Window window, const Box& region) { return sharpness(brightness(window, region), region); }
    // The same of a reading already taken (by brightness() of `region`), so that what is judged
    // sharp is the very reading kept.
    static double sharpness(const std::vector<double>& values, const Box& region) {
        if (values.size() != std::size_t(region.width) * region.height || region.width < 2) return -1;
        double sum = 0;
        for (unsigned row = 0; row < region.height; ++row)
            for (unsigned column = 1; column < region.width; ++column) {
                const std::size_t i = std::size_t(row) * region.width + column;
                sum += std::fabs(values[i] - values[i - 1]);
            }
        return sum / (double(region.height) * (region.width - 1));
    }

private:
    Display* display_;
};

}  // namespace e2e
