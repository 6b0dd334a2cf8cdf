#include "shell/KeyWindow.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>

namespace parlivo {

Gtk::Window* keyWindow(const std::vector<Gtk::Window*>& windows) {
    for (auto* window : windows)
        if (window && window->get_visible() && window->is_active()) return window;
    for (auto* window : windows)
        if (window && window->get_visible()) return window;
    return nullptr;
}

std::vector<Gtk::Window*> programWindows(Gtk::Application& application) {
    std::vector<Gtk::Window*> windows = application.get_windows();
    for (auto* window : Gtk::Window::list_toplevels()) {
        if (!window || window->get_window_type() != Gtk::WINDOW_TOPLEVEL) continue;  // menus, tooltips
        if (std::find(windows.begin(), windows.end(), window) == windows.end()) windows.push_back(window);
    }
    return windows;
}

Gtk::Window* keyWindow(Gtk::Application& application) { return keyWindow(programWindows(application)); }

Gtk::Window* keyWindow() {
    auto application = Glib::RefPtr<Gtk::Application>::cast_dynamic(Gio::Application::get_default());
    return application ? keyWindow(*application.operator->()) : nullptr;
}

void closeWithEscapeAndControlW(Gtk::Window& window) {
    window.add_events(Gdk::KEY_PRESS_MASK);
    window.signal_key_press_event().connect(
        [&window](GdkEventKey* event) {
            const auto modifiers = event->state & gtk_accelerator_get_default_mod_mask();
            const bool escape = event->keyval == GDK_KEY_Escape && modifiers == 0;
            const bool controlW =
                (event->keyval == GDK_KEY_w || event->keyval == GDK_KEY_W) && modifiers == GDK_CONTROL_MASK;
            if (!escape && !controlW) return false;
            window.close();
            return true;
        },
        false);
}

}  // namespace parlivo
