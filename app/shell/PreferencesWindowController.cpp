#include "shell/PreferencesWindowController.h"

#include <map>

#include <gtkmm/label.h>
#include <gtkmm/radiotoolbutton.h>
#include <gtkmm/settings.h>

#include "foundation/Localized.h"
#include "shell/KeyWindow.h"

namespace parlivo {

namespace {

std::map<std::string, PreferencesPaneMaker>& paneMakers() {
    static auto* makers = new std::map<std::string, PreferencesPaneMaker>;  // never destroyed
    return *makers;
}

// Holds a pane's place until the pane itself exists: shows its title.
class PlaceholderPane : public PreferencesPane {
public:
    PlaceholderPane(std::string identifier, std::string label, std::string image)
        : identifier_(std::move(identifier)), label_(std::move(label)), image_(std::move(image)), view_(label_) {
        view_.set_size_request(480, 320);
        view_.show();
    }
    std::string paneIdentifier() const override { return identifier_; }
    std::string toolbarItemLabel() const override { return label_; }
    std::string toolbarItemImage() const override { return image_; }
    Gtk::Widget& view() override { return view_; }

private:
    std::string identifier_, label_, image_;
    Gtk::Label view_;
};

}  // namespace

void registerPreferencesPane(const std::string& identifier, PreferencesPaneMaker maker) {
    paneMakers()[identifier] = std::move(maker);
}

std::unique_ptr<PreferencesPane> makePreferencesPane(const std::string& identifier) {
    if (auto it = paneMakers().find(identifier); it != paneMakers().end() && it->second) {
        if (auto pane = it->second()) return pane;
    }
    if (identifier == "General")
        return std::make_unique<PlaceholderPane>(identifier, platform::localized("PREFERENCES_GENERAL", "General"),
                                                 "preferences-system");
    if (identifier == "Privacy")
        return std::make_unique<PlaceholderPane>(identifier, platform::localized("PREFERENCES_PRIVACY", "Privacy"),
                                                 "system-lock-screen");
    return std::make_unique<PlaceholderPane>(
        identifier, platform::localized("PREFERENCES_SOUNDS_AND_APPEARANCE", "Sounds and Appearance"),
        "preferences-desktop-theme");
}

PreferencesWindowController::PreferencesWindowController(std::vector<std::unique_ptr<PreferencesPane>> panes,
                                                         std::string title)
    : title_(std::move(title)), panes_(std::move(panes)), window_(std::make_unique<Gtk::Window>()) {
    window_->set_title(title_);
    window_->set_resizable(false);
    window_->set_type_hint(Gdk::WINDOW_TYPE_HINT_DIALOG);
    toolbar_.set_toolbar_style(Gtk::TOOLBAR_BOTH);
    Gtk::RadioToolButton::Group group;
    for (std::size_t i = 0; i < panes_.size(); ++i) {
        auto& pane = panes_[i];
        auto* button = Gtk::manage(new Gtk::RadioToolButton(group, pane->toolbarItemLabel()));
        button->set_icon_name(pane->toolbarItemImage());
        button->set_name(pane->paneIdentifier());
        button->signal_toggled().connect([this, i, button] {
            if (button->get_active()) paneSelected(i);
        });
        toolbar_.append(*button);
        stack_.add(pane->view(), pane->paneIdentifier());
    }
    layout_.pack_start(toolbar_, Gtk::PACK_SHRINK);
    layout_.pack_start(stack_, Gtk::PACK_EXPAND_WIDGET);
    window_->add(layout_);
    layout_.show_all();
    // Closing hides; the controller (and with it the window) is let go by its owner.
    window_->signal_delete_event().connect([this](GdkEventAny*) {
        window_->hide();
        return true;
    });
    window_->signal_hide().connect([this] { windowWillClose(); });
    closeWithEscapeAndControlW(*window_);
    if (!panes_.empty()) paneSelected(0);
}

PreferencesWindowController::~PreferencesWindowController() {
    willClose_ = nullptr;
    if (window_) {
        closing_ = true;
        window_->hide();
        if (selected_ < panes_.size()) panes_[selected_]->viewDidDisappear();
        // The panes' views belong to the panes: take them out before either goes.
        for (auto& pane : panes_) stack_.remove(pane->view());
        window_.reset();
    }
}

void PreferencesWindowController::paneSelected(std::size_t index) {
    if (index >= panes_.size()) return;
    if (selected_ != index && selected_ < panes_.size()) panes_[selected_]->viewDidDisappear();
    selected_ = index;
    stack_.set_visible_child(panes_[index]->paneIdentifier());
    panes_[index]->viewWillAppear();
}

std::string PreferencesWindowController::selectedPaneIdentifier() const {
    return selected_ < panes_.size() ? panes_[selected_]->paneIdentifier() : std::string();
}

void PreferencesWindowController::selectPane(const std::string& identifier) {
    for (auto* child : toolbar_.get_children()) {
        if (child->get_name() == identifier)
            if (auto* button = dynamic_cast<Gtk::RadioToolButton*>(child)) button->set_active(true);
    }
}

void PreferencesWindowController::showWindow() {
    if (!window_) return;
    closing_ = false;
    window_->present();
}

void PreferencesWindowController::setLevel(int level) {
    level_ = level;
    if (window_) window_->set_keep_above(level > 0);
}

void PreferencesWindowController::useLightAppearance() {
    // Our own light look, whatever the program-wide dark preference says.
    if (!window_) return;
    window_->get_style_context()->add_class("parlivo-light");
}

void PreferencesWindowController::close() {
    if (window_ && window_->get_visible()) {
        window_->hide();  // runs the will-close handler through the hide signal
    } else {
        windowWillClose();
    }
}

void PreferencesWindowController::windowWillClose() {
    if (closing_) return;
    closing_ = true;
    if (auto handler = std::exchange(willClose_, nullptr)) handler();
}

}  // namespace parlivo
