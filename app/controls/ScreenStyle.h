#pragma once

namespace Gtk {
class Widget;
}

namespace parlivo {

// Our own style rules for every window on the default screen, above the theme's. Each text is
// added once, the first time it is asked for while there is a screen (the text is a literal that
// lives as long as the program; its address is what is remembered). Main thread only.
void installScreenStyle(const char* css);

// Installs `css` as above and puts `className` on the widget.
void styleWithClass(Gtk::Widget& widget, const char* css, const char* className);

}  // namespace parlivo
