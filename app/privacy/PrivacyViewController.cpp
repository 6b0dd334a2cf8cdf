#include "privacy/PrivacyViewController.h"

#include <gtkmm/button.h>
#include <gtkmm/container.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>


#include "DebugPrint.h"
#include "WQApplicationInfo.h"
#include "WQSecureTextField.h"
#include "controls/ZOAAlertPopover.h"
#include "foundation/Localized.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "privacy/ShakableWindow.h"
#include "privacy/WQPasswordHandler.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "settings/Trellik.h"
#include "web/WebContext.h"

namespace parlivo {

namespace {

void log(std::string_view message) { tovak::debugPrint(PrivacyViewController::kClassName, message); }

// The wording travels with each key as the translators' comment; the table holds the text.
std::string text(const char* key, const char* comment) { return platform::localizedComment(key, comment); }

void defaultLogOut(std::function<void(bool)> completion) {
    if (auto delegate = Trellik::shared().webViewDelegate()) {
        delegate->handleLogOut(std::move(completion));
        return;
    }
    // No page was ever built (the configuration never came): nothing to tell a page, but what
    // an earlier run stored of the session still goes.
    platform::WebContext::shared().removeAllWebsiteData(std::move(completion));
}

}  // namespace

std::shared_ptr<PrivacyViewController> PrivacyViewController::create(Services services) {
    if (!services.logOut) services.logOut = defaultLogOut;
    auto controller = std::shared_ptr<PrivacyViewController>(new PrivacyViewController(std::move(services)));
    controller->viewDidLoad();
    return controller;
}

PrivacyViewController::PrivacyViewController(Services services)
    : services_(std::move(services)), file_(InterfaceFile::load("PrivacyViewController")) {
    view_ = file_.outlet<Gtk::Widget>("privacyView");
    passwordTextField_ = file_.derivedOutlet<tovak::WQSecureTextField>("passwordTextField");
    doneButton_ = file_.outlet<Gtk::Button>("doneButton");
    forgotButton_ = file_.outlet<Gtk::Button>("forgotButton");
    touchIDView_ = file_.outlet<Gtk::Widget>("touchIDView");
    touchIDLabel_ = file_.outlet<Gtk::Label>("touchIDLabel");
    titleLabel_ = file_.outlet<Gtk::Label>("titleLabel");
    messageLabel_ = file_.outlet<Gtk::Label>("messageLabel");
    auto* promptLabel = file_.outlet<Gtk::Label>("promptLabel");

    const std::string name = tovak::WQApplicationInfo::applicationName();
    titleLabel_->set_text(platform::localizedFormat(text("LOCK_SCREEN_TITLE", "%@ is locked"), {name}));
    promptLabel->set_text(text("LOCK_SCREEN_PROMPT", "Enter your password to unlock."));
    passwordTextField_->set_placeholder_text(text("LOCK_SCREEN_PASSWORD", "Password"));
    doneButton_->set_tooltip_text(text("LOCK_SCREEN_UNLOCK", "Unlock"));
    forgotButton_->set_label(text("LOCK_SCREEN_FORGOT", "Forgot password?"));
    touchIDLabel_->set_text(text("TOUCH_ID_UNLOCK", "[Ambrel for WhatsApp would like to ... ]"));
    // The cover is the only thing the user may reach while locked: it takes the pointer's
    // clicks as well, so the page under it never sees one.
    view_->add_events(Gdk::BUTTON_PRESS_MASK | Gdk::BUTTON_RELEASE_MASK | Gdk::SCROLL_MASK);
}

PrivacyViewController::~PrivacyViewController() {
    for (auto& connection : connections_) connection.disconnect();
    keyWindowObserver_.reset();
    touchIDSupportObserver_.reset();
    if (auto alert = forgotAlert_.lock()) alert->close();
    // The builder holds the widgets: the view goes with it once it has left the main view.
    if (auto* parent = view_->get_parent()) dynamic_cast<Gtk::Container&>(*parent).remove(*view_);
}

Gtk::Widget& PrivacyViewController::view() { return *view_; }

// --- Life cycle ---

void PrivacyViewController::viewDidLoad() {
    std::weak_ptr<PrivacyViewController> weak = weak_from_this();
    auto bind = [weak](void (PrivacyViewController::*method)()) {
        return [weak, method] {
            if (auto self = weak.lock()) (self.get()->*method)();
        };
    };
    connections_.push_back(passwordTextField_->signal_activate().connect(bind(&PrivacyViewController::checkPassword)));
    connections_.push_back(doneButton_->signal_clicked().connect(bind(&PrivacyViewController::checkPassword)));
    connections_.push_back(forgotButton_->signal_clicked().connect(bind(&PrivacyViewController::forgotButtonClicked)));
    // Mapping is the view's "did appear" (also when the window comes back from the tray);
    // unmapping its "did disappear".
    connections_.push_back(view_->signal_map().connect(bind(&PrivacyViewController::viewDidAppear)));
    connections_.push_back(view_->signal_unmap().connect(bind(&PrivacyViewController::viewDidDisappear)));
    if (view_->get_mapped()) viewDidAppear();
}

void PrivacyViewController::viewDidAppear() {
    std::weak_ptr<PrivacyViewController> weak = weak_from_this();
    keyWindowObserver_ =
        platform::NotificationCenter::defaultCenter().addObserver(names::didBecomeKeyWindow, [weak](const auto&) {
            if (auto self = weak.lock()) self->windowDidMoveToFront();
        });
    // fprintd's first answer may come after the lock: the offer that found it unknown is made
    // again once it is known.
    touchIDSupportObserver_ = tovak::WQTouchID::addSupportObserver([weak] {
        auto self = weak.lock();
        if (!self || !self->waitingForTouchIDSupport_) return;
        self->waitingForTouchIDSupport_ = false;
        self->showTouchID();
    });
    focusPasswordField();
    showTouchID();
}

void PrivacyViewController::viewDidDisappear() {
    keyWindowObserver_.reset();
    touchIDSupportObserver_.reset();
    waitingForTouchIDSupport_ = false;
}

void PrivacyViewController::windowDidMoveToFront() {
    log("WINDOW MOVED TO FRONT!");
    showTouchID();
    std::weak_ptr<PrivacyViewController> weak = weak_from_this();
    // The window settles first; then the field takes the focus.
    platform::MainQueue::after(0.2, [weak] {
        if (auto self = weak.lock()) self->focusPasswordField();
    });
}

void PrivacyViewController::focusPasswordField() {
    auto* window = dynamic_cast<Gtk::Window*>(view_->get_toplevel());
    if (!window || !passwordTextField_->is_sensitive()) return;
    passwordTextField_->grab_focus();
}

// --- Password ---

void PrivacyViewController::checkPassword() {
    // One check at a time; a second Return while the first hashes would only repeat it.
    if (checkingPassword_) return;
    checkingPassword_ = true;
    updateInputState();
    std::weak_ptr<PrivacyViewController> weak = weak_from_this();
    WQPasswordHandler::checkPassword(passwordTextField_->get_text(), std::string(keys::privacyPassword),
                                     [weak](bool matched) {
                                         auto self = weak.lock();
                                         // Gone: the lock was released another way meanwhile.
                                         if (!self) return;
                                         self->checkingPassword_ = false;
                                         self->updateInputState();
                                         if (!matched) {
                                             self->passwordDidNotMatch();
                                             return;
                                         }
                                         // Ends a fingerprint verification that may still run.
                                         self->touchID_.cancel();
                                         Trellik::shared().setPrivacyLockdown(false);
                                     });
}

void PrivacyViewController::passwordDidNotMatch() {
    log("Wrong password");
    if (auto* window = dynamic_cast<ShakableWindow*>(view_->get_toplevel())) window->shake();
    // The typed text stays, selected, so the next try simply types over it.
    focusPasswordField();
    passwordTextField_->select_region(0, -1);
    showTouchID();
}

// --- Fingerprint ---

void PrivacyViewController::showTouchID() {
    log("Show TouchID 1");
    auto* window = dynamic_cast<Gtk::Window*>(view_->get_toplevel());
    if (!window || !window->get_visible() || !window->is_active()) return;
    log("Show TouchID 2");
    // The reader is listening already: that is the offer.
    if (didShowTouchID_) return;
    log("Show TouchID 3");
    if (!platform::UserDefaults::standard().boolForKey(keys::privacyModeTouchIDEnabled)) return;
    if (!touchID_.supported()) {
        waitingForTouchIDSupport_ = !tovak::WQTouchID::cachedSupported().has_value();
        return;
    }
    log("Show TouchID 4");
    std::weak_ptr<PrivacyViewController> weak = weak_from_this();
    didShowTouchID_ = touchID_.authenticate(touchIDLabel_->get_text(), [weak](bool success) {
        if (auto self = weak.lock()) self->touchIDDidFinish(success);
    });
    touchIDView_->set_visible(didShowTouchID_);
}

void PrivacyViewController::touchIDDidFinish(bool success) {
    didShowTouchID_ = false;
    touchIDView_->set_visible(false);
    // A failure or a cancel leaves the password field as the way in.
    if (success) Trellik::shared().setPrivacyLockdown(false);
}

// --- Forgotten password ---

void PrivacyViewController::forgotButtonClicked() {
    if (auto open = forgotAlert_.lock(); loggingOut_ || (open && open->isShown())) return;
    const std::string name = tovak::WQApplicationInfo::applicationName();
    ZOAAlert alert;
    alert.messageText = text("FORGOT_PASSWORD_HEADER", "Disable privacy?");
    alert.informativeText = platform::localizedFormat(
        text("FORGOT_PASSWORD_BODY", "If you proceed, the privacy mode of %@ will be disabled. To protect your privacy "
                                     "%@ will be logged out of the %@ service after that."),
        {name, name, "WhatsApp"});
    alert.buttons = {text("FORGOT_PASSWORD_PROCEED", "Proceed"), text("FORGOT_PASSWORD_CANCEL", "Cancel")};
    alert.style = ZOAAlert::Style::critical;
    std::weak_ptr<PrivacyViewController> weak = weak_from_this();
    forgotAlert_ = ZOAAlertPopover::showWithAlert(
        std::move(alert),
        [weak](int response) {
            auto self = weak.lock();
            if (!self || response != ZOAAlertPopover::firstButtonReturn || self->loggingOut_) return;
            log("Disabling privacy mode");
            self->loggingOut_ = true;
            self->messageLabel_->set_visible(false);
            self->updateInputState();
            // The lock goes only once the page is logged out and its data removed: a release
            // before that would show the session of the user who forgot the password.
            self->services_.logOut([weak](bool completed) {
                if (completed) {
                    auto& trellik = Trellik::shared();
                    trellik.setPrivacyLockdown(false);
                    trellik.setPrivacyModeEnabled(false);
                }
                if (auto self = weak.lock()) self->logOutDidFinish(completed);
            });
        },
        Gdk::Rectangle(), *forgotButton_, ZOAAlertPopover::RectEdge::maxY);
}

void PrivacyViewController::logOutDidFinish(bool completed) {
    loggingOut_ = false;
    updateInputState();
    if (completed) return;
    platform::systemLog("The log-out did not complete; the privacy lock stays", platform::LogLevel::warning);
    showMessage(text("FORGOT_PASSWORD_FAILED", "The log-out could not be completed, so the lock stays. Please try again."));
}

void PrivacyViewController::showMessage(const std::string& message) {
    messageLabel_->set_text(message);
    messageLabel_->set_visible(true);
}

void PrivacyViewController::updateInputState() {
    // While a check or the log-out runs the field keeps its focus and text but takes no input.
    passwordTextField_->set_editable(!checkingPassword_ && !loggingOut_);
    doneButton_->set_sensitive(!checkingPassword_ && !loggingOut_);
    forgotButton_->set_sensitive(!loggingOut_);
}

}  // namespace parlivo
