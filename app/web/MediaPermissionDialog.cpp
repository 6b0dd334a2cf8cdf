#include "web/MediaPermissionDialog.h"

#include <algorithm>

#include <gtkmm/messagedialog.h>
#include <gtkmm/window.h>

#include "foundation/Localized.h"
#include "foundation/MainQueue.h"

namespace parlivo {

namespace {

std::string question(const std::vector<pagepermissions::MediaKind>& kinds, const std::string& site) {
    using pagepermissions::MediaKind;
    const bool microphone = std::find(kinds.begin(), kinds.end(), MediaKind::microphone) != kinds.end();
    const bool camera = std::find(kinds.begin(), kinds.end(), MediaKind::camera) != kinds.end();
    std::string format;
    if (microphone && camera) {
        format = platform::localized("MEDIA_PERMISSION_BOTH", "Allow %@ to use your microphone and camera?");
    } else if (camera) {
        format = platform::localized("MEDIA_PERMISSION_CAMERA", "Allow %@ to use your camera?");
    } else {
        format = platform::localized("MEDIA_PERMISSION_MICROPHONE", "Allow %@ to use your microphone?");
    }
    return platform::localizedFormat(format, {site});
}

}  // namespace

MediaPermissionDialog::MediaPermissionDialog(Gtk::Window* parent, std::vector<pagepermissions::MediaKind> kinds,
                                             const std::string& site, Answered answered)
    : kinds_(std::move(kinds)), answered_(std::move(answered)) {
    dialog_ = std::make_unique<Gtk::MessageDialog>(question(kinds_, site), false, Gtk::MESSAGE_QUESTION, Gtk::BUTTONS_NONE,
                                                   true);
    const std::string title = platform::localized("MEDIA_PERMISSION_TITLE", kTitle);
    dialog_->set_title(title);
    // Screen readers name a message dialog by its kind ("Question") unless told otherwise.
    dialog_->get_accessible()->set_name(title);
    dialog_->set_secondary_text(platform::localized(
        "MEDIA_PERMISSION_DETAIL", "The answer is kept. You can change it in Preferences, Privacy."));
    dialog_->add_button(platform::localized("MEDIA_PERMISSION_DENY", "Don't Allow"), Gtk::RESPONSE_REJECT);
    dialog_->add_button(platform::localized("MEDIA_PERMISSION_ALLOW", "Allow"), Gtk::RESPONSE_ACCEPT);
    // Return does not agree by accident: the safe answer is the default.
    dialog_->set_default_response(Gtk::RESPONSE_REJECT);
    if (parent) dialog_->set_transient_for(*parent);
    dialog_->set_modal(true);
    response_ = dialog_->signal_response().connect([this](int response) {
        std::optional<bool> agreed;
        if (response == Gtk::RESPONSE_ACCEPT) agreed = true;
        if (response == Gtk::RESPONSE_REJECT) agreed = false;
        dialog_->hide();
        // The handler may destroy this object; it runs last.
        auto answered = std::move(answered_);
        answered_ = nullptr;
        if (answered) answered(agreed);
    });
    dialog_->show();
}

MediaPermissionDialog::~MediaPermissionDialog() {
    answered_ = nullptr;
    response_.disconnect();
    if (!dialog_) return;
    dialog_->hide();
    // GTK may still be delivering the response signal that led here; the widget goes after it.
    auto* dialog = dialog_.release();
    platform::MainQueue::async([dialog] { delete dialog; });
}

}  // namespace parlivo
