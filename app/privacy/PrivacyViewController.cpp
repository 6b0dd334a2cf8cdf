#include "privacy/PrivacyViewController.h"

// Placeholder: a password field checked against the stored digest; no Touch ID yet.
#include <gtkmm/box.h>
#include <gtkmm/container.h>
#include <gtkmm/entry.h>
#include <gtkmm/eventbox.h>
#include <gtkmm/label.h>

#include "DebugPrint.h"
#include "foundation/Localized.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"
#include "settings/Trellik.h"
#include "system/Crypto.h"

namespace parlivo {

std::shared_ptr<PrivacyViewController> PrivacyViewController::create() {
    auto controller = std::shared_ptr<PrivacyViewController>(new PrivacyViewController());
    std::weak_ptr<PrivacyViewController> weak = controller;
    controller->passwordField_->signal_activate().connect([weak] {
        if (auto self = weak.lock()) self->checkPassword();
    });
    return controller;
}

PrivacyViewController::PrivacyViewController() : view_(std::make_unique<Gtk::EventBox>()) {
    // An opaque window of its own: nothing of the page shows through or takes a click.
    view_->set_visible_window(true);
    view_->get_style_context()->add_class("background");
    view_->get_style_context()->add_class("parlivo-lock-screen");
    auto* box = Gtk::make_managed<Gtk::Box>(Gtk::ORIENTATION_VERTICAL, 12);
    box->set_halign(Gtk::ALIGN_CENTER);
    box->set_valign(Gtk::ALIGN_CENTER);
    box->pack_start(*Gtk::make_managed<Gtk::Label>(platform::localizedComment("PRIVACY_LOCKED", "Locked")),
                    Gtk::PACK_SHRINK);
    passwordField_ = Gtk::make_managed<Gtk::Entry>();
    passwordField_->set_visibility(false);
    passwordField_->set_input_purpose(Gtk::INPUT_PURPOSE_PASSWORD);
    box->pack_start(*passwordField_, Gtk::PACK_SHRINK);
    view_->add(*box);
    box->show_all();
}

PrivacyViewController::~PrivacyViewController() {
    if (auto* parent = view_->get_parent()) parent->remove(*view_);
}

Gtk::Widget& PrivacyViewController::view() { return *view_; }

void PrivacyViewController::showTouchID() { tovak::debugPrint(kClassName, "Touch ID is not available yet"); }

void PrivacyViewController::focusPasswordField() {
    if (passwordField_->get_toplevel()->get_is_toplevel()) passwordField_->grab_focus();
}

void PrivacyViewController::checkPassword() {
    const std::string key = std::string(keys::passwordHandlerPrefix) + std::string(keys::privacyPassword);
    const auto stored = platform::UserDefaults::standard().stringForKey(key);
    // Without any stored password there is nothing to check against: the lock cannot hold.
    if (stored && *stored != platform::Crypto::sha256Hex(std::string(passwordField_->get_text()))) return;
    Trellik::shared().setPrivacyLockdown(false);
}

}  // namespace parlivo
