#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/comboboxtext.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/scale.h>
#include <gtkmm/stack.h>

#include "foundation/ObserverToken.h"
#include "preferences/PaneSupport.h"
#include "preferences/PrivacyPasswordEntry.h"
#include "shell/PreferencesPane.h"

namespace tovak {
class WQSecureTextField;
}

namespace parlivo {

class InfoButton;
class QORSwitch;
class Trellik;

// The second preference pane: privacy mode and its password, the idle time before the lock,
// fingerprint unlocking, what notifications may show while locked, and stealth mode with its
// opacity. Privacy mode goes on only through a confirmed password entry (PrivacyPasswordEntry).
// While a password is in force (privacy mode on, a password stored), changing it or switching
// privacy mode off first asks for it. While the program is locked the whole pane is inert. Every fill blocks the
// controls' own handlers, so filling never writes a setting. Main thread only.
class PreferencesPrivacy : public PreferencesPane {
public:
    static constexpr const char* viewIdentifier = "Privacy";
    static constexpr const char* interfaceFile = "PreferencesPrivacy";
    // Icon names of the lock picture.
    static constexpr const char* lockedImage = "changes-prevent-symbolic";
    static constexpr const char* unlockedImage = "changes-allow-symbolic";

    struct Services {
        // Asks, without waiting, whether fingerprints can unlock here; default: WQTouchID's
        // cached question to fprintd.
        std::function<void(std::function<void(bool)>)> checkTouchIDSupported;
    };

    // The stack and the password entries' widgets (PrivacyPasswordEntry::Controls), then the
    // pane's own.
    struct Outlets : PrivacyPasswordEntry::Controls {
        Gtk::Image* privacyImageView = nullptr;
        QORSwitch* privacyEnableSwitch = nullptr;
        Gtk::ComboBoxText* lockAfterPopUpButton = nullptr;
        Gtk::Button* privacyResetPasswordButton = nullptr;
        Gtk::CheckButton* privacyEnableTouchIDButton = nullptr;
        Gtk::CheckButton* privacyDesktopNotificationButton = nullptr;
        Gtk::CheckButton* privacyDesktopNotificationShowSenderButton = nullptr;
        Gtk::CheckButton* privacyDesktopNotificationShowSenderPictureButton = nullptr;
        Gtk::CheckButton* privacyDesktopNotificationShowMessagePreviewButton = nullptr;
        Gtk::CheckButton* privacyDesktopNotificationPlayAudioButton = nullptr;
        Gtk::CheckButton* privacyMenuBarNotificationButton = nullptr;
        Gtk::CheckButton* privacyDockIconNotificationButton = nullptr;
        QORSwitch* privacyStealthModeEnabledSwitch = nullptr;
        Gtk::Scale* privacyStealthModeSlider = nullptr;
        Gtk::CheckButton* privacyShowChatContentMouseOver = nullptr;
        InfoButton* stealthModeHelpButton = nullptr;
        // Whether the page may use the microphone / the camera (unchecked: refused, or not asked yet).
        Gtk::CheckButton* pageMicrophoneButton = nullptr;
        Gtk::CheckButton* pageCameraButton = nullptr;
    };

    // What the pane shows in place of its content.
    using Entry = PrivacyPasswordEntry::Entry;

    PreferencesPrivacy(Trellik& trellik, Services services = {});
    ~PreferencesPrivacy() override;

    // PreferencesPane
    std::string paneIdentifier() const override { return viewIdentifier; }
    std::string toolbarItemLabel() const override;
    std::string toolbarItemImage() const override { return "system-lock-screen"; }
    Gtk::Widget& view() override { return *view_; }
    void viewWillAppear() override;
    void viewDidDisappear() override;
    bool hasResizableWidth() const { return false; }
    bool hasResizableHeight() const { return false; }

    const Outlets& outlets() const { return outlets_; }
    const std::string& privacyImageName() const { return privacyImageName_; }
    Entry entry() const { return passwordEntry_->entry(); }
    // A password is being hashed or checked; the entry's controls wait meanwhile.
    bool isBusy() const { return passwordEntry_->isBusy(); }

    void fillControls();

    // The controls' actions; each looks at its sender and ignores one it does not know.
    void privacyEnabledSwitched(QORSwitch& sender);
    void privacyStealthModeEnabledSwitched(QORSwitch& sender);
    void setPasswordAction(Gtk::Widget* sender);
    void verifyPasswordAction(Gtk::Widget* sender);
    void popUpButtonChanged(Gtk::ComboBox* sender);
    void sliderChanged(Gtk::Range* sender);
    void buttonClicked(Gtk::Widget* sender);

private:
    // The check boxes that each show one setting.
    static const SettingBox<Outlets> settingBoxes[];

    void setUpControls();
    bool locked() const;
    void lockChanged();

    Trellik& trellik_;
    Services services_;
    PaneSupport support_;
    std::unique_ptr<Gtk::Widget> view_;
    Outlets outlets_;
    std::string privacyImageName_;
    bool touchIDSupported_ = false;
    std::unique_ptr<PrivacyPasswordEntry> passwordEntry_;
    platform::ObserverToken privacyObserver_;
    // Answers of fprintd reach the pane only while it exists.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace parlivo
