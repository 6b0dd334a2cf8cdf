#include "controls/ScreenStyle.h"

#include <gdkmm/screen.h>
#include <glibmm/error.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/stylecontext.h>
#include <gtkmm/widget.h>

#include <set>

#include <string>

#include "foundation/Log.h"

namespace parlivo {

void installScreenStyle(const char* css) {
    static auto* installed = new std::set<const char*>();
    if (installed->count(css)) return;
    auto screen = Gdk::Screen::get_default();
    if (!screen) return;
    auto provider = Gtk::CssProvider::create();
    try {
        provider->load_from_data(css);
    } catch (const Glib::Error& error) {
        // Our own text: a mistake in it leaves the theme's look, never a crash.
        platform::systemLog("ScreenStyle: style rules not loaded: " + std::string(error.what()),
                            platform::LogLevel::warning);
    }
    Gtk::StyleContext::add_provider_for_screen(screen, provider, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    installed->insert(css);
}

void styleWithClass(Gtk::Widget& widget, const char* css, const char* className) {
    installScreenStyle(css);
    widget.get_style_context()->add_class(className);
}

}  // namespace parlivo
