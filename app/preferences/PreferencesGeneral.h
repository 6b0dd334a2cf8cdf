#pragma once

#include <functional>
#include <memory>
#include <string>

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/comboboxtext.h>
#include <gtkmm/image.h>

#include "preferences/PaneSupport.h"
#include "shell/PreferencesPane.h"

namespace tovak {
class WQLaunchAtLoginManager;
}

namespace parlivo {

class QORSwitch;
class Trellik;

// The first preference pane: do-not-disturb, the notification channels and what a desktop
// notification shows, launch at login, the tray icon and taskbar entry, what Return does, the
// global shortcut, and buttons for support, updates and quitting. Every control shows the stored
// setting each time the pane is filled and writes its own key when the user changes it; the
// grey-out rules keep the user from hiding both icons and from settings that have no effect
// (notification details while notifications are off). Main thread only.
class PreferencesGeneral : public PreferencesPane {
public:
    static constexpr const char* viewIdentifier = "General";
    static constexpr const char* interfaceFile = "PreferencesGeneral";
    static constexpr const char* doNotDisturbColorImage = "DoNotDisturbColor";
    static constexpr const char* doNotDisturbBWImage = "DoNotDisturbBW";

    // What the buttons reach outside the settings; empty members do the program's default.
    struct Services {
        std::function<void()> terminate;        // default: quits the application
        std::function<void()> checkForUpdates;  // default: the updater stand-in's check
        std::function<void()> showSupport;      // default: the settings model's support prompt
    };

    struct Outlets {
        Gtk::Image* doNotDisturbImageView = nullptr;
        QORSwitch* doNotDisturbSwitch = nullptr;
        Gtk::CheckButton* desktopNotificationButton = nullptr;
        Gtk::CheckButton* menuBarNotificationButton = nullptr;
        Gtk::CheckButton* dockIconNotificationButton = nullptr;
        Gtk::CheckButton* desktopNotificationShowSenderButton = nullptr;
        Gtk::CheckButton* desktopNotificationShowSenderPictureButton = nullptr;
        Gtk::CheckButton* desktopNotificationShowMessagePreviewButton = nullptr;
        Gtk::CheckButton* desktopNotificationPlayAudioButton = nullptr;
        Gtk::CheckButton* launchAtLoginButton = nullptr;
        Gtk::CheckButton* showMenuBarIconButton = nullptr;
        Gtk::CheckButton* showDockIconButton = nullptr;
        Gtk::Box* shortcutContainerView = nullptr;
        Gtk::ComboBoxText* returnKeyActionButton = nullptr;
        Gtk::Button* supportButton = nullptr;
        Gtk::Button* checkForUpdateButton = nullptr;
        Gtk::Button* closeAppButton = nullptr;
    };

    PreferencesGeneral(Trellik& trellik, tovak::WQLaunchAtLoginManager& launchAtLogin, Services services = {});
    ~PreferencesGeneral() override;

    // PreferencesPane
    std::string paneIdentifier() const override { return viewIdentifier; }
    std::string toolbarItemLabel() const override;
    std::string toolbarItemImage() const override { return "preferences-system"; }
    Gtk::Widget& view() override { return *view_; }
    void viewWillAppear() override;
    void viewDidDisappear() override;
    bool hasResizableWidth() const { return false; }
    bool hasResizableHeight() const { return false; }

    const Outlets& outlets() const { return outlets_; }
    // The image the do-not-disturb picture shows ("DoNotDisturbColor" or "DoNotDisturbBW").
    const std::string& doNotDisturbImageName() const { return doNotDisturbImageName_; }

    // Shows every setting (blocked handlers: nothing is written back) and applies the grey-out
    // rules. Also what the settings model's settings delegate runs.
    void fillControls();

    // The controls' actions; each looks at its sender and ignores one it does not know.
    void doNotDisturbSwitched(QORSwitch& sender);
    void buttonClicked(Gtk::Widget* sender);
    void popUpButtonChanged(Gtk::ComboBox* sender);

private:
    // The check boxes that each show one setting.
    static const SettingBox<Outlets> settingBoxes[];

    void setUpControls();

    Trellik& trellik_;
    tovak::WQLaunchAtLoginManager& launchAtLogin_;
    Services services_;
    PaneSupport support_;
    std::unique_ptr<Gtk::Widget> view_;
    Outlets outlets_;
    std::string doNotDisturbImageName_;
};

}  // namespace parlivo
