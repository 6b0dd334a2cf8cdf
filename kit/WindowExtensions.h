#pragma once

#include <functional>

#include <gtkmm/window.h>

#include "ViewExtensions.h"

namespace tovak {

// Resizes a window in steps on the main loop; its top edge stays where it is (GTK keeps a
// window's top-left corner when it changes size). The handler runs once, on the main loop,
// animationResizeTime() plus 0.05 s after the call, never inside it.

// The time a resize to `size` takes: 0.2 s for every 150 pixels of the larger change.
double animationResizeTime(Gtk::Window& window, ViewSize size);

void animateToSize(Gtk::Window& window, ViewSize size, CompletionHandler completionHandler = {});
// animateToSize with each dimension at least its present one; `duration` is not used (the
// window's own resize time applies).
void animateToMinSize(Gtk::Window& window, ViewSize size, double duration, CompletionHandler completionHandler = {});

}  // namespace tovak
