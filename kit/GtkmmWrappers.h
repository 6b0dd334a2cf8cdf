#pragma once

namespace tovak {

// Makes gtkmm's C++ wrappers (Gdk::Pixbuf and friends) usable without a Gtk::Application, as
// in tools and tests that handle pictures without a window. Cheap after the first call and
// harmless when the application has done it already. Needs no display.
void ensureGtkmmWrappers();

}  // namespace tovak
