#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include <sigc++/connection.h>

#include "WQTouchID.h"
#include "controls/InterfaceFile.h"
#include "foundation/ObserverToken.h"

namespace Gtk {
class Button;
class Label;
class Widget;
}  // namespace Gtk
namespace tovak {
class WQSecureTextField;
}

namespace parlivo {

class ZOAAlertPopover;

// The lock screen: the cover over the whole main view while the privacy lock is engaged. It
// takes the password (checked by WQPasswordHandler on a worker), offers the fingerprint through
// fprintd whenever its window is the active one, shakes the window after a wrong password, and
// leads out through a log-out when the password is forgotten. Its own unlock releases the lock
// through the settings model, which posts "kPrivacyChanged"; the main view controller then takes
// the cover away. Main thread only.
//
// fprintd shows nothing of its own, so the screen says when the reader is listening. A running
// verification is the fingerprint offer: further offers (the window becoming active again, a
// wrong password) leave it running instead of starting a second one.
class PrivacyViewController : public std::enable_shared_from_this<PrivacyViewController> {
public:
    static constexpr std::string_view kClassName = "PrivacyViewController";

    // What the lock screen reaches outside itself; tests replace parts.
    struct Services {
        // Logs the page out and removes its website data; `completion` runs once, later, with
        // true only when both have completed. Default: the settings model's web-view delegate, or,
        // without one (no page was ever built), the removal of the website data alone.
        std::function<void(std::function<void(bool completed)> completion)> logOut;
    };

    static std::shared_ptr<PrivacyViewController> create(Services services = {});
    ~PrivacyViewController();
    PrivacyViewController(const PrivacyViewController&) = delete;
    PrivacyViewController& operator=(const PrivacyViewController&) = delete;

    Gtk::Widget& view();

    // Checks the typed password: a match releases the lock, a mismatch shakes the window and
    // offers the fingerprint again. Return in the field and the done button run it.
    void checkPassword();
    // Offers the fingerprint: only while the view's window is active, "privacyModeTouchIDEnabled"
    // is on and fprintd has a reader with an enrolled finger. A match releases the lock.
    void showTouchID();
    void focusPasswordField();
    // The main window became active ("kNotifyDidBecomeKeyWindow"): offer the fingerprint, and
    // give the password field the focus once the window has settled.
    void windowDidMoveToFront();
    // "Forgot password?": asks in a popover whether to switch privacy off; Proceed logs the page
    // out and releases the lock only once the log-out has completed.
    void forgotButtonClicked();

    // --- State, for the owner and tests ---
    tovak::WQSecureTextField& passwordTextField() { return *passwordTextField_; }
    Gtk::Button& doneButton() { return *doneButton_; }
    Gtk::Button& forgotButton() { return *forgotButton_; }
    // A fingerprint verification is running (the screen says the reader listens).
    bool didShowTouchID() const { return didShowTouchID_; }
    bool isCheckingPassword() const { return checkingPassword_; }
    bool isLoggingOut() const { return loggingOut_; }
    // The forgot-password popover while it is open.
    std::shared_ptr<ZOAAlertPopover> forgotPasswordAlert() const { return forgotAlert_.lock(); }
    Gtk::Widget& touchIDView() { return *touchIDView_; }
    Gtk::Label& messageLabel() { return *messageLabel_; }

private:
    explicit PrivacyViewController(Services services);
    void viewDidLoad();
    void viewDidAppear();
    void viewDidDisappear();
    void passwordDidNotMatch();
    void touchIDDidFinish(bool success);
    void logOutDidFinish(bool completed);
    void showMessage(const std::string& text);
    void updateInputState();

    Services services_;
    tovak::WQTouchID touchID_;
    bool didShowTouchID_ = false;
    bool waitingForTouchIDSupport_ = false;
    bool checkingPassword_ = false;
    bool loggingOut_ = false;

    Gtk::Widget* view_ = nullptr;
    tovak::WQSecureTextField* passwordTextField_ = nullptr;
    Gtk::Button* doneButton_ = nullptr;
    Gtk::Button* forgotButton_ = nullptr;
    Gtk::Widget* touchIDView_ = nullptr;
    Gtk::Label* touchIDLabel_ = nullptr;
    Gtk::Label* titleLabel_ = nullptr;
    Gtk::Label* messageLabel_ = nullptr;

    std::weak_ptr<ZOAAlertPopover> forgotAlert_;
    std::vector<sigc::connection> connections_;
    platform::ObserverToken keyWindowObserver_;
    platform::ObserverToken touchIDSupportObserver_;
    // Holds the widgets; the first member to go, once the view has left the main view.
    InterfaceFile file_;
};

}  // namespace parlivo
