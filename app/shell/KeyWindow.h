#pragma once

#include <vector>

#include <gtkmm/application.h>
#include <gtkmm/window.h>

namespace parlivo {

// The program's windows: the application's own list (most recently focused first), then every
// other toplevel window of the process. gtkmm takes a window out of the application's list when
// it is hidden and does not put it back when it is shown again, so a main window closed to the
// tray and brought back is missing from that list.
std::vector<Gtk::Window*> programWindows(Gtk::Application& application);

// The key window, which the window commands (Close, Minimize, the edit commands) act on: the
// visible window that has the keyboard focus, else the visible window that had it last. GTK's
// "active window" is neither: it is the window of the application's list focused last, which may
// since have been hidden, or missing when the list has lost the window. Null when no window is
// visible.
Gtk::Window* keyWindow(const std::vector<Gtk::Window*>& windowsMostRecentlyFocusedFirst);
Gtk::Window* keyWindow(Gtk::Application& application);
// The key window of the default application (null without one).
Gtk::Window* keyWindow();

// Closes `window` with Escape and with Ctrl+W, as dialogs do.
void closeWithEscapeAndControlW(Gtk::Window& window);

}  // namespace parlivo
