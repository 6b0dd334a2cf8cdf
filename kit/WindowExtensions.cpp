#include "WindowExtensions.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>

#include "ViewAnimation.h"
#include "foundation/MainQueue.h"

namespace tovak {
namespace {

constexpr double kSecondsPer150Pixels = 0.2;
constexpr double kCompletionSlack = 0.05;

ViewSize windowSize(GtkWindow* window) {
    int width = 0, height = 0;
    gtk_window_get_size(window, &width, &height);
    return {double(width), double(height)};
}

}  // namespace

double animationResizeTime(Gtk::Window& window, ViewSize size) {
    const ViewSize present = windowSize(window.gobj());
    const double change = std::max(std::fabs(size.width - present.width), std::fabs(size.height - present.height));
    return kSecondsPer150Pixels * change / 150.0;
}

void animateToSize(Gtk::Window& window, ViewSize size, CompletionHandler completionHandler) {
    GtkWindow* gtkWindow = window.gobj();
    const ViewSize from = windowSize(gtkWindow);
    const double delay = animationResizeTime(window, size) + kCompletionSlack;
    const int width = std::max(1, int(std::lround(size.width)));
    const int height = std::max(1, int(std::lround(size.height)));
    ViewAnimation::run(G_OBJECT(gtkWindow), delay - kCompletionSlack, [gtkWindow, from, width, height](double p) {
        gtk_window_resize(gtkWindow, std::max(1, int(std::lround(from.width + (width - from.width) * p))),
                          std::max(1, int(std::lround(from.height + (height - from.height) * p))));
    }, {});
    if (completionHandler) platform::MainQueue::after(delay, std::move(completionHandler));
}

void animateToMinSize(Gtk::Window& window, ViewSize size, double, CompletionHandler completionHandler) {
    const ViewSize present = windowSize(window.gobj());
    animateToSize(window, {std::max(present.width, size.width), std::max(present.height, size.height)},
                  std::move(completionHandler));
}

}  // namespace tovak
