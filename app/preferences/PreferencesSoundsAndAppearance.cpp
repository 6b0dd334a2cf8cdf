#include "preferences/PreferencesSoundsAndAppearance.h"

#include <gtkmm/box.h>
#include <gtkmm/window.h>
#include <pangomm/attributes.h>

#include <cmath>

#include "DebugPrint.h"
#include "WQDirectory.h"
#include "controls/DadizSliderCell.h"
#include "controls/ImageFileLoader.h"
#include "controls/WQChooseImageView.h"
#include "foundation/Localized.h"
#include "foundation/MainQueue.h"
#include "foundation/UserDefaults.h"
#include "preferences/WallpaperStore.h"
#include "settings/Enums.h"
#include "settings/Keys.h"
#include "settings/Trellik.h"

namespace parlivo {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kClassName = "PreferencesSoundsAndAppearance";

void log(std::string_view message) { tovak::debugPrint(kClassName, message); }

// The custom entry stands out in the list (and on the button while it is selected).
Pango::AttrList customSoundAttributes() {
    Pango::AttrList attributes;
    auto weight = Pango::Attribute::create_attr_weight(Pango::WEIGHT_BOLD);
    auto style = Pango::Attribute::create_attr_style(Pango::STYLE_ITALIC);
    attributes.insert(weight);
    attributes.insert(style);
    return attributes;
}

void showSoundName(Gtk::Label& label, const WQNotificationSound& sound) {
    label.set_text(sound.name);
    Pango::AttrList attributes = sound.isUserSelectedCustomSound() ? customSoundAttributes() : Pango::AttrList();
    label.set_attributes(attributes);
}

Gtk::Window* windowOf(Gtk::Widget& widget) {
    auto* window = dynamic_cast<Gtk::Window*>(widget.get_toplevel());
    return window && window->get_is_toplevel() ? window : nullptr;
}

}  // namespace

PreferencesSoundsAndAppearance::PreferencesSoundsAndAppearance(Trellik& trellik, Services services)
    : trellik_(trellik),
      services_(std::move(services)),
      support_(trellik, interfaceFile, [this] { fillControls(); }) {
    if (!services_.chooseSoundFile)
        services_.chooseSoundFile = [this](std::function<void(std::optional<fs::path>)> answer) {
            runSoundFileDialog(std::move(answer));
        };
    if (!services_.showImportFailure) services_.showImportFailure = [this] { showImportFailureAlert(); };

    const InterfaceFile& file = support_.file();
    view_.reset(file.outlet<Gtk::Widget>("view"));
    outlets_.souapSoundPopupButton = file.outlet<Gtk::MenuButton>("souapSoundPopupButton");
    outlets_.souapSoundPopupLabel = file.outlet<Gtk::Label>("souapSoundPopupLabel");
    outlets_.souapSoundPreviewButton = file.outlet<Gtk::Button>("souapSoundPreviewButton");
    outlets_.souapMonochromeMenuBarButton = file.outlet<Gtk::CheckButton>("souapMonochromeMenuBarButton");
    outlets_.souapVisualStylePupUpButton = file.outlet<Gtk::ComboBoxText>("souapVisualStylePupUpButton");
    outlets_.souapFontSizeSlider = file.outlet<Gtk::Scale>("souapFontSizeSlider");

    // The sound menu and the wallpaper well are ours; the layout keeps their places.
    outlets_.souapSoundMenu = Gtk::manage(new Gtk::Menu());
    outlets_.souapSoundPopupButton->set_popup(*outlets_.souapSoundMenu);
    // The menu opens as wide as its button, as a pop-up button's list does.
    outlets_.souapSoundPopupButton->signal_size_allocate().connect([this](Gtk::Allocation& allocation) {
        int width = 0, height = 0;
        outlets_.souapSoundMenu->get_size_request(width, height);
        if (width != allocation.get_width()) outlets_.souapSoundMenu->set_size_request(allocation.get_width(), -1);
    });
    outlets_.souapWallpaperImageView = Gtk::manage(new WQChooseImageView());
    outlets_.souapWallpaperImageView->set_size_request(200, 125);
    file.outlet<Gtk::Box>("souapWallpaperImageViewContainer")
        ->pack_start(*outlets_.souapWallpaperImageView, Gtk::PACK_SHRINK);
    outlets_.souapWallpaperImageView->show();
    outlets_.souapWallpaperImageView->get_accessible()->set_name(
        file.outlet<Gtk::Label>("souapWallpaperLabel")->get_text());
    DadizSliderCell::attach(*outlets_.souapFontSizeSlider);

    support_.addControlHandler(
        outlets_.souapSoundPreviewButton->signal_clicked().connect([this] { buttonClicked(outlets_.souapSoundPreviewButton); }));
    support_.addControlHandler(outlets_.souapMonochromeMenuBarButton->signal_toggled().connect(
        [this] { buttonClicked(outlets_.souapMonochromeMenuBarButton); }));
    support_.addControlHandler(outlets_.souapVisualStylePupUpButton->signal_changed().connect(
        [this] { popUpButtonChanged(outlets_.souapVisualStylePupUpButton); }));
    support_.addControlHandler(
        outlets_.souapFontSizeSlider->signal_value_changed().connect([this] { sliderChanged(outlets_.souapFontSizeSlider); }));
    support_.addControlHandler(outlets_.souapWallpaperImageView->signalAction().connect(
        [this](WQChooseImageView& sender) { imageViewAction(&sender); }));

    setUpControls();
    loadWallpaper();
    fillControls();
}

PreferencesSoundsAndAppearance::~PreferencesSoundsAndAppearance() {
    *alive_ = false;
    support_.resignSettingsDelegate();
    if (soundPanel_) soundPanel_->hide();
}

std::string PreferencesSoundsAndAppearance::toolbarItemLabel() const {
    return platform::localized("PREFERENCES_SOUNDS_AND_APPEARANCE", "Sounds and Appearance");
}

void PreferencesSoundsAndAppearance::setUpControls() {
    // The sound list and the styles are fixed for the pane's life (the manager reads its list
    // once): they are built here, and each fill selects in them.
    support_.fillBlocked([this] {
        Gtk::RadioMenuItem::Group group;
        for (const auto& sound : notificationSoundManager_.soundList) {
            auto* label = Gtk::manage(new Gtk::Label());
            label->set_xalign(0);
            showSoundName(*label, *sound);
            auto* item = Gtk::manage(new Gtk::RadioMenuItem(group));
            item->add(*label);
            item->show_all();
            outlets_.souapSoundMenu->append(*item);
            soundItems_.push_back({item, label, sound});
        }
        for (VisualStyle style : allCases<VisualStyle>())
            outlets_.souapVisualStylePupUpButton->append(std::to_string(rawValue(style)), title(style));
    });
    for (const auto& entry : soundItems_) {
        Gtk::RadioMenuItem* item = entry.item;
        // A radio item is activated as it is chosen, again when it is chosen while selected,
        // and also as it loses the selection to another: only the item that ends up selected
        // speaks for the menu.
        support_.addControlHandler(item->signal_activate().connect([this, item] {
            if (item->get_active()) popUpButtonChanged(outlets_.souapSoundPopupButton);
        }));
    }
}

void PreferencesSoundsAndAppearance::viewWillAppear() {
    support_.becomeSettingsDelegate();
    fillControls();
}

void PreferencesSoundsAndAppearance::viewDidDisappear() { support_.resignSettingsDelegate(); }

Gtk::RadioMenuItem* PreferencesSoundsAndAppearance::soundMenuItem(std::string_view name) const {
    for (const auto& entry : soundItems_)
        if (entry.sound->name == name) return entry.item;
    return nullptr;
}

void PreferencesSoundsAndAppearance::fillControls() {
    support_.fillBlocked([this] {
        const auto current = notificationSoundManager_.currentSound();
        for (const auto& entry : soundItems_)
            if (entry.sound == current) entry.item->set_active(true);
        showSoundName(*outlets_.souapSoundPopupLabel, *current);
        outlets_.souapSoundPopupButton->set_sensitive(!importingSound_);

        outlets_.souapMonochromeMenuBarButton->set_active(trellik_.boolSetting(keys::kMonochromeMenuBar));
        outlets_.souapVisualStylePupUpButton->set_active_id(std::to_string(rawValue(trellik_.currentVisualStyle())));
        outlets_.souapFontSizeSlider->set_value(double(platform::UserDefaults::standard().integerForKey(keys::kFontSize)));
    });
}

// --- Actions ---

void PreferencesSoundsAndAppearance::buttonClicked(Gtk::Widget* sender) {
    if (sender == outlets_.souapSoundPreviewButton) {
        // The saved selection, which the menu shows.
        notificationSoundManager_.currentSound()->play();
    } else if (sender == outlets_.souapMonochromeMenuBarButton) {
        trellik_.setMonochromeMenuBar(outlets_.souapMonochromeMenuBarButton->get_active());
    }
}

void PreferencesSoundsAndAppearance::popUpButtonChanged(Gtk::Widget* sender) {
    if (sender == outlets_.souapSoundPopupButton) {
        soundChanged();
    } else if (sender == outlets_.souapVisualStylePupUpButton) {
        const std::string id = outlets_.souapVisualStylePupUpButton->get_active_id();
        if (id.empty()) return;
        std::int64_t tag = -1;
        try {
            tag = std::stoll(id);
        } catch (const std::exception&) {
            return;
        }
        if (auto style = fromRaw<VisualStyle>(tag)) trellik_.setVisualStyle(*style);
    }
}

void PreferencesSoundsAndAppearance::sliderChanged(Gtk::Range* sender) {
    if (sender != outlets_.souapFontSizeSlider) return;
    // Whole sizes only: the page is told an integer.
    trellik_.setFontSize(int(std::lround(outlets_.souapFontSizeSlider->get_value())));
}

void PreferencesSoundsAndAppearance::imageViewAction(WQChooseImageView* sender) {
    if (sender != outlets_.souapWallpaperImageView) return;
    const std::uint64_t request = ++wallpaperRequest_;
    std::weak_ptr<bool> alive = alive_;
    storeWallpaper(trellik_, sender->image(), [this, alive, request](bool stored) {
        if (!alive.lock() || request != wallpaperRequest_) return;
        // Not stored: the well shows again what is stored.
        if (!stored) loadWallpaper();
    });
}

// --- Sounds ---

void PreferencesSoundsAndAppearance::soundChanged() {
    std::shared_ptr<WQNotificationSound> chosen;
    for (const auto& entry : soundItems_)
        if (entry.item->get_active()) chosen = entry.sound;
    if (!chosen || importingSound_) return;

    if (chosen->isUserSelectedCustomSound()) {
        importCustomSound(chosen);
        return;
    }
    // Every choice plays what was chosen.
    chosen->play();
    notificationSoundManager_.saveCurrentSound(*chosen);
    fillControls();
}

void PreferencesSoundsAndAppearance::importCustomSound(std::shared_ptr<WQNotificationSound> sound) {
    importingSound_ = true;
    outlets_.souapSoundPopupButton->set_sensitive(false);
    std::weak_ptr<bool> alive = alive_;
    services_.chooseSoundFile([this, alive, sound](std::optional<fs::path> file) {
        if (!alive.lock()) return;
        if (!file) {
            // Cancelled: the saved selection stays, and the menu shows it again.
            importingSound_ = false;
            fillControls();
            return;
        }
        sound->importCustomSound(*file, [this, alive, sound](bool imported) {
            if (alive.lock()) customSoundImported(sound, imported);
        });
    });
}

void PreferencesSoundsAndAppearance::customSoundImported(const std::shared_ptr<WQNotificationSound>& sound,
                                                         bool imported) {
    importingSound_ = false;
    if (imported) {
        sound->play();
        notificationSoundManager_.saveCurrentSound(*sound);
    } else {
        // The previous sound (and its file) stays as it was stored; nothing is written.
        log("Could not import the chosen sound file; the previous sound stays");
        services_.showImportFailure();
    }
    fillControls();
}

void PreferencesSoundsAndAppearance::runSoundFileDialog(std::function<void(std::optional<fs::path>)> answer) {
    soundPanel_ = Gtk::FileChooserNative::create(platform::localized("SOUNDS_CHOOSE_TITLE", "Choose a Sound"),
                                                 Gtk::FILE_CHOOSER_ACTION_OPEN, "_Open", "_Cancel");
    if (Gtk::Window* window = windowOf(*view_)) soundPanel_->set_transient_for(*window);
    soundPanel_->set_modal(true);
    soundPanel_->set_select_multiple(false);
    auto filter = Gtk::FileFilter::create();
    filter->set_name(platform::localized("SOUNDS_CHOOSE_FILTER", "Sounds"));
    filter->add_mime_type("audio/*");
    soundPanel_->add_filter(filter);
    std::weak_ptr<bool> alive = alive_;
    soundPanel_->signal_response().connect([this, alive, answer = std::move(answer)](int response) {
        if (!alive.lock() || !soundPanel_) return;
        std::optional<fs::path> file;
        if (response == Gtk::RESPONSE_ACCEPT) {
            const std::string name = soundPanel_->get_filename();
            if (!name.empty()) file = fs::path(name);
        }
        // The dialog is still handling the event that answered: it goes after it.
        soundPanel_->hide();
        platform::MainQueue::async([panel = std::move(soundPanel_)] {});
        answer(file);
    });
    soundPanel_->show();
}

void PreferencesSoundsAndAppearance::showImportFailureAlert() {
    importFailureAlert_ = std::make_unique<Gtk::MessageDialog>(
        platform::localized("SOUNDS_COULD_NOT_LOAD_TITLE", "Could not load sound file."), false, Gtk::MESSAGE_WARNING,
        Gtk::BUTTONS_OK, true);
    importFailureAlert_->set_secondary_text(platform::localized(
        "SOUNDS_COULD_NOT_LOAD_BODY", "Please choose MP3, AAC, WAV or AIF file with a maximum length of 15 seconds."));
    if (Gtk::Window* window = windowOf(*view_)) importFailureAlert_->set_transient_for(*window);
    std::weak_ptr<bool> alive = alive_;
    Gtk::MessageDialog* shown = importFailureAlert_.get();
    importFailureAlert_->signal_response().connect([this, alive, shown](int) {
        if (!alive.lock()) return;
        shown->hide();
        // Let go after the dialog's own signal is over, unless another alert took its place.
        platform::MainQueue::async([this, alive, shown] {
            if (alive.lock() && importFailureAlert_.get() == shown) importFailureAlert_.reset();
        });
    });
    importFailureAlert_->show();
}

// --- Wallpaper ---

fs::path PreferencesSoundsAndAppearance::wallpaperFile() const {
    return tovak::WQDirectory::userContentDirectory() / "wallpaper.jpg";
}

void PreferencesSoundsAndAppearance::loadWallpaper() {
    const std::uint64_t request = wallpaperRequest_;
    std::weak_ptr<bool> alive = alive_;
    // A missing or unreadable file leaves the well empty, without a message.
    ImageFileLoader::loadAsync(wallpaperFile(), [this, alive, request](Glib::RefPtr<Gdk::Pixbuf> image) {
        if (!alive.lock() || request != wallpaperRequest_) return;  // the user chose meanwhile
        outlets_.souapWallpaperImageView->setImage(image);
    });
}

}  // namespace parlivo
