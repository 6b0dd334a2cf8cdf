#include "preferences/PreferencesPrivacy.h"

#include "DebugPrint.h"
#include "WQSecureTextField.h"
#include "WQTouchID.h"
#include "controls/DadizSliderCell.h"
#include "controls/InfoButton.h"
#include "controls/QORSwitch.h"
#include "foundation/Localized.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "privacy/WQPasswordHandler.h"
#include "settings/Enums.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "settings/Trellik.h"
#include "web/PagePermissions.h"

namespace parlivo {

namespace {

constexpr std::string_view kClassName = "PreferencesPrivacy";

void log(std::string_view message) { tovak::debugPrint(kClassName, message); }

std::string lockAfterTitle(PrivacyTimeInterval interval) {
    switch (interval) {
        case PrivacyTimeInterval::oneMinute: return platform::localized("ONE_MINUTE", "One minute");
        case PrivacyTimeInterval::fiveMinutes: return platform::localized("FIVE_MINUTES", "5 minutes");
        case PrivacyTimeInterval::tenMinutes: return platform::localized("TEN_MINUTES", "10 minutes");
        case PrivacyTimeInterval::halfHour: return platform::localized("THIRTY_MINUTES", "30 minutes");
        case PrivacyTimeInterval::oneHour: return platform::localized("ONE_HOUR", "One hour");
    }
    return {};
}

const std::string privacyPasswordName(keys::privacyPassword);

}  // namespace

const SettingBox<PreferencesPrivacy::Outlets> PreferencesPrivacy::settingBoxes[] = {
    {&Outlets::privacyEnableTouchIDButton, keys::privacyModeTouchIDEnabled},
    {&Outlets::privacyDesktopNotificationButton, keys::privacyDesktopNotificationsEnabled, nullptr,
     &Trellik::setPrivacyDesktopNotificationsEnabled},
    {&Outlets::privacyDesktopNotificationShowSenderButton, keys::privacyDesktopNotificationsShowSender},
    {&Outlets::privacyDesktopNotificationShowSenderPictureButton, keys::privacyDesktopNotificationsShowSenderImage,
     &Trellik::privacyShowSenderImage},
    {&Outlets::privacyDesktopNotificationShowMessagePreviewButton, keys::privacyDesktopNotificationsShowPreview},
    {&Outlets::privacyDesktopNotificationPlayAudioButton, keys::privacyDesktopNotificationsPlayAudio},
    {&Outlets::privacyMenuBarNotificationButton, keys::privacyMenuBarNotification},
    {&Outlets::privacyDockIconNotificationButton, keys::privacyDockIconNotification},
    {&Outlets::privacyShowChatContentMouseOver, keys::privacyStealthModeShowContentOnMouseOver, nullptr,
     &Trellik::setPrivacyStealthModeShowContentOnMouseOver},
    {&Outlets::pageMicrophoneButton, pagepermissions::settingKey(pagepermissions::MediaKind::microphone)},
    {&Outlets::pageCameraButton, pagepermissions::settingKey(pagepermissions::MediaKind::camera)},
};

PreferencesPrivacy::PreferencesPrivacy(Trellik& trellik, Services services)
    : trellik_(trellik), services_(std::move(services)), support_(trellik, interfaceFile, [this] { fillControls(); }) {
    if (!services_.checkTouchIDSupported) services_.checkTouchIDSupported = &tovak::WQTouchID::checkSupported;
    touchIDSupported_ = tovak::WQTouchID::cachedSupported().value_or(false);

    view_.reset(support_.file().outlet<Gtk::Widget>("paneView"));
    o_.paneView = support_.file().outlet<Gtk::Stack>("paneView");
    o_.containerView = support_.file().outlet<Gtk::Widget>("containerView");
    o_.setPasswordView = support_.file().outlet<Gtk::Widget>("setPasswordView");
    o_.setPasswordTextField = support_.file().derivedOutlet<tovak::WQSecureTextField>("setPasswordTextField");
    o_.setPasswordDoneButton = support_.file().outlet<Gtk::Button>("setPasswordDoneButton");
    o_.setPasswordCancelButton = support_.file().outlet<Gtk::Button>("setPasswordCancelButton");
    o_.verifyPasswordView = support_.file().outlet<Gtk::Widget>("verifyPasswordView");
    o_.currentPasswordTextField = support_.file().derivedOutlet<tovak::WQSecureTextField>("currentPasswordTextField");
    o_.wrongPasswordLabel = support_.file().outlet<Gtk::Label>("wrongPasswordLabel");
    o_.verifyPasswordDoneButton = support_.file().outlet<Gtk::Button>("verifyPasswordDoneButton");
    o_.verifyPasswordCancelButton = support_.file().outlet<Gtk::Button>("verifyPasswordCancelButton");
    o_.privacyImageView = support_.file().outlet<Gtk::Image>("privacyImageView");
    o_.lockAfterPopUpButton = support_.file().outlet<Gtk::ComboBoxText>("lockAfterPopUpButton");
    o_.privacyResetPasswordButton = support_.file().outlet<Gtk::Button>("privacyResetPasswordButton");
    o_.privacyEnableTouchIDButton = support_.file().outlet<Gtk::CheckButton>("privacyEnableTouchIDButton");
    o_.privacyDesktopNotificationButton = support_.file().outlet<Gtk::CheckButton>("privacyDesktopNotificationButton");
    o_.privacyDesktopNotificationShowSenderButton =
        support_.file().outlet<Gtk::CheckButton>("privacyDesktopNotificationShowSenderButton");
    o_.privacyDesktopNotificationShowSenderPictureButton =
        support_.file().outlet<Gtk::CheckButton>("privacyDesktopNotificationShowSenderPictureButton");
    o_.privacyDesktopNotificationShowMessagePreviewButton =
        support_.file().outlet<Gtk::CheckButton>("privacyDesktopNotificationShowMessagePreviewButton");
    o_.privacyDesktopNotificationPlayAudioButton =
        support_.file().outlet<Gtk::CheckButton>("privacyDesktopNotificationPlayAudioButton");
    o_.privacyMenuBarNotificationButton = support_.file().outlet<Gtk::CheckButton>("privacyMenuBarNotificationButton");
    o_.privacyDockIconNotificationButton = support_.file().outlet<Gtk::CheckButton>("privacyDockIconNotificationButton");
    o_.privacyStealthModeSlider = support_.file().outlet<Gtk::Scale>("privacyStealthModeSlider");
    o_.privacyShowChatContentMouseOver = support_.file().outlet<Gtk::CheckButton>("privacyShowChatContentMouseOver");
    o_.pageMicrophoneButton = support_.file().outlet<Gtk::CheckButton>("pageMicrophoneButton");
    o_.pageCameraButton = support_.file().outlet<Gtk::CheckButton>("pageCameraButton");

    // Our own controls take the places the layout keeps for them.
    auto place = [this](const char* container, Gtk::Widget& widget, const char* label) {
        support_.file().outlet<Gtk::Box>(container)->pack_start(widget, Gtk::PACK_SHRINK);
        widget.show();
        if (label) {
            auto* text = support_.file().outlet<Gtk::Label>(label);
            text->set_mnemonic_widget(widget);
            widget.get_accessible()->set_name(text->get_text());
        }
    };
    o_.privacyEnableSwitch = Gtk::manage(new QORSwitch());
    place("privacyEnableSwitchContainer", *o_.privacyEnableSwitch, "privacyEnableLabel");
    o_.privacyStealthModeEnabledSwitch = Gtk::manage(new QORSwitch());
    place("privacyStealthModeEnabledSwitchContainer", *o_.privacyStealthModeEnabledSwitch, "privacyStealthModeLabel");
    o_.stealthModeHelpButton = Gtk::manage(new InfoButton(18));
    o_.stealthModeHelpButton->setContent(platform::localized(
        "STEALTH_MODE_HELP",
        "Stealth mode blurs the chats and makes the window see-through, so people around you cannot read "
        "them. Set how much shows with the opacity slider; the chats can show while the pointer is over the "
        "window."));
    place("stealthModeHelpContainer", *o_.stealthModeHelpButton, nullptr);
    DadizSliderCell::attach(*o_.privacyStealthModeSlider);

    support_.addControlHandler(o_.privacyEnableSwitch->signalAction().connect(
        [this](QORSwitch& sender) { privacyEnabledSwitched(sender); }));
    support_.addControlHandler(o_.privacyStealthModeEnabledSwitch->signalAction().connect(
        [this](QORSwitch& sender) { privacyStealthModeEnabledSwitched(sender); }));
    support_.addControlHandler(
        o_.setPasswordTextField->signal_activate().connect([this] { setPasswordAction(o_.setPasswordTextField); }));
    for (Gtk::Button* button : {o_.setPasswordDoneButton, o_.setPasswordCancelButton})
        support_.addControlHandler(button->signal_clicked().connect([this, button] { setPasswordAction(button); }));
    support_.addControlHandler(o_.currentPasswordTextField->signal_activate().connect(
        [this] { verifyPasswordAction(o_.currentPasswordTextField); }));
    for (Gtk::Button* button : {o_.verifyPasswordDoneButton, o_.verifyPasswordCancelButton})
        support_.addControlHandler(button->signal_clicked().connect([this, button] { verifyPasswordAction(button); }));
    // A password is never empty: the entries' confirm buttons wait for a first character.
    for (tovak::WQSecureTextField* field : {o_.setPasswordTextField, o_.currentPasswordTextField})
        support_.addControlHandler(field->signal_changed().connect([this] { updateEntryButtons(); }));
    support_.addControlHandler(o_.lockAfterPopUpButton->signal_changed().connect(
        [this] { popUpButtonChanged(o_.lockAfterPopUpButton); }));
    support_.addControlHandler(o_.privacyStealthModeSlider->signal_value_changed().connect(
        [this] { sliderChanged(o_.privacyStealthModeSlider); }));
    support_.addControlHandler(
        o_.privacyResetPasswordButton->signal_clicked().connect([this] { buttonClicked(o_.privacyResetPasswordButton); }));
    for (const auto& setting : settingBoxes) {
        Gtk::CheckButton* box = o_.*setting.control;
        support_.addControlHandler(box->signal_toggled().connect([this, box] { buttonClicked(box); }));
    }

    // The lock engaging or releasing changes what may be touched here.
    privacyObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
        names::privacyChanged, [this](const platform::Notification&) { lockChanged(); });

    setUpControls();
    fillControls();
    updateEntryButtons();
}

PreferencesPrivacy::~PreferencesPrivacy() {
    *alive_ = false;
    privacyObserver_.reset();
    support_.resignSettingsDelegate();
}

std::string PreferencesPrivacy::toolbarItemLabel() const {
    return platform::localized("PREFERENCES_PRIVACY", "Privacy");
}

void PreferencesPrivacy::setUpControls() {
    support_.fillBlocked([this] {
        for (PrivacyTimeInterval interval : allCases<PrivacyTimeInterval>())
            o_.lockAfterPopUpButton->append(std::to_string(rawValue(interval)), lockAfterTitle(interval));
    });
}

void PreferencesPrivacy::viewWillAppear() {
    support_.becomeSettingsDelegate();
    fillControls();
    std::weak_ptr<bool> alive = alive_;
    services_.checkTouchIDSupported([this, alive](bool supported) {
        if (!alive.lock() || supported == touchIDSupported_) return;
        touchIDSupported_ = supported;
        fillControls();
    });
}

void PreferencesPrivacy::viewDidDisappear() { support_.resignSettingsDelegate(); }

bool PreferencesPrivacy::locked() const { return trellik_.boolSetting(keys::privacyLockdown); }

bool PreferencesPrivacy::passwordInForce() const {
    return trellik_.boolSetting(keys::privacyModeEnabled) && WQPasswordHandler::hasPassword(privacyPasswordName);
}

void PreferencesPrivacy::lockChanged() {
    // Nothing half done stays open behind a lock.
    if (locked() && entry_ != Entry::none) closeEntry();
    fillControls();
}

void PreferencesPrivacy::fillControls() {
    support_.fillBlocked([this] {
        const bool privacy = trellik_.boolSetting(keys::privacyModeEnabled);
        o_.privacyEnableSwitch->setChecked(privacy);
        privacyImageName_ = privacy ? lockedImage : unlockedImage;
        o_.privacyImageView->set_from_icon_name(privacyImageName_, Gtk::ICON_SIZE_DIALOG);

        o_.lockAfterPopUpButton->set_active_id(std::to_string(rawValue(trellik_.currentLockAfter())));

        support_.fillSettingBoxes(o_, settingBoxes);

        o_.privacyStealthModeEnabledSwitch->setChecked(trellik_.privacyStealthModeActive());
        o_.privacyStealthModeSlider->set_value(platform::UserDefaults::standard().doubleForKey(keys::privacyStealthModeAlpha));

        // Grey-out rules, from the settings as they are now.
        const bool desktopNotifications = trellik_.boolSetting(keys::privacyDesktopNotificationsEnabled);
        o_.lockAfterPopUpButton->set_sensitive(privacy);
        o_.privacyResetPasswordButton->set_sensitive(privacy);
        o_.privacyDesktopNotificationButton->set_sensitive(privacy);
        o_.privacyEnableTouchIDButton->set_sensitive(privacy && touchIDSupported_);
        for (Gtk::CheckButton* detail :
             {o_.privacyDesktopNotificationShowSenderButton, o_.privacyDesktopNotificationShowSenderPictureButton,
              o_.privacyDesktopNotificationShowMessagePreviewButton, o_.privacyDesktopNotificationPlayAudioButton})
            detail->set_sensitive(privacy && desktopNotifications);
        o_.privacyMenuBarNotificationButton->set_sensitive(privacy && trellik_.boolSetting(keys::showMenuBarIcon));
        o_.privacyDockIconNotificationButton->set_sensitive(privacy && trellik_.boolSetting(keys::showDockIcon));
        // Stealth mode works with or without privacy mode; only the lock stops everything.
        o_.paneView->set_sensitive(!locked());
    });
}

// --- The password entries ---

void PreferencesPrivacy::showPasswordEntry(Purpose purpose) {
    entry_ = Entry::newPassword;
    purpose_ = purpose;
    o_.setPasswordTextField->set_text("");
    o_.paneView->set_visible_child(*o_.setPasswordView);
    updateEntryButtons();
    o_.setPasswordTextField->grab_focus();
}

void PreferencesPrivacy::showCurrentPasswordEntry(Purpose purpose) {
    entry_ = Entry::currentPassword;
    purpose_ = purpose;
    o_.currentPasswordTextField->set_text("");
    o_.wrongPasswordLabel->hide();
    o_.paneView->set_visible_child(*o_.verifyPasswordView);
    updateEntryButtons();
    o_.currentPasswordTextField->grab_focus();
}

void PreferencesPrivacy::closeEntry() {
    entry_ = Entry::none;
    setEntryBusy(false);
    o_.setPasswordTextField->set_text("");
    o_.currentPasswordTextField->set_text("");
    o_.wrongPasswordLabel->hide();
    o_.paneView->set_visible_child(*o_.containerView);
}

void PreferencesPrivacy::setEntryBusy(bool busy) {
    busy_ = busy;
    for (Gtk::Widget* widget :
         {static_cast<Gtk::Widget*>(o_.setPasswordTextField), static_cast<Gtk::Widget*>(o_.setPasswordCancelButton),
          static_cast<Gtk::Widget*>(o_.currentPasswordTextField),
          static_cast<Gtk::Widget*>(o_.verifyPasswordCancelButton)})
        widget->set_sensitive(!busy);
    updateEntryButtons();
}

void PreferencesPrivacy::updateEntryButtons() {
    o_.setPasswordDoneButton->set_sensitive(!busy_ && !o_.setPasswordTextField->get_text().empty());
    o_.verifyPasswordDoneButton->set_sensitive(!busy_ && !o_.currentPasswordTextField->get_text().empty());
}

void PreferencesPrivacy::setPasswordAction(Gtk::Widget* sender) {
    if (entry_ != Entry::newPassword || busy_) return;
    if (locked()) return lockChanged();
    if (sender == o_.setPasswordTextField || sender == o_.setPasswordDoneButton) {
        // Return in an empty field sets nothing, as the greyed-out button does.
        if (o_.setPasswordTextField->get_text().empty()) return;
        log("Setting new password");
        setEntryBusy(true);
        std::weak_ptr<bool> alive = alive_;
        WQPasswordHandler::setPassword(o_.setPasswordTextField->get_text(), privacyPasswordName,
                                       [this, alive](bool stored) {
                                           if (!alive.lock()) return;
                                           // A password confirmed before the lock engaged still counts.
                                           if (stored && !trellik_.boolSetting(keys::privacyModeEnabled))
                                               trellik_.setPrivacyModeEnabled(true);
                                           closeEntry();
                                           fillControls();
                                       });
        return;
    }
    if (sender == o_.setPasswordCancelButton) {
        log("No password set");
        closeEntry();
        fillControls();  // the privacy switch goes back to the stored state
    }
}

void PreferencesPrivacy::verifyPasswordAction(Gtk::Widget* sender) {
    if (entry_ != Entry::currentPassword || busy_) return;
    if (locked()) return lockChanged();
    if (sender == o_.verifyPasswordCancelButton) {
        closeEntry();
        fillControls();
        return;
    }
    if (sender != o_.currentPasswordTextField && sender != o_.verifyPasswordDoneButton) return;
    if (o_.currentPasswordTextField->get_text().empty()) return;
    setEntryBusy(true);
    std::weak_ptr<bool> alive = alive_;
    WQPasswordHandler::checkPassword(o_.currentPasswordTextField->get_text(), privacyPasswordName,
                                     [this, alive](bool matched) {
                                         if (!alive.lock() || entry_ != Entry::currentPassword) return;
                                         setEntryBusy(false);
                                         if (locked()) return lockChanged();
                                         if (!matched) {
                                             o_.wrongPasswordLabel->show();
                                             o_.currentPasswordTextField->select_region(0, -1);
                                             o_.currentPasswordTextField->grab_focus();
                                             return;
                                         }
                                         if (purpose_ == Purpose::disablePrivacy) {
                                             closeEntry();
                                             trellik_.setPrivacyModeEnabled(false);
                                             fillControls();
                                         } else {
                                             showPasswordEntry(Purpose::changePassword);
                                         }
                                     });
}

// --- The content's controls ---

void PreferencesPrivacy::privacyEnabledSwitched(QORSwitch& sender) {
    if (&sender != o_.privacyEnableSwitch) return;
    if (locked()) return fillControls();
    if (sender.checked()) {
        // Privacy stays off until a password is confirmed.
        showPasswordEntry(Purpose::enablePrivacy);
    } else if (passwordInForce()) {
        showCurrentPasswordEntry(Purpose::disablePrivacy);
    } else {
        trellik_.setPrivacyModeEnabled(false);
    }
}

void PreferencesPrivacy::privacyStealthModeEnabledSwitched(QORSwitch& sender) {
    if (&sender != o_.privacyStealthModeEnabledSwitch) return;
    if (locked()) return fillControls();
    trellik_.setPrivacyStealthModeActive(sender.checked());
}

void PreferencesPrivacy::popUpButtonChanged(Gtk::ComboBox* sender) {
    if (sender != o_.lockAfterPopUpButton || locked()) return;
    const std::string id = o_.lockAfterPopUpButton->get_active_id();
    if (id.empty()) return;
    std::int64_t seconds = 0;
    try {
        seconds = std::stoll(id);
    } catch (const std::exception&) {
        return;
    }
    if (auto interval = fromRaw<PrivacyTimeInterval>(seconds)) trellik_.setPrivacyLockAfter(*interval);
}

void PreferencesPrivacy::sliderChanged(Gtk::Range* sender) {
    if (sender != o_.privacyStealthModeSlider || locked()) return;
    trellik_.setPrivacyStealthModeAlpha(o_.privacyStealthModeSlider->get_value());
}

void PreferencesPrivacy::buttonClicked(Gtk::Widget* sender) {
    if (locked()) return fillControls();
    if (const auto* setting = PaneSupport::settingBoxOf(sender, o_, settingBoxes)) {
        auto* box = dynamic_cast<Gtk::ToggleButton*>(sender);
        return support_.storeSettingBox(*setting, box && box->get_active());
    }
    if (sender == o_.privacyResetPasswordButton) {
        if (passwordInForce()) {
            showCurrentPasswordEntry(Purpose::changePassword);
        } else {
            showPasswordEntry(Purpose::changePassword);
        }
    }
}

}  // namespace parlivo
