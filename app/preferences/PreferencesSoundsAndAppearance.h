#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/comboboxtext.h>
#include <gtkmm/filechoosernative.h>
#include <gtkmm/label.h>
#include <gtkmm/menu.h>
#include <gtkmm/menubutton.h>
#include <gtkmm/messagedialog.h>
#include <gtkmm/radiomenuitem.h>
#include <gtkmm/scale.h>

#include "notifications/WQNotificationSound.h"
#include "preferences/PaneSupport.h"
#include "shell/PreferencesPane.h"

namespace parlivo {

class Trellik;
class WQChooseImageView;

// The third preference pane: the sound of desktop notifications (a custom sound file among
// them) with a preview, the monochrome tray icon, the visual style, the page's font size and
// the chat wallpaper. The pane keeps no setting of its own: every control shows what the
// settings model and the sound manager hold and writes its change straight back there.
//
// The sound list is a pop-up menu rather than a combo box so that choosing "Custom" again
// (with a custom sound already selected) imports another file, as choosing it the first time
// does. Nothing here waits on the main thread: the file dialog answers later, the import runs on
// a worker, previews play on the sound thread, the wallpaper is decoded and encoded on workers.
// A failed import keeps the previous sound and the stored selection; a wallpaper that cannot be
// stored keeps the old file, and the well shows it again. Every fill blocks the controls' own
// handlers, so filling never writes a setting. Main thread only.
class PreferencesSoundsAndAppearance : public PreferencesPane {
public:
    // The identifier the preferences window asks for, and the one the pane reports.
    static constexpr const char* registrationIdentifier = "Sounds and Appearance";
    static constexpr const char* viewIdentifier = "SoundsAndAppearance";
    static constexpr const char* interfaceFile = "PreferencesSoundsAndAppearance";

    // What the pane asks of the user outside its own controls; empty members do the program's
    // default (a file dialog and a warning dialog attached to the pane's window).
    struct Services {
        // Asks for a sound file; answers later with the file, or none when cancelled.
        std::function<void(std::function<void(std::optional<std::filesystem::path>)>)> chooseSoundFile;
        // Tells the user that the chosen file could not be used as the custom sound.
        std::function<void()> showImportFailure;
    };

    struct Outlets {
        Gtk::MenuButton* souapSoundPopupButton = nullptr;
        Gtk::Label* souapSoundPopupLabel = nullptr;  // the selected sound's name on the button
        Gtk::Menu* souapSoundMenu = nullptr;
        Gtk::Button* souapSoundPreviewButton = nullptr;
        Gtk::CheckButton* souapMonochromeMenuBarButton = nullptr;
        WQChooseImageView* souapWallpaperImageView = nullptr;
        Gtk::ComboBoxText* souapVisualStylePupUpButton = nullptr;
        Gtk::Scale* souapFontSizeSlider = nullptr;
    };

    explicit PreferencesSoundsAndAppearance(Trellik& trellik, Services services = {});
    ~PreferencesSoundsAndAppearance() override;

    // PreferencesPane
    std::string paneIdentifier() const override { return viewIdentifier; }
    std::string toolbarItemLabel() const override;
    std::string toolbarItemImage() const override { return "preferences-desktop-theme"; }
    Gtk::Widget& view() override { return *view_; }
    void viewWillAppear() override;
    void viewDidDisappear() override;
    bool hasResizableWidth() const { return false; }
    bool hasResizableHeight() const { return false; }

    const Outlets& outlets() const { return outlets_; }
    WQNotificationSoundManager& notificationSoundManager() { return notificationSoundManager_; }
    // The sound menu's item for an entry name, or null.
    Gtk::RadioMenuItem* soundMenuItem(std::string_view name) const;
    // A custom sound is being chosen or imported; the sound menu waits meanwhile.
    bool isImportingSound() const { return importingSound_; }

    // Shows the settings in the controls, with their handlers blocked. Also what the settings
    // model's settings delegate runs.
    void fillControls();

    // The controls' actions; each looks at its sender and ignores one it does not know. The
    // sound menu's sender is its button, the selected item being its active one.
    void buttonClicked(Gtk::Widget* sender);
    void popUpButtonChanged(Gtk::Widget* sender);
    void sliderChanged(Gtk::Range* sender);
    void imageViewAction(WQChooseImageView* sender);

private:
    struct SoundItem {
        Gtk::RadioMenuItem* item;
        Gtk::Label* label;
        std::shared_ptr<WQNotificationSound> sound;
    };

    void setUpControls();
    void soundChanged();
    void importCustomSound(std::shared_ptr<WQNotificationSound> sound);
    void customSoundImported(const std::shared_ptr<WQNotificationSound>& sound, bool imported);
    // Reads the stored wallpaper into the well (decoded on a worker).
    void loadWallpaper();
    std::filesystem::path wallpaperFile() const;

    void runSoundFileDialog(std::function<void(std::optional<std::filesystem::path>)> answer);
    void showImportFailureAlert();

    Trellik& trellik_;
    Services services_;
    WQNotificationSoundManager notificationSoundManager_;
    PaneSupport support_;
    std::unique_ptr<Gtk::Widget> view_;
    Outlets outlets_;
    std::vector<SoundItem> soundItems_;
    bool importingSound_ = false;
    // Each wallpaper choice (and each reading of the stored file) answers only while it is the
    // latest: a later choice wins over an earlier one still being encoded or read.
    std::uint64_t wallpaperRequest_ = 0;
    Glib::RefPtr<Gtk::FileChooserNative> soundPanel_;
    std::unique_ptr<Gtk::MessageDialog> importFailureAlert_;
    // Answers of the workers and dialogs reach the pane only while it exists.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace parlivo
