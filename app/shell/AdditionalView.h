#pragma once

#include <gtkmm/eventbox.h>
#include <gtkmm/window.h>

#include "shell/MainWindowLogic.h"

namespace parlivo {

// The drag strip at the top of the main window: dragging it moves the window (upward only
// until a strip's height of it is left on screen), a double click zooms (maximizes or
// restores) it. Attached to an event box of the interface file.
class AdditionalView {
public:
    AdditionalView(Gtk::EventBox& strip, Gtk::Window& window);

    WindowPoint initialLocation() const { return initialLocation_; }

    // The events, also callable by tests with screen coordinates.
    void mouseDown(int clickCount, WindowPoint pointer);
    void mouseDragged(WindowPoint pointer);
    void mouseUp();

private:
    void zoom();

    Gtk::EventBox& strip_;
    Gtk::Window& window_;
    WindowPoint initialLocation_;
};

}  // namespace parlivo
