#include "preferences/PrivacyPasswordEntry.h"

#include "DebugPrint.h"
#include "WQSecureTextField.h"
#include "foundation/UserDefaults.h"
#include "privacy/WQPasswordHandler.h"
#include "settings/Keys.h"
#include "settings/Trellik.h"

namespace parlivo {

namespace {

// Logged as the pane the flow belongs to.
constexpr std::string_view kClassName = "PreferencesPrivacy";

void log(std::string_view message) { tovak::debugPrint(kClassName, message); }

const std::string privacyPasswordName(keys::privacyPassword);

}  // namespace

PrivacyPasswordEntry::PrivacyPasswordEntry(Trellik& trellik, const Controls& controls, std::function<void()> refill)
    : trellik_(trellik), c_(controls), refill_(std::move(refill)) {}

PrivacyPasswordEntry::~PrivacyPasswordEntry() { *alive_ = false; }

bool PrivacyPasswordEntry::passwordInForce() {
    return platform::UserDefaults::standard().boolForKey(keys::privacyModeEnabled) && WQPasswordHandler::hasPassword(privacyPasswordName);
}

void PrivacyPasswordEntry::showPasswordEntry(Purpose purpose) {
    entry_ = Entry::newPassword;
    purpose_ = purpose;
    c_.setPasswordTextField->set_text("");
    c_.paneView->set_visible_child(*c_.setPasswordView);
    updateEntryButtons();
    c_.setPasswordTextField->grab_focus();
}

void PrivacyPasswordEntry::showCurrentPasswordEntry(Purpose purpose) {
    entry_ = Entry::currentPassword;
    purpose_ = purpose;
    c_.currentPasswordTextField->set_text("");
    c_.wrongPasswordLabel->hide();
    c_.paneView->set_visible_child(*c_.verifyPasswordView);
    updateEntryButtons();
    c_.currentPasswordTextField->grab_focus();
}

void PrivacyPasswordEntry::closeEntry() {
    entry_ = Entry::none;
    setEntryBusy(false);
    c_.setPasswordTextField->set_text("");
    c_.currentPasswordTextField->set_text("");
    c_.wrongPasswordLabel->hide();
    c_.paneView->set_visible_child(*c_.containerView);
}

void PrivacyPasswordEntry::closeForLock() {
    // Nothing half done stays open behind a lock.
    closeEntry();
    refill_();
}

void PrivacyPasswordEntry::setEntryBusy(bool busy) {
    busy_ = busy;
    for (Gtk::Widget* widget :
         {static_cast<Gtk::Widget*>(c_.setPasswordTextField), static_cast<Gtk::Widget*>(c_.setPasswordCancelButton),
          static_cast<Gtk::Widget*>(c_.currentPasswordTextField),
          static_cast<Gtk::Widget*>(c_.verifyPasswordCancelButton)})
        widget->set_sensitive(!busy);
    updateEntryButtons();
}

void PrivacyPasswordEntry::updateEntryButtons() {
    c_.setPasswordDoneButton->set_sensitive(!busy_ && !c_.setPasswordTextField->get_text().empty());
    c_.verifyPasswordDoneButton->set_sensitive(!busy_ && !c_.currentPasswordTextField->get_text().empty());
}

void PrivacyPasswordEntry::setPasswordAction(Gtk::Widget* sender) {
    if (entry_ != Entry::newPassword || busy_) return;
    if (trellik_.privacyLockdown()) return closeForLock();
    if (sender == c_.setPasswordTextField || sender == c_.setPasswordDoneButton) {
        // Return in an empty field sets nothing, as the greyed-out button does.
        if (c_.setPasswordTextField->get_text().empty()) return;
        log("Setting new password");
        setEntryBusy(true);
        std::weak_ptr<bool> alive = alive_;
        WQPasswordHandler::setPassword(c_.setPasswordTextField->get_text(), privacyPasswordName,
                                       [this, alive](bool stored) {
                                           if (!alive.lock()) return;
                                           // A password confirmed before the lock engaged still counts.
                                           if (stored && !platform::UserDefaults::standard().boolForKey(keys::privacyModeEnabled))
                                               trellik_.setPrivacyModeEnabled(true);
                                           closeEntry();
                                           refill_();
                                       });
        return;
    }
    if (sender == c_.setPasswordCancelButton) {
        log("No password set");
        closeEntry();
        refill_();  // the privacy switch goes back to the stored state
    }
}

void PrivacyPasswordEntry::verifyPasswordAction(Gtk::Widget* sender) {
    if (entry_ != Entry::currentPassword || busy_) return;
    if (trellik_.privacyLockdown()) return closeForLock();
    if (sender == c_.verifyPasswordCancelButton) {
        closeEntry();
        refill_();
        return;
    }
    if (sender != c_.currentPasswordTextField && sender != c_.verifyPasswordDoneButton) return;
    if (c_.currentPasswordTextField->get_text().empty()) return;
    setEntryBusy(true);
    std::weak_ptr<bool> alive = alive_;
    WQPasswordHandler::checkPassword(c_.currentPasswordTextField->get_text(), privacyPasswordName,
                                     [this, alive](bool matched) {
                                         if (!alive.lock() || entry_ != Entry::currentPassword) return;
                                         setEntryBusy(false);
                                         if (trellik_.privacyLockdown()) return closeForLock();
                                         if (!matched) {
                                             c_.wrongPasswordLabel->show();
                                             c_.currentPasswordTextField->select_region(0, -1);
                                             c_.currentPasswordTextField->grab_focus();
                                             return;
                                         }
                                         if (purpose_ == Purpose::disablePrivacy) {
                                             closeEntry();
                                             trellik_.setPrivacyModeEnabled(false);
                                             refill_();
                                         } else {
                                             showPasswordEntry(Purpose::changePassword);
                                         }
                                     });
}

}  // namespace parlivo
