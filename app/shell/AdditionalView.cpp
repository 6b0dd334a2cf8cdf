#include "shell/AdditionalView.h"

#include <gdkmm/display.h>
#include <gdkmm/monitor.h>

namespace parlivo {

AdditionalView::AdditionalView(Gtk::EventBox& strip, Gtk::Window& window) : strip_(strip), window_(window) {
    strip_.add_events(Gdk::BUTTON_PRESS_MASK | Gdk::BUTTON_RELEASE_MASK | Gdk::BUTTON1_MOTION_MASK);
    strip_.signal_button_press_event().connect([this](GdkEventButton* event) {
        if (event->button != 1) return false;
        // GTK reports the second press of a double click as its own event type.
        if (event->type == GDK_2BUTTON_PRESS || event->type == GDK_3BUTTON_PRESS) {
            mouseDown(2, {event->x_root, event->y_root});
        } else if (event->type == GDK_BUTTON_PRESS) {
            mouseDown(1, {event->x_root, event->y_root});
        }
        return true;
    });
    strip_.signal_motion_notify_event().connect([this](GdkEventMotion* event) {
        mouseDragged({event->x_root, event->y_root});
        return true;
    });
    strip_.signal_button_release_event().connect([this](GdkEventButton* event) {
        if (event->button == 1) mouseUp();
        return false;
    });
}

void AdditionalView::mouseDown(int clickCount, WindowPoint pointer) {
    if (clickCount == 1) {
        int x = 0, y = 0;
        window_.get_position(x, y);
        initialLocation_ = {pointer.x - x, pointer.y - y};
    } else if (clickCount >= 2) {
        zoom();
    }
}

void AdditionalView::mouseDragged(WindowPoint pointer) {
    auto gdkWindow = window_.get_window();
    if (!gdkWindow) return;
    auto display = gdkWindow->get_display();
    auto monitor = display ? display->get_monitor_at_window(gdkWindow) : Glib::RefPtr<Gdk::Monitor>();
    if (!monitor) return;
    Gdk::Rectangle screen;
    monitor->get_geometry(screen);
    int width = 0, height = 0;
    window_.get_size(width, height);
    const WindowPoint origin = mainwindow::dragOrigin(pointer, initialLocation_, screen.get_y(),
                                                      strip_.get_allocated_height(), height);
    window_.move(static_cast<int>(origin.x), static_cast<int>(origin.y));
}

void AdditionalView::mouseUp() {
    // Nothing of our own happens on release; the window's handling continues as usual.
}

void AdditionalView::zoom() {
    if (window_.is_maximized()) {
        window_.unmaximize();
    } else {
        window_.maximize();
    }
}

}  // namespace parlivo
