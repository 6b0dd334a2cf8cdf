#include "shell/SupportAlert.h"

#include <gtkmm/application.h>
#include <glibmm/main.h>
#include <gtkmm/messagedialog.h>

#include "foundation/Localized.h"
#include "foundation/Log.h"

namespace parlivo {

namespace {

Gtk::Window* activeWindow() {
    auto application = Glib::RefPtr<Gtk::Application>::cast_dynamic(Gio::Application::get_default());
    if (!application) return nullptr;
    Gtk::Window* window = application->get_active_window();
    return window && window->is_active() ? window : nullptr;
}

}  // namespace

void SupportAlert::present(std::function<void(int response)> onResponse) {
    if (!gdk_display_get_default()) {
        platform::systemLog("SupportAlert: no display", platform::LogLevel::info);
        return;
    }
    auto* dialog = new Gtk::MessageDialog(
        platform::localized("SUPPORT_NEED_HELP_HEADER", "Need help? We'll be happy to assist you!"), false,
        Gtk::MESSAGE_INFO, Gtk::BUTTONS_NONE, true);
    dialog->set_secondary_text(platform::localized(
        "SUPPORT_NEED_HELP_BODY",
        "To solve your problem as fast as possible, we have answered the most frequent questions in our FAQ.\n\n"
        "If your question is not answered in the FAQ we are happy to assist you via eMail. Please don't hesitate "
        "to contact us."));
    dialog->add_button(platform::localized("READ_FAQ", "Read FAQ"), readFAQ);
    dialog->add_button(platform::localized("CONTACT_SUPPORT_VIA_EMAIL", "Contact Support via eMail"), contactSupport);
    dialog->add_button(platform::localized("BACK", "Back"), back);
    dialog->set_default_response(readFAQ);

    if (Gtk::Window* window = activeWindow()) {
        // A sheet: attached to the active window, answered through the response signal.
        dialog->set_transient_for(*window);
        dialog->set_modal(true);
        dialog->signal_response().connect([dialog, onResponse](int response) {
            dialog->hide();
            // Deleted on a later turn: this handler runs inside the dialog's own signal.
            Glib::signal_idle().connect_once([dialog] { delete dialog; });
            if (onResponse) onResponse(response);
        });
        dialog->show();
        return;
    }
    const int response = dialog->run();
    delete dialog;
    if (onResponse) onResponse(response);
}

}  // namespace parlivo
