// The Sounds and Appearance preference pane over a real settings model and sound manager:
// filled from the settings without writing anything back or playing anything, every control
// writing its setting, the sound menu (every choice played and saved, "Custom" importing a file,
// a failed or cancelled import keeping the stored selection and the previous file), and the
// wallpaper well (stored as JPEG, removed, and the old file kept and shown again when a new
// picture cannot be stored).

#include <gtest/gtest.h>
#include <gtkmm/main.h>
#include <gtkmm/window.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "RunLoop.h"
#include "TrellikTestSupport.h"
#include "WQDirectory.h"
#include "WavFile.h"
#include "controls/WQChooseImageView.h"
#include "media/Sound.h"
#include "preferences/PreferencesSoundsAndAppearance.h"
#include "preferences/WallpaperStore.h"

using namespace parlivo;
using namespace trelliktest;
namespace fs = std::filesystem;

namespace {

platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }
bool waitFor(const std::function<bool()>& condition) { return testsupport::runLoopUntil(condition, 30); }

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<std::string> storedString(std::string_view key) { return defaults().stringForKey(std::string(key)); }

int imageWidth(const Glib::RefPtr<Gdk::Pixbuf>& image) { return image ? image->get_width() : 0; }

Glib::RefPtr<Gdk::Pixbuf> picture(int width, int height, guint32 colour = 0x3366ccff) {
    auto image = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, false, 8, width, height);
    image->fill(colour);
    return image;
}

class SoundsAndAppearanceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("PARLIVO_AUDIO_SINK", "fakesink", 1);
        gtk_init(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
    }

    void SetUp() override {
        clearSettings();
        for (auto key : {WQNotificationSoundManager::keyFileName, WQNotificationSoundManager::keyCustomSound,
                         WQNotificationSoundManager::keyURL})
            defaults().remove(std::string(key));
        fs::remove_all(tovak::WQDirectory::userContentDirectory());
        folder = fs::temp_directory_path() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(folder);

        tovak::WQIdleTimer::Environment environment;
        environment.now = [] { return tovak::WQIdleTimer::Clock::time_point(std::chrono::hours(1)); };
        environment.addMonitor = [](std::uint64_t, std::function<void()>) { return platform::ObserverToken(); };
        trellik = std::make_unique<Trellik>(std::move(environment));
        // Past the start-up work it posts (the status item, the dock icon), before the log starts.
        ASSERT_TRUE(testsupport::runLoopPastTimer(1e-7));
        web = std::make_shared<RecordingWebView>(log);
        trellik->setWebViewDelegate(web);
        log.events.clear();

        playedToken = platform::NotificationCenter::defaultCenter().addObserver(
            platform::Sound::didStartPlayingNotification,
            [this](const platform::Notification& n) { played.push_back(*n.info<std::string>("path")); });
    }

    void TearDown() override {
        host.remove();
        trellik.reset();
        fs::remove_all(folder);
    }

    // The pane with a file dialog that answers what the test put in `nextSoundFile` (none:
    // cancelled), and an alert that only counts.
    std::unique_ptr<PreferencesSoundsAndAppearance> makePane() {
        PreferencesSoundsAndAppearance::Services services;
        services.chooseSoundFile = [this](std::function<void(std::optional<fs::path>)> answer) {
            ++dialogs;
            answer(nextSoundFile);
        };
        services.showImportFailure = [this] { ++failureAlerts; };
        auto pane = std::make_unique<PreferencesSoundsAndAppearance>(*trellik, services);
        host.add(pane->view());
        host.show_all();
        pane->viewWillAppear();
        testsupport::runLoopUntil([&] { return pane->view().get_mapped(); });
        return pane;
    }

    // The user picks an entry of the sound menu.
    static void chooseSound(PreferencesSoundsAndAppearance& pane, std::string_view name) {
        auto* item = pane.soundMenuItem(name);
        ASSERT_TRUE(item) << name;
        item->activate();
    }

    // Waits for the n-th sound to start; its file name.
    std::string waitForPlayed(std::size_t count) {
        EXPECT_TRUE(waitFor([&] { return played.size() >= count; })) << "sound " << count << " did not play";
        return played.size() >= count ? fs::path(played[count - 1]).filename().string() : std::string();
    }

    fs::path folder;
    EventLog log;
    std::unique_ptr<Trellik> trellik;
    std::shared_ptr<RecordingWebView> web;
    Gtk::Window host;
    std::vector<std::string> played;
    platform::ObserverToken playedToken;
    std::optional<fs::path> nextSoundFile;
    int dialogs = 0;
    int failureAlerts = 0;
};

}  // namespace

TEST_F(SoundsAndAppearanceTest, ShowsTheSettingsAndFillingWritesOrPlaysNothing) {
    defaults().setString(std::string(WQNotificationSoundManager::keyFileName), "bell");
    defaults().setBool(std::string(keys::kMonochromeMenuBar), true);
    defaults().setInteger(std::string(keys::kVisualStyle), 2);
    defaults().setInteger(std::string(keys::kFontSize), 20);
    const fs::path wallpaper = tovak::WQDirectory::userContentDirectory() / "wallpaper.jpg";
    picture(32, 24)->save(wallpaper.string(), "jpeg");

    auto pane = makePane();
    const auto& o = pane->outlets();
    EXPECT_EQ(pane->paneIdentifier(), "SoundsAndAppearance");
    EXPECT_EQ(pane->toolbarItemLabel(), "Sounds and Appearance");

    // The sound menu lists the manager's entries in order; the stored one is selected.
    const auto& list = pane->notificationSoundManager().soundList;
    ASSERT_EQ(o.souapSoundMenu->get_children().size(), list.size());
    for (const auto& sound : list) EXPECT_TRUE(pane->soundMenuItem(sound->name)) << sound->name;
    EXPECT_TRUE(pane->soundMenuItem("Bell")->get_active());
    EXPECT_EQ(o.souapSoundPopupLabel->get_text(), "Bell");
    EXPECT_TRUE(o.souapMonochromeMenuBarButton->get_active());
    EXPECT_EQ(o.souapVisualStylePupUpButton->get_active_id(), "2");
    EXPECT_EQ(o.souapVisualStylePupUpButton->get_active_text(), "Dark");
    EXPECT_EQ(o.souapVisualStylePupUpButton->get_model()->children().size(), 4u);
    EXPECT_EQ(o.souapFontSizeSlider->get_value(), 20.0);
    // The stored wallpaper is read into the well (off the main thread).
    EXPECT_TRUE(waitFor([&] { return imageWidth(o.souapWallpaperImageView->image()) == 32; }));

    // The custom entry stands out in bold italic, whether or not a file was ever imported.
    auto attribute = [&](std::string_view entry, PangoAttrType type) {
        auto* label = dynamic_cast<Gtk::Label*>(pane->soundMenuItem(entry)->get_child());
        PangoAttrList* attributes = label ? gtk_label_get_attributes(label->gobj()) : nullptr;
        if (!attributes) return -1;
        PangoAttrIterator* iterator = pango_attr_list_get_iterator(attributes);
        auto* found = reinterpret_cast<PangoAttrInt*>(pango_attr_iterator_get(iterator, type));
        const int value = found ? found->value : -1;
        pango_attr_iterator_destroy(iterator);
        return value;
    };
    EXPECT_EQ(attribute("Custom", PANGO_ATTR_WEIGHT), PANGO_WEIGHT_BOLD);
    EXPECT_EQ(attribute("Custom", PANGO_ATTR_STYLE), PANGO_STYLE_ITALIC);
    EXPECT_EQ(attribute("Bell", PANGO_ATTR_WEIGHT), -1);
    EXPECT_EQ(attribute("Bell", PANGO_ATTR_STYLE), -1);

    // Filling again, as the settings model asks, writes nothing and plays nothing.
    ASSERT_TRUE(trellik->settingsDelegate());
    trellik->settingsDelegate()->settingsDidChange();
    pane->fillControls();
    EXPECT_TRUE(log.events.empty()) << log.events.front();
    EXPECT_FALSE(defaults().object(std::string(WQNotificationSoundManager::keyCustomSound)));
    EXPECT_EQ(dialogs, 0);
    // The preview is the first sound to start: the fills before it played nothing.
    o.souapSoundPreviewButton->clicked();
    EXPECT_EQ(waitForPlayed(1), "bell.oga");

    pane->viewDidDisappear();
    EXPECT_FALSE(trellik->settingsDelegate());
}

TEST_F(SoundsAndAppearanceTest, EverySoundChoiceIsPlayedAndSaved) {
    auto pane = makePane();
    const auto& o = pane->outlets();
    EXPECT_EQ(o.souapSoundPopupLabel->get_text(), "Default") << "nothing stored: the default entry";

    chooseSound(*pane, "Bell");
    EXPECT_EQ(waitForPlayed(1), "bell.oga");
    EXPECT_EQ(storedString(WQNotificationSoundManager::keyFileName), "bell");
    EXPECT_FALSE(defaults().boolForKey(std::string(WQNotificationSoundManager::keyCustomSound)));
    EXPECT_FALSE(defaults().object(std::string(WQNotificationSoundManager::keyURL)));
    EXPECT_EQ(o.souapSoundPopupLabel->get_text(), "Bell");

    // Chosen again while selected: played again. The preview plays the saved selection.
    chooseSound(*pane, "Bell");
    EXPECT_EQ(waitForPlayed(2), "bell.oga");
    chooseSound(*pane, "Complete");
    EXPECT_EQ(waitForPlayed(3), "complete.oga");
    o.souapSoundPreviewButton->clicked();
    EXPECT_EQ(waitForPlayed(4), "complete.oga");
    EXPECT_EQ(storedString(WQNotificationSoundManager::keyFileName), "complete");
    EXPECT_TRUE(pane->soundMenuItem("Complete")->get_active());
    EXPECT_FALSE(pane->soundMenuItem("Bell")->get_active());
    EXPECT_TRUE(log.events.empty()) << "the sound is no setting of the settings model";
}

TEST_F(SoundsAndAppearanceTest, CustomImportsAFileAndAFailedImportKeepsTheOldSound) {
    // A stored name that matches no entry (a sound that went away) must survive a cancelled
    // or failed import as it is.
    defaults().setString(std::string(WQNotificationSoundManager::keyFileName), "no-longer-there");
    auto pane = makePane();
    const auto& o = pane->outlets();
    auto& custom = *pane->notificationSoundManager().userSelectedSound;
    const fs::path shortSound = folder / "short.wav", longSound = folder / "long.wav";
    ASSERT_TRUE(testsupport::writeWavFile(shortSound, 2.0));
    ASSERT_TRUE(testsupport::writeWavFile(longSound, 16.0));

    // Cancelled: nothing changes.
    chooseSound(*pane, "Custom");
    EXPECT_EQ(dialogs, 1);
    EXPECT_FALSE(pane->isImportingSound());
    EXPECT_EQ(storedString(WQNotificationSoundManager::keyFileName), "no-longer-there");
    EXPECT_EQ(o.souapSoundPopupLabel->get_text(), "Default");
    EXPECT_TRUE(pane->soundMenuItem("Default")->get_active());

    // Too long: refused with the alert; nothing is stored and no file is left.
    nextSoundFile = longSound;
    chooseSound(*pane, "Custom");
    EXPECT_TRUE(pane->isImportingSound()) << "imported on a worker";
    EXPECT_FALSE(o.souapSoundPopupButton->get_sensitive());
    ASSERT_TRUE(waitFor([&] { return failureAlerts == 1; }));
    EXPECT_FALSE(pane->isImportingSound());
    EXPECT_TRUE(o.souapSoundPopupButton->get_sensitive());
    EXPECT_EQ(storedString(WQNotificationSoundManager::keyFileName), "no-longer-there");
    EXPECT_FALSE(defaults().object(std::string(WQNotificationSoundManager::keyURL)));
    EXPECT_FALSE(custom.url);
    EXPECT_FALSE(fs::exists(tovak::WQDirectory::userContentDirectory() / "UserSelectedSoundFileName.wav"));

    // Under the limit: stored in the user-content folder, played and selected.
    nextSoundFile = shortSound;
    chooseSound(*pane, "Custom");
    ASSERT_TRUE(waitFor([&] { return !pane->isImportingSound(); }));
    const fs::path stored = tovak::WQDirectory::userContentDirectory() / "UserSelectedSoundFileName.wav";
    EXPECT_EQ(contents(stored), contents(shortSound));
    EXPECT_EQ(custom.url, stored);
    EXPECT_EQ(storedString(WQNotificationSoundManager::keyFileName), "UserSelectedSoundFileName");
    EXPECT_TRUE(defaults().boolForKey(std::string(WQNotificationSoundManager::keyCustomSound)));
    EXPECT_EQ(WQNotificationSoundManager::currentSoundSettings().url, stored);
    EXPECT_EQ(waitForPlayed(1), "UserSelectedSoundFileName.wav");
    EXPECT_EQ(o.souapSoundPopupLabel->get_text(), "Custom");
    EXPECT_EQ(failureAlerts, 1);

    // "Custom" chosen again while selected offers another file; one that fails keeps the
    // imported sound: its file, the entry and the stored selection.
    nextSoundFile = longSound;
    chooseSound(*pane, "Custom");
    EXPECT_EQ(dialogs, 4);
    ASSERT_TRUE(waitFor([&] { return failureAlerts == 2; }));
    EXPECT_EQ(contents(stored), contents(shortSound));
    EXPECT_EQ(custom.url, stored);
    EXPECT_EQ(WQNotificationSoundManager::currentSoundSettings().url, stored);
    EXPECT_EQ(storedString(WQNotificationSoundManager::keyFileName), "UserSelectedSoundFileName");
    EXPECT_TRUE(pane->soundMenuItem("Custom")->get_active());

    // A file that is no sound at all fails the same way.
    const fs::path notSound = folder / "note.wav";
    std::ofstream(notSound) << "not a sound";
    nextSoundFile = notSound;
    chooseSound(*pane, "Custom");
    ASSERT_TRUE(waitFor([&] { return failureAlerts == 3; }));
    EXPECT_EQ(contents(stored), contents(shortSound));
    // The next sound to start is the one chosen now: the failed imports played nothing.
    chooseSound(*pane, "Bell");
    EXPECT_EQ(waitForPlayed(2), "bell.oga");
}

TEST_F(SoundsAndAppearanceTest, StyleFontSizeAndMonochromeReachTheSettingsModel) {
    auto pane = makePane();
    const auto& o = pane->outlets();

    // The style: stored, applied to the page, and the pane (the settings delegate) refilled.
    o.souapVisualStylePupUpButton->set_active_id("3");
    EXPECT_EQ(defaults().integerForKey(std::string(keys::kVisualStyle)), 3);
    EXPECT_EQ(trellik->currentVisualStyle(), VisualStyle::mixed);
    EXPECT_EQ(log.events, std::vector<std::string>{"web.applyAppearance"});
    EXPECT_EQ(o.souapVisualStylePupUpButton->get_active_text(), "Mixed");
    // Chosen elsewhere (the menu) while the pane is on screen: the pane follows.
    trellik->setVisualStyle(VisualStyle::light);
    EXPECT_EQ(o.souapVisualStylePupUpButton->get_active_id(), "1");

    // The font size: a whole number, each move applied to the page.
    log.events.clear();
    o.souapFontSizeSlider->set_value(20);
    EXPECT_EQ(defaults().object(std::string(keys::kFontSize))->asInt(), 20);
    EXPECT_EQ(log.events, std::vector<std::string>{"web.applyAppearance"});
    o.souapFontSizeSlider->set_value(18.6);
    const auto stored = defaults().object(std::string(keys::kFontSize));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type(), platform::PropertyList::Type::integer) << "never a fraction";
    EXPECT_EQ(stored->asInt(), 19);

    // The monochrome tray icon.
    o.souapMonochromeMenuBarButton->clicked();
    EXPECT_TRUE(defaults().boolForKey(std::string(keys::kMonochromeMenuBar)));
    o.souapMonochromeMenuBarButton->clicked();
    EXPECT_FALSE(defaults().boolForKey(std::string(keys::kMonochromeMenuBar)));
}

TEST_F(SoundsAndAppearanceTest, WallpaperIsStoredRemovedAndKeptWhenANewOneCannotBeStored) {
    auto pane = makePane();
    auto* well = pane->outlets().souapWallpaperImageView;
    const fs::path file = tovak::WQDirectory::userContentDirectory() / "wallpaper.jpg";
    auto storedWidth = [&] {
        try {
            return Gdk::Pixbuf::create_from_file(file.string())->get_width();
        } catch (const Glib::Error&) {
            return 0;
        }
    };

    // Chosen in the well: read on a worker, stored as JPEG, the page told.
    const fs::path chosen = folder / "chosen.png";
    picture(48, 36)->save(chosen.string(), "png");
    well->openImageFile(chosen);
    ASSERT_TRUE(waitFor([&] { return storedWidth() == 48; }));
    EXPECT_EQ(contents(file).substr(0, 2), "\xFF\xD8");
    EXPECT_NE(std::find(log.events.begin(), log.events.end(), "web.updateWallpaper"), log.events.end());
    const std::string old = contents(file);

    // A picture JPEG cannot hold: the old file stays, the page hears nothing, and the well
    // shows the stored wallpaper again.
    log.events.clear();
    well->setImage(picture(65536, 1));
    well->signalAction().emit(*well);
    ASSERT_TRUE(waitFor([&] { return imageWidth(well->image()) == 48; }));
    EXPECT_EQ(contents(file), old);
    EXPECT_TRUE(log.events.empty());

    // Removed in the well: the file goes.
    well->resetImage();
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(well->image());
    EXPECT_NE(std::find(log.events.begin(), log.events.end(), "web.updateWallpaper"), log.events.end());
}

TEST_F(SoundsAndAppearanceTest, TheLatestWallpaperChoiceWins) {
    // A picture still being encoded when the user removes the wallpaper must not bring it back.
    const fs::path file = tovak::WQDirectory::userContentDirectory() / "wallpaper.jpg";
    std::optional<bool> first, second;
    storeWallpaper(*trellik, picture(640, 480), [&](bool stored) { first = stored; });
    storeWallpaper(*trellik, {}, [&](bool stored) { second = stored; });
    ASSERT_TRUE(waitFor([&] { return first && second; }));
    EXPECT_FALSE(*first);
    EXPECT_TRUE(*second);
    EXPECT_FALSE(fs::exists(file));

    // Two pictures: the second one is stored, whichever finishes encoding first.
    first.reset();
    second.reset();
    storeWallpaper(*trellik, picture(640, 480), [&](bool stored) { first = stored; });
    storeWallpaper(*trellik, picture(20, 10), [&](bool stored) { second = stored; });
    ASSERT_TRUE(waitFor([&] { return first && second; }));
    EXPECT_FALSE(*first);
    EXPECT_TRUE(*second);
    EXPECT_EQ(Gdk::Pixbuf::create_from_file(file.string())->get_width(), 20);
}
