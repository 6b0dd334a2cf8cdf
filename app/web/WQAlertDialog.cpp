#include "web/WQAlertDialog.h"

#include <glib.h>
#include <gtkmm/application.h>
#include <gtkmm/button.h>
#include <gtkmm/messagedialog.h>

#include <map>
#include <set>

#include "GtkmmWrappers.h"
#include "foundation/MainQueue.h"
#include "ui/Appearance.h"

namespace parlivo {

namespace {

Gtk::MessageType messageType(WQAlertCenter::Style style) {
    switch (style) {
    case WQAlertCenter::Style::warning: return Gtk::MESSAGE_WARNING;
    case WQAlertCenter::Style::critical: return Gtk::MESSAGE_ERROR;
    case WQAlertCenter::Style::informational: break;
    }
    return Gtk::MESSAGE_INFO;
}

Gtk::Window* hostWindow(const std::weak_ptr<Gtk::Window>& window, std::shared_ptr<Gtk::Window>& keep) {
    keep = window.lock();
    if (keep) return keep.get();
    auto application = Glib::RefPtr<Gtk::Application>::cast_dynamic(Gio::Application::get_default());
    return application ? application->get_active_window() : nullptr;
}

class AlertDialogPresenter : public WQAlertCenter::Presenter,
                             public std::enable_shared_from_this<AlertDialogPresenter> {
public:
    void present(const WQAlertCenter::Request& request, std::function<void(long)> done) override {
        tovak::ensureGtkmmWrappers();
        std::shared_ptr<Gtk::Window> keep;
        Gtk::Window* host = hostWindow(request.window, keep);

        auto dialog = std::make_unique<Gtk::MessageDialog>(request.title, false, messageType(request.style),
                                                           Gtk::BUTTONS_NONE, host != nullptr);
        if (host) dialog->set_transient_for(*host);
        if (!request.message.empty()) dialog->set_secondary_text(request.message, false);
        dialog->get_style_context()->add_class(
            request.appearance == platform::Appearance::kVibrantDark ? "parlivo-dark" : "parlivo-light");

        if (request.buttonTitles.empty()) {
            // Nothing to choose from: the platform's own OK, which ends the alert without a
            // button of the caller's.
            auto* ok = Gtk::manage(new Gtk::Button(g_dgettext("gtk30", "_OK"), true));
            dialog->add_action_widget(*ok, Gtk::RESPONSE_OK);
            dialog->set_default_response(Gtk::RESPONSE_OK);
        } else {
            for (std::size_t i = 0; i < request.buttonTitles.size(); ++i) {
                // The page's text as it is: an underscore stays an underscore.
                auto* button = Gtk::manage(new Gtk::Button(request.buttonTitles[i], false));
                dialog->add_action_widget(*button, static_cast<int>(WQAlertCenter::firstButtonResponse + long(i)));
            }
            dialog->set_default_response(static_cast<int>(WQAlertCenter::firstButtonResponse));
        }

        Gtk::MessageDialog* raw = dialog.get();
        std::weak_ptr<AlertDialogPresenter> weak = weak_from_this();
        raw->signal_response().connect([raw, weak, done = std::move(done), buttons = request.buttonTitles.size(),
                                        ended = false](int response) mutable {
            if (std::exchange(ended, true)) return;
            raw->hide();
            if (auto self = weak.lock()) self->ended_.insert(raw);
            const long code = response >= WQAlertCenter::firstButtonResponse &&
                                      response < WQAlertCenter::firstButtonResponse + long(buttons)
                                  ? long(response)
                                  : WQAlertCenter::dismissedResponse;
            // Released after the signal has returned: a widget is not freed inside its own handler.
            platform::MainQueue::async([weak, raw] {
                if (auto self = weak.lock()) {
                    self->open_.erase(raw);
                    self->ended_.erase(raw);
                }
            });
            done(code);
        });
        open_.emplace(raw, std::move(dialog));
        raw->show_all();
        if (suspended_) {
            raw->hide();
        } else {
            raw->present();
        }
    }

    void setSuspended(bool suspended) override {
        if (suspended == suspended_) return;
        suspended_ = suspended;
        for (auto& [raw, dialog] : open_) {
            if (ended_.count(raw)) continue;  // answered, on its way out
            if (suspended) {
                raw->hide();
            } else {
                raw->present();
            }
        }
    }

private:
    bool suspended_ = false;
    std::set<Gtk::MessageDialog*> ended_;
    std::map<Gtk::MessageDialog*, std::unique_ptr<Gtk::MessageDialog>> open_;
};

}  // namespace

std::shared_ptr<WQAlertCenter::Presenter> makeAlertDialogPresenter() {
    return std::make_shared<AlertDialogPresenter>();
}

}  // namespace parlivo
