#include "preferences/PreferencesGeneral.h"

#include <gdkmm/pixbuf.h>
#include <giomm/application.h>

#include "ButtonState.h"
#include "DebugPrint.h"
#include "WQApplicationInfo.h"
#include "WQLaunchAtLoginManager.h"
#include "controls/QORSwitch.h"
#include "foundation/Localized.h"
#include "settings/Enums.h"
#include "settings/Keys.h"
#include "settings/Trellik.h"
#include "shell/ShortcutRecorder.h"
#include "shell/WQShortcut.h"
#include "system/VendorServices.h"

namespace parlivo {

namespace {

constexpr std::string_view kClassName = "PreferencesGeneral";


std::string returnKeyActionTitle(ReturnKeyAction action) {
    return action == ReturnKeyAction::send ? platform::localized("RETURN_KEY_ACTION_SEND", "Send message")
                                           : platform::localized("RETURN_KEY_ACTION_NEW_LINE", "New line");
}

}  // namespace

const SettingBox<PreferencesGeneral::Outlets> PreferencesGeneral::settingBoxes[] = {
    {&Outlets::desktopNotificationButton, keys::desktopNotificationsEnabled, nullptr,
     &Trellik::setDesktopNotificationsEnabled},
    {&Outlets::menuBarNotificationButton, keys::menuBarNotificationsEnabeld},
    {&Outlets::dockIconNotificationButton, keys::dockIconNotificationsEnabeld},
    {&Outlets::desktopNotificationShowSenderButton, keys::desktopNotificationsShowSender},
    {&Outlets::desktopNotificationShowSenderPictureButton, keys::desktopNotificationsShowSenderImage,
     &Trellik::showSenderImage},
    {&Outlets::desktopNotificationShowMessagePreviewButton, keys::desktopNotificationsShowMessagePreview},
    {&Outlets::desktopNotificationPlayAudioButton, keys::desktopNotificationsPlayAudio},
    {&Outlets::showMenuBarIconButton, keys::showMenuBarIcon, nullptr, &Trellik::setShowMenuBarIcon},
    {&Outlets::showDockIconButton, keys::showDockIcon, nullptr, &Trellik::setShowDockIcon},
};

PreferencesGeneral::PreferencesGeneral(Trellik& trellik, tovak::WQLaunchAtLoginManager& launchAtLogin,
                                       Services services)
    : trellik_(trellik),
      launchAtLogin_(launchAtLogin),
      services_(std::move(services)),
      support_(trellik, interfaceFile, [this] { fillControls(); }) {
    if (!services_.terminate)
        services_.terminate = [] {
            if (auto application = Gio::Application::get_default()) application->quit();
        };
    if (!services_.checkForUpdates) services_.checkForUpdates = [] { platform::VendorServices::shared().checkForUpdates(); };
    if (!services_.showSupport) services_.showSupport = [&trellik] { trellik.showSupportAlert(); };

    const InterfaceFile& file = support_.file();
    view_.reset(file.outlet<Gtk::Widget>("view"));
    outlets_.doNotDisturbImageView = file.outlet<Gtk::Image>("doNotDisturbImageView");
    outlets_.desktopNotificationButton = file.outlet<Gtk::CheckButton>("desktopNotificationButton");
    outlets_.menuBarNotificationButton = file.outlet<Gtk::CheckButton>("menuBarNotificationButton");
    outlets_.dockIconNotificationButton = file.outlet<Gtk::CheckButton>("dockIconNotificationButton");
    outlets_.desktopNotificationShowSenderButton = file.outlet<Gtk::CheckButton>("desktopNotificationShowSenderButton");
    outlets_.desktopNotificationShowSenderPictureButton =
        file.outlet<Gtk::CheckButton>("desktopNotificationShowSenderPictureButton");
    outlets_.desktopNotificationShowMessagePreviewButton =
        file.outlet<Gtk::CheckButton>("desktopNotificationShowMessagePreviewButton");
    outlets_.desktopNotificationPlayAudioButton = file.outlet<Gtk::CheckButton>("desktopNotificationPlayAudioButton");
    outlets_.launchAtLoginButton = file.outlet<Gtk::CheckButton>("launchAtLoginButton");
    outlets_.showMenuBarIconButton = file.outlet<Gtk::CheckButton>("showMenuBarIconButton");
    outlets_.showDockIconButton = file.outlet<Gtk::CheckButton>("showDockIconButton");
    outlets_.shortcutContainerView = file.outlet<Gtk::Box>("shortcutContainerView");
    outlets_.returnKeyActionButton = file.outlet<Gtk::ComboBoxText>("returnKeyActionButton");
    outlets_.supportButton = file.outlet<Gtk::Button>("supportButton");
    outlets_.checkForUpdateButton = file.outlet<Gtk::Button>("checkForUpdateButton");
    outlets_.closeAppButton = file.outlet<Gtk::Button>("closeAppButton");

    // The switch is ours, drawn in code; the layout keeps its place.
    outlets_.doNotDisturbSwitch = Gtk::manage(new QORSwitch());
    file.outlet<Gtk::Box>("doNotDisturbSwitchContainer")->pack_start(*outlets_.doNotDisturbSwitch, Gtk::PACK_SHRINK);
    outlets_.doNotDisturbSwitch->show();
    file.outlet<Gtk::Label>("doNotDisturbLabel")->set_mnemonic_widget(*outlets_.doNotDisturbSwitch);
    outlets_.doNotDisturbSwitch->get_accessible()->set_name(file.outlet<Gtk::Label>("doNotDisturbLabel")->get_text());

    // As the pane loads: the update button shows, the switch and every control reach their action.
    outlets_.checkForUpdateButton->set_visible(true);
    outlets_.closeAppButton->set_label(platform::localizedFormat(platform::localized("QUIT_APP_BUTTON", "Quit %@"),
                                                    {tovak::WQApplicationInfo::applicationName()}));
    support_.addControlHandler(outlets_.doNotDisturbSwitch->signalAction().connect(
        [this](QORSwitch& sender) { doNotDisturbSwitched(sender); }));
    std::vector<Gtk::CheckButton*> boxes{outlets_.launchAtLoginButton};
    for (const auto& setting : settingBoxes) boxes.push_back(outlets_.*setting.control);
    for (Gtk::CheckButton* box : boxes)
        support_.addControlHandler(box->signal_toggled().connect([this, box] { buttonClicked(box); }));
    for (Gtk::Button* button : {outlets_.supportButton, outlets_.checkForUpdateButton, outlets_.closeAppButton})
        support_.addControlHandler(button->signal_clicked().connect([this, button] { buttonClicked(button); }));
    support_.addControlHandler(outlets_.returnKeyActionButton->signal_changed().connect(
        [this] { popUpButtonChanged(outlets_.returnKeyActionButton); }));

    setUpControls();
    fillControls();
}

PreferencesGeneral::~PreferencesGeneral() {
    support_.resignSettingsDelegate();
    // The recorder belongs to the shortcut, not to this pane: it leaves before the pane's views go.
    if (auto* shortcut = WQShortcut::of(trellik_)) {
        auto& recorder = shortcut->shortcutView();
        if (recorder.get_parent() == outlets_.shortcutContainerView) outlets_.shortcutContainerView->remove(recorder);
    }
}

std::string PreferencesGeneral::toolbarItemLabel() const {
    return platform::localized("PREFERENCES_GENERAL", "General");
}

void PreferencesGeneral::setUpControls() {
    support_.fillBlocked([this] {
        for (ReturnKeyAction action : allCases<ReturnKeyAction>())
            outlets_.returnKeyActionButton->append(std::to_string(rawValue(action)), returnKeyActionTitle(action));
    });
    if (auto* shortcut = WQShortcut::of(trellik_)) {
        auto& recorder = shortcut->shortcutView();
        if (auto* parent = dynamic_cast<Gtk::Container*>(recorder.get_parent())) parent->remove(recorder);
        outlets_.shortcutContainerView->pack_start(recorder, Gtk::PACK_EXPAND_WIDGET);
        recorder.show();
    }
}

void PreferencesGeneral::viewWillAppear() {
    support_.becomeSettingsDelegate();
    fillControls();
}

void PreferencesGeneral::viewDidDisappear() { support_.resignSettingsDelegate(); }

void PreferencesGeneral::fillControls() {
    support_.fillBlocked([this] {
        const bool doNotDisturb = trellik_.boolSetting(keys::doNotDisturbEnabled);
        outlets_.doNotDisturbSwitch->setChecked(doNotDisturb);
        doNotDisturbImageName_ = doNotDisturb ? doNotDisturbColorImage : doNotDisturbBWImage;
        outlets_.doNotDisturbImageView->set(resourceImage(doNotDisturbImageName_, 32));

        support_.fillSettingBoxes(outlets_, settingBoxes);
        outlets_.launchAtLoginButton->set_active(launchAtLogin_.launchAtLogin());

        outlets_.returnKeyActionButton->set_active_id(std::to_string(rawValue(trellik_.currentReturnKeyAction())));

        // Grey-out rules, from the settings as they are now.
        const bool notificationsPossible = !trellik_.boolSetting(keys::doNotDisturbEnabled);
        const bool desktopNotifications = trellik_.boolSetting(keys::desktopNotificationsEnabled);
        const bool menuBarIcon = trellik_.boolSetting(keys::showMenuBarIcon);
        const bool dockIcon = trellik_.boolSetting(keys::showDockIcon);
        outlets_.desktopNotificationButton->set_sensitive(notificationsPossible);
        outlets_.menuBarNotificationButton->set_sensitive(notificationsPossible && menuBarIcon);
        outlets_.dockIconNotificationButton->set_sensitive(notificationsPossible && dockIcon);
        for (Gtk::CheckButton* detail :
             {outlets_.desktopNotificationShowSenderButton, outlets_.desktopNotificationShowSenderPictureButton,
              outlets_.desktopNotificationShowMessagePreviewButton, outlets_.desktopNotificationPlayAudioButton})
            detail->set_sensitive(notificationsPossible && desktopNotifications);
        // One of the two icons can go only while the other stays.
        outlets_.showMenuBarIconButton->set_sensitive(dockIcon);
        outlets_.showDockIconButton->set_sensitive(menuBarIcon);
    });
}

void PreferencesGeneral::doNotDisturbSwitched(QORSwitch& sender) {
    if (&sender != outlets_.doNotDisturbSwitch) return;
    trellik_.setDoNotDisturbEnabled(sender.checked());
}

void PreferencesGeneral::buttonClicked(Gtk::Widget* sender) {
    auto* box = dynamic_cast<Gtk::ToggleButton*>(sender);
    const bool state = box && box->get_active();
    if (const auto* setting = PaneSupport::settingBoxOf(sender, outlets_, settingBoxes)) {
        // The rules grey out the last icon, but a state that would hide both is refused here too.
        const auto otherIcon = setting->key == keys::showMenuBarIcon ? keys::showDockIcon
                               : setting->key == keys::showDockIcon  ? keys::showMenuBarIcon
                                                                     : std::string_view();
        if (!state && !otherIcon.empty() && !trellik_.boolSetting(otherIcon)) return fillControls();
        return support_.storeSettingBox(*setting, state);
    }
    if (sender == outlets_.launchAtLoginButton) {
        launchAtLogin_.setLaunchAtLogin(state);
        // Registering the login item can fail: show what the manager reached.
        fillControls();
    } else if (sender == outlets_.closeAppButton) {
        services_.terminate();
    } else if (sender == outlets_.supportButton) {
        services_.showSupport();
    } else if (sender == outlets_.checkForUpdateButton) {
        services_.checkForUpdates();
    }
}

void PreferencesGeneral::popUpButtonChanged(Gtk::ComboBox* sender) {
    if (sender != outlets_.returnKeyActionButton) return;
    const std::string id = outlets_.returnKeyActionButton->get_active_id();
    if (id.empty()) return;
    std::int64_t tag = 0;
    try {
        tag = std::stoll(id);
    } catch (const std::exception&) {
        return;
    }
    if (auto action = fromRaw<ReturnKeyAction>(tag)) {
        trellik_.setReturnKeyAction(*action);
        tovak::debugPrint(kClassName, "Return key action: " + id);
    }
}

}  // namespace parlivo
