#include "GtkmmWrappers.h"

#include <gtkmm/main.h>

#include <mutex>

namespace tovak {

void ensureGtkmmWrappers() {
    static std::once_flag once;
    std::call_once(once, [] { Gtk::Main::init_gtkmm_internals(); });
}

}  // namespace tovak
