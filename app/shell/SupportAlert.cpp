#include "shell/SupportAlert.h"

#include <gtkmm/application.h>
#include <gtkmm/messagedialog.h>

#include "foundation/Localized.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "shell/KeyWindow.h"

namespace parlivo {

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

    // A sheet over the key window when there is one, else a dialog of its own. Never a nested
    // main loop: the answer comes through the response signal.
    if (Gtk::Window* window = keyWindow()) dialog->set_transient_for(*window);
    dialog->set_modal(true);
    dialog->signal_response().connect([dialog, onResponse](int response) {
        dialog->hide();
        // Deleted on a later turn: this handler runs inside the dialog's own signal.
        platform::MainQueue::async([dialog] { delete dialog; });
        // Closing the dialog (Escape, the window's close button) is going back.
        if (onResponse) onResponse(response == Gtk::RESPONSE_DELETE_EVENT ? back : response);
    });
    dialog->show();
}

}  // namespace parlivo
