// Notification sounds: the menu list from the bundle's list, the stored selection, importing a
// custom sound (the 15-second limit, a failed import keeping the previous file) and previews.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "RunLoop.h"
#include "WQDirectory.h"
#include "WQTempFile.h"
#include "WavFile.h"
#include "foundation/Bundle.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "media/Sound.h"
#include "notifications/WQNotificationSound.h"

using namespace parlivo;
namespace fs = std::filesystem;
using testsupport::runLoopUntil;

namespace {

platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> names(const WQNotificationSoundManager& manager) {
    std::vector<std::string> list;
    for (const auto& sound : manager.soundList) list.push_back(sound->name);
    return list;
}

class NotificationSoundsTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("PARLIVO_AUDIO_SINK", "fakesink", 1);
        for (auto key : {WQNotificationSoundManager::keyFileName, WQNotificationSoundManager::keyCustomSound,
                         WQNotificationSoundManager::keyURL})
            defaults().remove(std::string(key));
        folder = fs::temp_directory_path() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(folder);
        fs::remove_all(tovak::WQDirectory::userContentDirectory());
    }
    void TearDown() override { fs::remove_all(folder); }

    bool import(WQNotificationSound& sound, const fs::path& file) {
        std::optional<bool> result;
        sound.importCustomSound(file, [&](bool imported) { result = imported; });
        EXPECT_TRUE(runLoopUntil([&] { return result.has_value(); }, 30.0));
        return result.value_or(false);
    }

    fs::path folder;
};

}  // namespace

TEST_F(NotificationSoundsTest, TheMenuListsDefaultTheBundlesThemeSoundsAndCustom) {
    WQNotificationSoundManager manager;
    EXPECT_EQ(names(manager), (std::vector<std::string>{"Default", "Message", "Bell", "Complete", "Information",
                                                        "Attention", "Question", "Custom"}));
    EXPECT_EQ(manager.soundList.front(), manager.defaultSound);
    EXPECT_EQ(manager.defaultSound->fileName, "message-new-instant");
    EXPECT_FALSE(manager.defaultSound->url);
    EXPECT_FALSE(manager.defaultSound->customSound);
    EXPECT_EQ(manager.soundList.back(), manager.userSelectedSound);
    EXPECT_EQ(manager.userSelectedSound->fileName, "UserSelectedSoundFileName");
    EXPECT_TRUE(manager.userSelectedSound->customSound);
    EXPECT_TRUE(manager.userSelectedSound->isUserSelectedCustomSound());
    for (const auto& sound : manager.soundList) {
        if (sound == manager.userSelectedSound) continue;
        EXPECT_TRUE(sound->sound()) << sound->name;
    }

    EXPECT_EQ(manager.soundForFileName("bell")->name, "Bell");
    EXPECT_EQ(manager.soundForName("Question")->fileName, "window-question");
    EXPECT_EQ(manager.soundForName("No such sound"), manager.defaultSound);
    EXPECT_EQ(manager.soundForFileName("Bell"), manager.defaultSound);  // exact match only
}

TEST_F(NotificationSoundsTest, ListEntriesOfTheWrongShapeOrWithoutASoundAreLeftOut) {
    fs::create_directories(folder / "bundle");
    platform::Bundle empty(folder / "bundle");
    EXPECT_EQ(names(WQNotificationSoundManager(empty)), (std::vector<std::string>{"Default", "Custom"}));

    std::ofstream(folder / "bundle" / "WQNotificationSoundList.plist") << R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><array>
  <dict><key>Name</key><string>Bell</string><key>FileName</key><string>bell</string><key>CustomSound</key><false/></dict>
  <dict><key>Name</key><string>Texty</string><key>FileName</key><string>bell</string><key>CustomSound</key><string>NO</string></dict>
  <dict><key>FileName</key><string>complete</string><key>CustomSound</key><false/></dict>
  <dict><key>Name</key><string>Gone</string><key>FileName</key><string>no-such-sound</string><key>CustomSound</key><false/></dict>
  <dict><key>Name</key><string>Escape</string><key>FileName</key><string>../stereo/bell</string><key>CustomSound</key><false/></dict>
  <string>not a dictionary</string>
  <dict><key>Name</key><string>Mine</string><key>FileName</key><string>complete</string><key>CustomSound</key><true/></dict>
</array></plist>)";
    platform::Bundle bundle(folder / "bundle");
    WQNotificationSoundManager manager(bundle);
    EXPECT_EQ(names(manager), (std::vector<std::string>{"Default", "Bell", "Mine", "Custom"}));
    EXPECT_TRUE(manager.soundList[2]->customSound);
    // Told apart by its file name, the list's "Mine" is no custom entry.
    EXPECT_FALSE(manager.soundList[2]->isUserSelectedCustomSound());
}

TEST_F(NotificationSoundsTest, TheSelectionIsStoredUnderItsThreeKeys) {
    // Nothing stored: the default entry and the desktop's default message sound.
    {
        WQNotificationSoundManager manager;
        EXPECT_EQ(manager.currentSound(), manager.defaultSound);
        auto settings = WQNotificationSoundManager::currentSoundSettings();
        EXPECT_EQ(settings.fileName, "message-new-instant");
        EXPECT_FALSE(settings.url);
        EXPECT_FALSE(settings.customSound);
        manager.saveCurrentSound(*manager.soundForName("Bell"));
    }
    EXPECT_EQ(defaults().stringForKey("WQNotificationSound.FileName"), "bell");
    EXPECT_FALSE(defaults().boolForKey("WQNotificationSound.CustomSound"));
    EXPECT_FALSE(defaults().object("WQNotificationSound.URL"));
    EXPECT_EQ(WQNotificationSoundManager().currentSound()->name, "Bell");

    // The custom entry with its file.
    const fs::path file = tovak::WQDirectory::userContentDirectory() / "UserSelectedSoundFileName.wav";
    ASSERT_TRUE(testsupport::writeWavFile(file, 1.0));
    WQNotificationSound custom("Custom", "UserSelectedSoundFileName", file, true);
    WQNotificationSoundManager().saveCurrentSound(custom);
    auto settings = WQNotificationSoundManager::currentSoundSettings();
    EXPECT_EQ(settings.fileName, "UserSelectedSoundFileName");
    EXPECT_EQ(settings.url, file);
    EXPECT_TRUE(settings.customSound);
    WQNotificationSoundManager reloaded;
    EXPECT_EQ(reloaded.currentSound(), reloaded.userSelectedSound);
    EXPECT_EQ(reloaded.userSelectedSound->url, file);

    // A name that no entry has any more: the menu shows the default, notifications keep the name.
    defaults().setString("WQNotificationSound.FileName", "removed-sound");
    EXPECT_EQ(WQNotificationSoundManager().currentSound()->name, "Default");
    EXPECT_EQ(WQNotificationSoundManager::currentSoundSettings().fileName, "removed-sound");
    // A URL that is no local file is no custom sound file.
    defaults().setURL("WQNotificationSound.URL", "https://example.org/sound.wav");
    EXPECT_FALSE(WQNotificationSoundManager::currentSoundSettings().url);
}

TEST_F(NotificationSoundsTest, ImportAcceptsUpToFifteenSecondsAndAFailureKeepsThePreviousFile) {
    WQNotificationSoundManager manager;
    auto& custom = *manager.userSelectedSound;
    const fs::path stored = tovak::WQDirectory::userContentDirectory() / "UserSelectedSoundFileName.wav";

    struct Case {
        double seconds;
        bool accepted;
    };
    for (const Case& c : {Case{14.9, true}, Case{15.0, true}, Case{15.1, false}}) {
        SCOPED_TRACE(c.seconds);
        const fs::path chosen = folder / "chosen.wav";
        ASSERT_TRUE(testsupport::writeWavFile(chosen, c.seconds));
        const std::string before = fs::exists(stored) ? contents(stored) : "";
        EXPECT_EQ(import(custom, chosen), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(custom.url, stored);
            EXPECT_EQ(contents(stored), contents(chosen));
        } else {
            // The 15.0-second file of the case before is still there and still selected.
            EXPECT_EQ(custom.url, stored);
            EXPECT_EQ(contents(stored), before);
        }
    }

    // Not a sound, and a file that does not exist: refused, the previous sound stays.
    const std::string kept = contents(stored);
    std::ofstream(folder / "notes.wav") << "not a sound";
    EXPECT_FALSE(import(custom, folder / "notes.wav"));
    EXPECT_FALSE(import(custom, folder / "missing.wav"));
    EXPECT_EQ(custom.url, stored);
    EXPECT_EQ(contents(stored), kept);
    // Only the stored sound is in the folder, and no temporary copy is left behind.
    auto content = fs::directory_iterator(tovak::WQDirectory::userContentDirectory());
    EXPECT_EQ(std::distance(content, fs::directory_iterator()), 1);
    if (fs::exists(tovak::WQTempFile::commonDirectory())) {
        auto temporary = fs::directory_iterator(tovak::WQTempFile::commonDirectory());
        EXPECT_EQ(std::distance(temporary, fs::directory_iterator()), 0);
    }
}

TEST_F(NotificationSoundsTest, AnImportWithAnotherExtensionLeavesTheOtherFileWhereItIs) {
    WQNotificationSoundManager manager;
    auto& custom = *manager.userSelectedSound;
    auto themed = platform::Sound::pathForSoundNamed("bell", platform::Bundle::main());
    ASSERT_TRUE(themed);
    fs::copy_file(*themed, folder / "bell.oga");
    ASSERT_TRUE(import(custom, folder / "bell.oga"));
    ASSERT_TRUE(testsupport::writeWavFile(folder / "tone.wav", 2.0));
    ASSERT_TRUE(import(custom, folder / "tone.wav"));
    const fs::path content = tovak::WQDirectory::userContentDirectory();
    EXPECT_TRUE(fs::exists(content / "UserSelectedSoundFileName.oga"));
    EXPECT_TRUE(fs::exists(content / "UserSelectedSoundFileName.wav"));
    EXPECT_EQ(custom.url, content / "UserSelectedSoundFileName.wav");
}

TEST_F(NotificationSoundsTest, PreviewsPlayTheEntryOrTheBundlesDefaultSound) {
    std::vector<std::string> played;
    auto token = platform::NotificationCenter::defaultCenter().addObserver(
        platform::Sound::didStartPlayingNotification,
        [&](const platform::Notification& n) { played.push_back(fs::path(*n.info<std::string>("path")).filename()); });

    WQNotificationSoundManager manager;
    manager.soundForName("Bell")->play();
    ASSERT_TRUE(runLoopUntil([&] { return played.size() == 1; }));
    WQNotificationSound unknown("Unknown", "no-such-sound", std::nullopt, false);
    unknown.play();
    ASSERT_TRUE(runLoopUntil([&] { return played.size() == 2; }));
    WQNotificationSound lost("Lost", "UserSelectedSoundFileName", folder / "deleted.wav", true);
    lost.play();
    ASSERT_TRUE(runLoopUntil([&] { return played.size() == 3; }));
    EXPECT_EQ(played, (std::vector<std::string>{"bell.oga", "defaultSound.wav", "defaultSound.wav"}));
}
