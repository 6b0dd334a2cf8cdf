#pragma once

#include <vector>

#include <gtkmm/application.h>
#include <gtkmm/window.h>

namespace parlivo {

// The key window, which the window commands (Close, Minimize, the edit commands) act on: the
// visible window that has the keyboard focus, else the visible window that had it last. GTK's
// "active window" is only the one focused last, which may since have been hidden (a closed
// preferences window). Null when no window is visible.
Gtk::Window* keyWindow(const std::vector<Gtk::Window*>& windowsMostRecentlyFocusedFirst);
Gtk::Window* keyWindow(Gtk::Application& application);
// The key window of the default application (null without one).
Gtk::Window* keyWindow();

// Closes `window` with Escape and with Ctrl+W, as dialogs do.
void closeWithEscapeAndControlW(Gtk::Window& window);

}  // namespace parlivo
