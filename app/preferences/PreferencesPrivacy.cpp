#include "preferences/PreferencesPrivacy.h"

#include "WQSecureTextField.h"
#include "WQTouchID.h"
#include "controls/DadizSliderCell.h"
#include "controls/InfoButton.h"
#include "controls/QORSwitch.h"
#include "foundation/Localized.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "settings/Enums.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "settings/Trellik.h"
#include "web/PagePermissions.h"

namespace parlivo {

namespace {

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

    const InterfaceFile& file = support_.file();
    view_.reset(file.outlet<Gtk::Widget>("paneView"));
    outlets_.paneView = file.outlet<Gtk::Stack>("paneView");
    outlets_.containerView = file.outlet<Gtk::Widget>("containerView");
    outlets_.setPasswordView = file.outlet<Gtk::Widget>("setPasswordView");
    outlets_.setPasswordTextField = file.derivedOutlet<tovak::WQSecureTextField>("setPasswordTextField");
    outlets_.setPasswordDoneButton = file.outlet<Gtk::Button>("setPasswordDoneButton");
    outlets_.setPasswordCancelButton = file.outlet<Gtk::Button>("setPasswordCancelButton");
    outlets_.verifyPasswordView = file.outlet<Gtk::Widget>("verifyPasswordView");
    outlets_.currentPasswordTextField = file.derivedOutlet<tovak::WQSecureTextField>("currentPasswordTextField");
    outlets_.wrongPasswordLabel = file.outlet<Gtk::Label>("wrongPasswordLabel");
    outlets_.verifyPasswordDoneButton = file.outlet<Gtk::Button>("verifyPasswordDoneButton");
    outlets_.verifyPasswordCancelButton = file.outlet<Gtk::Button>("verifyPasswordCancelButton");
    outlets_.privacyImageView = file.outlet<Gtk::Image>("privacyImageView");
    outlets_.lockAfterPopUpButton = file.outlet<Gtk::ComboBoxText>("lockAfterPopUpButton");
    outlets_.privacyResetPasswordButton = file.outlet<Gtk::Button>("privacyResetPasswordButton");
    outlets_.privacyEnableTouchIDButton = file.outlet<Gtk::CheckButton>("privacyEnableTouchIDButton");
    outlets_.privacyDesktopNotificationButton = file.outlet<Gtk::CheckButton>("privacyDesktopNotificationButton");
    outlets_.privacyDesktopNotificationShowSenderButton =
        file.outlet<Gtk::CheckButton>("privacyDesktopNotificationShowSenderButton");
    outlets_.privacyDesktopNotificationShowSenderPictureButton =
        file.outlet<Gtk::CheckButton>("privacyDesktopNotificationShowSenderPictureButton");
    outlets_.privacyDesktopNotificationShowMessagePreviewButton =
        file.outlet<Gtk::CheckButton>("privacyDesktopNotificationShowMessagePreviewButton");
    outlets_.privacyDesktopNotificationPlayAudioButton =
        file.outlet<Gtk::CheckButton>("privacyDesktopNotificationPlayAudioButton");
    outlets_.privacyMenuBarNotificationButton = file.outlet<Gtk::CheckButton>("privacyMenuBarNotificationButton");
    outlets_.privacyDockIconNotificationButton = file.outlet<Gtk::CheckButton>("privacyDockIconNotificationButton");
    outlets_.privacyStealthModeSlider = file.outlet<Gtk::Scale>("privacyStealthModeSlider");
    outlets_.privacyShowChatContentMouseOver = file.outlet<Gtk::CheckButton>("privacyShowChatContentMouseOver");
    outlets_.pageMicrophoneButton = file.outlet<Gtk::CheckButton>("pageMicrophoneButton");
    outlets_.pageCameraButton = file.outlet<Gtk::CheckButton>("pageCameraButton");

    // Our own controls take the places the layout keeps for them.
    auto place = [&file](const char* container, Gtk::Widget& widget, const char* label) {
        file.outlet<Gtk::Box>(container)->pack_start(widget, Gtk::PACK_SHRINK);
        widget.show();
        if (label) {
            auto* text = file.outlet<Gtk::Label>(label);
            text->set_mnemonic_widget(widget);
            widget.get_accessible()->set_name(text->get_text());
        }
    };
    outlets_.privacyEnableSwitch = Gtk::manage(new QORSwitch());
    place("privacyEnableSwitchContainer", *outlets_.privacyEnableSwitch, "privacyEnableLabel");
    outlets_.privacyStealthModeEnabledSwitch = Gtk::manage(new QORSwitch());
    place("privacyStealthModeEnabledSwitchContainer", *outlets_.privacyStealthModeEnabledSwitch, "privacyStealthModeLabel");
    outlets_.stealthModeHelpButton = Gtk::manage(new InfoButton(18));
    outlets_.stealthModeHelpButton->setContent(platform::localized(
        "STEALTH_MODE_HELP",
        "Stealth mode blurs the chats and makes the window see-through, so people around you cannot read "
        "them. Set how much shows with the opacity slider; the chats can show while the pointer is over the "
        "window."));
    place("stealthModeHelpContainer", *outlets_.stealthModeHelpButton, nullptr);
    DadizSliderCell::attach(*outlets_.privacyStealthModeSlider);

    passwordEntry_ = std::make_unique<PrivacyPasswordEntry>(trellik_, outlets_, [this] { fillControls(); });

    support_.addControlHandler(outlets_.privacyEnableSwitch->signalAction().connect(
        [this](QORSwitch& sender) { privacyEnabledSwitched(sender); }));
    support_.addControlHandler(outlets_.privacyStealthModeEnabledSwitch->signalAction().connect(
        [this](QORSwitch& sender) { privacyStealthModeEnabledSwitched(sender); }));
    support_.addControlHandler(
        outlets_.setPasswordTextField->signal_activate().connect([this] { setPasswordAction(outlets_.setPasswordTextField); }));
    for (Gtk::Button* button : {outlets_.setPasswordDoneButton, outlets_.setPasswordCancelButton})
        support_.addControlHandler(button->signal_clicked().connect([this, button] { setPasswordAction(button); }));
    support_.addControlHandler(outlets_.currentPasswordTextField->signal_activate().connect(
        [this] { verifyPasswordAction(outlets_.currentPasswordTextField); }));
    for (Gtk::Button* button : {outlets_.verifyPasswordDoneButton, outlets_.verifyPasswordCancelButton})
        support_.addControlHandler(button->signal_clicked().connect([this, button] { verifyPasswordAction(button); }));
    // A password is never empty: the entries' confirm buttons wait for a first character.
    for (tovak::WQSecureTextField* field : {outlets_.setPasswordTextField, outlets_.currentPasswordTextField})
        support_.addControlHandler(field->signal_changed().connect([this] { passwordEntry_->updateEntryButtons(); }));
    support_.addControlHandler(outlets_.lockAfterPopUpButton->signal_changed().connect(
        [this] { popUpButtonChanged(outlets_.lockAfterPopUpButton); }));
    support_.addControlHandler(outlets_.privacyStealthModeSlider->signal_value_changed().connect(
        [this] { sliderChanged(outlets_.privacyStealthModeSlider); }));
    support_.addControlHandler(
        outlets_.privacyResetPasswordButton->signal_clicked().connect([this] { buttonClicked(outlets_.privacyResetPasswordButton); }));
    for (const auto& setting : settingBoxes) {
        Gtk::CheckButton* box = outlets_.*setting.control;
        support_.addControlHandler(box->signal_toggled().connect([this, box] { buttonClicked(box); }));
    }

    // The lock engaging or releasing changes what may be touched here.
    privacyObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
        names::privacyChanged, [this](const platform::Notification&) { lockChanged(); });

    setUpControls();
    fillControls();
    passwordEntry_->updateEntryButtons();
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
            outlets_.lockAfterPopUpButton->append(std::to_string(rawValue(interval)), lockAfterTitle(interval));
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

bool PreferencesPrivacy::locked() const { return trellik_.privacyLockdown(); }

void PreferencesPrivacy::lockChanged() {
    // Nothing half done stays open behind a lock.
    if (locked() && passwordEntry_->entry() != Entry::none) passwordEntry_->closeEntry();
    fillControls();
}

void PreferencesPrivacy::fillControls() {
    support_.fillBlocked([this] {
        const bool privacy = trellik_.boolSetting(keys::privacyModeEnabled);
        outlets_.privacyEnableSwitch->setChecked(privacy);
        privacyImageName_ = privacy ? lockedImage : unlockedImage;
        outlets_.privacyImageView->set_from_icon_name(privacyImageName_, Gtk::ICON_SIZE_DIALOG);

        outlets_.lockAfterPopUpButton->set_active_id(std::to_string(rawValue(trellik_.currentLockAfter())));

        support_.fillSettingBoxes(outlets_, settingBoxes);

        outlets_.privacyStealthModeEnabledSwitch->setChecked(trellik_.privacyStealthModeActive());
        outlets_.privacyStealthModeSlider->set_value(platform::UserDefaults::standard().doubleForKey(keys::privacyStealthModeAlpha));

        // Grey-out rules, from the settings as they are now.
        const bool desktopNotifications = trellik_.boolSetting(keys::privacyDesktopNotificationsEnabled);
        outlets_.lockAfterPopUpButton->set_sensitive(privacy);
        outlets_.privacyResetPasswordButton->set_sensitive(privacy);
        outlets_.privacyDesktopNotificationButton->set_sensitive(privacy);
        outlets_.privacyEnableTouchIDButton->set_sensitive(privacy && touchIDSupported_);
        for (Gtk::CheckButton* detail :
             {outlets_.privacyDesktopNotificationShowSenderButton, outlets_.privacyDesktopNotificationShowSenderPictureButton,
              outlets_.privacyDesktopNotificationShowMessagePreviewButton, outlets_.privacyDesktopNotificationPlayAudioButton})
            detail->set_sensitive(privacy && desktopNotifications);
        outlets_.privacyMenuBarNotificationButton->set_sensitive(privacy && trellik_.boolSetting(keys::showMenuBarIcon));
        outlets_.privacyDockIconNotificationButton->set_sensitive(privacy && trellik_.boolSetting(keys::showDockIcon));
        // Stealth mode works with or without privacy mode; only the lock stops everything.
        outlets_.paneView->set_sensitive(!locked());
    });
}

void PreferencesPrivacy::setPasswordAction(Gtk::Widget* sender) { passwordEntry_->setPasswordAction(sender); }

void PreferencesPrivacy::verifyPasswordAction(Gtk::Widget* sender) { passwordEntry_->verifyPasswordAction(sender); }

// --- The content's controls ---

void PreferencesPrivacy::privacyEnabledSwitched(QORSwitch& sender) {
    if (&sender != outlets_.privacyEnableSwitch) return;
    if (locked()) return fillControls();
    if (sender.checked()) {
        // Privacy stays off until a password is confirmed.
        passwordEntry_->showPasswordEntry(PrivacyPasswordEntry::Purpose::enablePrivacy);
    } else if (PrivacyPasswordEntry::passwordInForce()) {
        passwordEntry_->showCurrentPasswordEntry(PrivacyPasswordEntry::Purpose::disablePrivacy);
    } else {
        trellik_.setPrivacyModeEnabled(false);
    }
}

void PreferencesPrivacy::privacyStealthModeEnabledSwitched(QORSwitch& sender) {
    if (&sender != outlets_.privacyStealthModeEnabledSwitch) return;
    if (locked()) return fillControls();
    trellik_.setPrivacyStealthModeActive(sender.checked());
}

void PreferencesPrivacy::popUpButtonChanged(Gtk::ComboBox* sender) {
    if (sender != outlets_.lockAfterPopUpButton || locked()) return;
    const std::string id = outlets_.lockAfterPopUpButton->get_active_id();
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
    if (sender != outlets_.privacyStealthModeSlider || locked()) return;
    trellik_.setPrivacyStealthModeAlpha(outlets_.privacyStealthModeSlider->get_value());
}

void PreferencesPrivacy::buttonClicked(Gtk::Widget* sender) {
    if (locked()) return fillControls();
    if (const auto* setting = PaneSupport::settingBoxOf(sender, outlets_, settingBoxes)) {
        auto* box = dynamic_cast<Gtk::ToggleButton*>(sender);
        return support_.storeSettingBox(*setting, box && box->get_active());
    }
    if (sender == outlets_.privacyResetPasswordButton) {
        if (PrivacyPasswordEntry::passwordInForce()) {
            passwordEntry_->showCurrentPasswordEntry(PrivacyPasswordEntry::Purpose::changePassword);
        } else {
            passwordEntry_->showPasswordEntry(PrivacyPasswordEntry::Purpose::changePassword);
        }
    }
}

}  // namespace parlivo
