#pragma once

#include <functional>
#include <memory>

#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/stack.h>

namespace tovak {
class WQSecureTextField;
}

namespace parlivo {

class Trellik;

// The privacy pane's password flow: the entry of a new password (privacy mode goes on, or the
// password changes, only once one is confirmed) and of the current one (asked for first while a
// password is in force). The entries take the pane's place in its stack while open. Passwords are
// hashed and checked by WQPasswordHandler off the main thread; meanwhile the entry waits, and an
// answer that comes after the entry is gone is dropped. A lock engaging closes the entry. Main
// thread only.
class PrivacyPasswordEntry {
public:
    // What the pane shows in place of its content.
    enum class Entry { none, newPassword, currentPassword };
    // Why the entry is open.
    enum class Purpose { enablePrivacy, changePassword, disablePrivacy };

    // The pane's widgets the flow works with.
    struct Controls {
        Gtk::Stack* paneView = nullptr;
        Gtk::Widget* containerView = nullptr;  // the pane's content, shown while no entry is open
        Gtk::Widget* setPasswordView = nullptr;
        tovak::WQSecureTextField* setPasswordTextField = nullptr;
        Gtk::Button* setPasswordDoneButton = nullptr;
        Gtk::Button* setPasswordCancelButton = nullptr;
        Gtk::Widget* verifyPasswordView = nullptr;
        tovak::WQSecureTextField* currentPasswordTextField = nullptr;
        Gtk::Label* wrongPasswordLabel = nullptr;
        Gtk::Button* verifyPasswordDoneButton = nullptr;
        Gtk::Button* verifyPasswordCancelButton = nullptr;
    };

    // `refill` fills the pane's controls from the settings again (after a change, a cancel or a
    // lock).
    PrivacyPasswordEntry(Trellik& trellik, const Controls& controls, std::function<void()> refill);
    ~PrivacyPasswordEntry();
    PrivacyPasswordEntry(const PrivacyPasswordEntry&) = delete;
    PrivacyPasswordEntry& operator=(const PrivacyPasswordEntry&) = delete;

    Entry entry() const { return entry_; }
    // A password is being hashed or checked; the entry's controls wait meanwhile.
    bool isBusy() const { return busy_; }

    // Privacy mode is on and a password is stored: changes need the current password.
    static bool passwordInForce();

    // Opens the entry of a new password, or of the current one, for `purpose`.
    void showPasswordEntry(Purpose purpose);
    void showCurrentPasswordEntry(Purpose purpose);
    // Closes whatever entry is open and shows the pane's content.
    void closeEntry();
    // A password is never empty: the confirm buttons wait for a first character.
    void updateEntryButtons();

    // The entries' actions; each looks at its sender and ignores one it does not know.
    void setPasswordAction(Gtk::Widget* sender);
    void verifyPasswordAction(Gtk::Widget* sender);

private:
    void setEntryBusy(bool busy);
    // The lock engaged while the entry was open.
    void closeForLock();

    Trellik& trellik_;
    Controls c_;
    std::function<void()> refill_;
    Entry entry_ = Entry::none;
    Purpose purpose_ = Purpose::enablePrivacy;
    bool busy_ = false;
    // Answers of the password worker reach the entry only while it exists.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace parlivo
