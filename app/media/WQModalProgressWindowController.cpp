#include "media/WQModalProgressWindowController.h"

#include <algorithm>
#include <cmath>

#include "foundation/Localized.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"

namespace parlivo {


std::shared_ptr<WQModalProgressWindowController> WQModalProgressWindowController::create(
    std::optional<std::string> title, std::optional<std::string> subTitle, std::function<void()> stopAction,
    Gtk::Window* parent) {
    std::shared_ptr<WQModalProgressWindowController> controller(new WQModalProgressWindowController());
    controller->title = std::move(title);
    controller->subTitle = std::move(subTitle);
    controller->stopAction = std::move(stopAction);
    controller->loadWindow(parent);
    controller->windowDidLoad();
    return controller;
}

WQModalProgressWindowController::~WQModalProgressWindowController() {
    if (window_) window_->hide();
}

void WQModalProgressWindowController::loadWindow(Gtk::Window* parent) {
    // A packaging fault: the conversion still runs and can still end, only without a sheet.
    file_ = InterfaceFile::tryLoad("WQModalProgressWindow", "the progress sheet");
    if (!file_) return;
    auto* dialog = file_->optionalOutlet<Gtk::Dialog>("window");
    if (!dialog) return;
    window_.reset(dialog);
    labelTextField_ = file_->optionalOutlet<Gtk::Label>("labelTextField");
    subtitleTextField_ = file_->optionalOutlet<Gtk::Label>("subtitleTextField");
    stopButton_ = file_->optionalOutlet<Gtk::Button>("stopButton");
    progressIndicator_ = file_->optionalOutlet<Gtk::ProgressBar>("progressIndicator");
    if (parent) window_->set_transient_for(*parent);
    if (stopButton_) {
        stopButton_->set_label(platform::localized("PROGRESS_STOP", "Stop"));
        stopButton_->signal_clicked().connect([this] { stopButtonClicked(); });
    }
    // Escape or a window manager's close asks to stop; the sheet itself stays until its
    // caller ends it, as after the stop button.
    window_->signal_delete_event().connect([this](GdkEventAny*) {
        stopButtonClicked();
        return true;
    });
}

void WQModalProgressWindowController::configure() {
    if (labelTextField_) labelTextField_->set_text(title ? *title : platform::localized("LOADING", "Loading ..."));
    if (subtitleTextField_) {
        if (subTitle) {
            subtitleTextField_->set_text(*subTitle);
            subtitleTextField_->show();
        } else {
            subtitleTextField_->hide();
        }
    }
    if (window_) window_->set_title(title ? *title : platform::localized("LOADING", "Loading ..."));
}

void WQModalProgressWindowController::windowDidLoad() { configure(); }

void WQModalProgressWindowController::stopButtonClicked() {
    // A copy: the action may end the sheet and let go of this controller's last owner.
    if (auto action = stopAction) action();
}

void WQModalProgressWindowController::progressDidChange(double progress) {
    if (!progressIndicator_) return;
    progressIndicator_->set_fraction(std::isfinite(progress) ? std::clamp(progress, 0.0, 1.0) : 0.0);
}

void WQModalProgressWindowController::beginSheet() {
    if (window_) window_->present();
}

void WQModalProgressWindowController::endSheet() {
    if (window_) window_->hide();
}

WQMediaConversionWindowHost::~WQMediaConversionWindowHost() = default;

std::shared_ptr<WQModalProgressSheet> WQMediaConversionWindowHost::makeProgressSheet(
    const std::string& title, const std::optional<std::string>& subTitle, std::function<void()> stopAction) {
    if (!window_) return nullptr;
    return WQModalProgressWindowController::create(title, subTitle, std::move(stopAction), window_);
}

void WQMediaConversionWindowHost::presentMessage(const std::string& message, const std::string& informativeText) {
    auto dialog = std::make_unique<Gtk::MessageDialog>(message, false, Gtk::MESSAGE_WARNING, Gtk::BUTTONS_OK, false);
    if (window_) dialog->set_transient_for(*window_);
    dialog->set_secondary_text(informativeText);
    Gtk::MessageDialog* shown = dialog.get();
    // Shown, not run: the main loop goes on while the message is up.
    shown->signal_response().connect([this, shown](int) {
        shown->hide();
        auto it = std::find_if(messages_.begin(), messages_.end(), [shown](const auto& m) { return m.get() == shown; });
        if (it != messages_.end()) {
            // Deleted once GTK has finished emitting the response.
            platform::MainQueue::async([dialog = std::shared_ptr<Gtk::MessageDialog>(std::move(*it))] {});
            messages_.erase(it);
        }
    });
    messages_.push_back(std::move(dialog));
    shown->show();
}

}  // namespace parlivo
