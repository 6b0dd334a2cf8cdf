// Sounds through GStreamer with a fake audio sink: finding named sounds, durations from the
// discoverer, and playback from start to end, stopped, failing, and outliving its object.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "RunLoop.h"
#include "WavFile.h"
#include "foundation/Bundle.h"
#include "foundation/NotificationCenter.h"
#include "media/Sound.h"

namespace fs = std::filesystem;
using platform::Sound;
using testsupport::runLoopUntil;

namespace {

struct PlaybackLog {
    std::vector<std::string> events;  // "start <file>", "end <file> ok" / "end <file> failed"
    platform::ObserverToken started = platform::NotificationCenter::defaultCenter().addObserver(
        Sound::didStartPlayingNotification, [this](const platform::Notification& n) {
            events.push_back("start " + fs::path(*n.info<std::string>("path")).filename().string());
        });
    platform::ObserverToken finished = platform::NotificationCenter::defaultCenter().addObserver(
        Sound::didFinishPlayingNotification, [this](const platform::Notification& n) {
            events.push_back("end " + fs::path(*n.info<std::string>("path")).filename().string() +
                             (*n.info<bool>("success") ? " ok" : " failed"));
        });
};

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("PARLIVO_AUDIO_SINK", "fakesink", 1);
        folder = fs::temp_directory_path() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(folder / "bundle" / "sounds");
    }
    void TearDown() override { fs::remove_all(folder); }

    std::optional<double> probe(const fs::path& path) {
        std::optional<std::optional<double>> result;
        Sound::probeDuration(path, [&](std::optional<double> seconds) { result = seconds; });
        EXPECT_TRUE(runLoopUntil([&] { return result.has_value(); }, 30.0));
        return result.value_or(std::nullopt);
    }

    fs::path folder;
};

TEST_F(SoundTest, NamedSoundsComeFromTheBundleThenTheSoundTheme) {
    ASSERT_TRUE(testsupport::writeWavFile(folder / "bundle" / "sounds" / "defaultSound.wav", 0.1));
    ASSERT_TRUE(testsupport::writeWavFile(folder / "bundle" / "sounds" / "bell.wav", 0.1));
    platform::Bundle bundle(folder / "bundle");

    EXPECT_EQ(Sound::pathForSoundNamed("defaultSound", bundle), folder / "bundle" / "sounds" / "defaultSound.wav");
    // The bundle's own copy wins over the theme's.
    EXPECT_EQ(Sound::pathForSoundNamed("bell", bundle), folder / "bundle" / "sounds" / "bell.wav");
    // The freedesktop theme (sound-theme-freedesktop) holds the default message sound.
    auto themed = Sound::pathForSoundNamed("message-new-instant", bundle);
    ASSERT_TRUE(themed);
    EXPECT_EQ(themed->filename(), "message-new-instant.oga");

    for (const char* name : {"", "no-such-sound", "../sounds/defaultSound", "sounds/defaultSound", ".hidden"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(Sound::pathForSoundNamed(name, bundle));
        EXPECT_FALSE(Sound::named(name, bundle));
    }
    EXPECT_FALSE(Sound::contentsOfFile(folder / "missing.wav"));
    EXPECT_FALSE(Sound::contentsOfFile(folder));  // a folder is no sound
}

TEST_F(SoundTest, DurationsComeFromTheFileAndNonSoundsHaveNone) {
    struct Case {
        double seconds;
        int sampleRate;
    };
    for (const Case& c : {Case{14.9, 8000}, Case{15.0, 8000}, Case{15.1, 8000}, Case{0.25, 44100}}) {
        SCOPED_TRACE(c.seconds);
        const fs::path file = folder / "tone.wav";
        ASSERT_TRUE(testsupport::writeWavFile(file, c.seconds, c.sampleRate));
        auto duration = probe(file);
        ASSERT_TRUE(duration);
        EXPECT_DOUBLE_EQ(*duration, c.seconds);
    }
    std::ofstream(folder / "text.wav") << "this is not a sound at all";
    EXPECT_FALSE(probe(folder / "text.wav"));
    EXPECT_FALSE(probe(folder / "missing.wav"));
    // A picture is a file GStreamer reads, but it holds no audio.
    EXPECT_FALSE(probe(fs::path(PARLIVO_SOURCE_DIR) / "app/resources/desktop/net.vantreo.mac.WhatsApp.svg"));
}

TEST_F(SoundTest, PlaybackRunsToTheEndCanBeStoppedAndReportsFailure) {
    ASSERT_TRUE(testsupport::writeWavFile(folder / "short.wav", 0.2));
    std::ofstream(folder / "broken.wav") << "RIFF but not really";
    PlaybackLog log;

    auto sound = Sound::contentsOfFile(folder / "short.wav");
    ASSERT_TRUE(sound);
    EXPECT_TRUE(sound->play());
    EXPECT_TRUE(sound->isPlaying());
    EXPECT_FALSE(sound->play());  // busy
    ASSERT_TRUE(runLoopUntil([&] { return !sound->isPlaying(); }, 30.0));
    EXPECT_EQ(log.events, (std::vector<std::string>{"start short.wav", "end short.wav ok"}));

    // Stopped at once, then played again from the start.
    log.events.clear();
    EXPECT_TRUE(sound->play());
    EXPECT_TRUE(sound->stop());
    EXPECT_FALSE(sound->stop());
    EXPECT_TRUE(sound->play());
    ASSERT_TRUE(runLoopUntil([&] { return !sound->isPlaying(); }, 30.0));
    EXPECT_EQ(log.events, (std::vector<std::string>{"end short.wav failed", "start short.wav", "end short.wav ok"}));

    // A file that is no sound ends in failure; the program goes on.
    log.events.clear();
    auto broken = Sound::contentsOfFile(folder / "broken.wav");
    ASSERT_TRUE(broken);
    EXPECT_TRUE(broken->play());
    ASSERT_TRUE(runLoopUntil([&] { return !broken->isPlaying(); }, 30.0));
    ASSERT_FALSE(log.events.empty());
    EXPECT_EQ(log.events.back(), "end broken.wav failed");
}

TEST_F(SoundTest, ASoundLetGoOfWhilePlayingPlaysToTheEnd) {
    ASSERT_TRUE(testsupport::writeWavFile(folder / "short.wav", 0.2));
    PlaybackLog log;
    Sound::contentsOfFile(folder / "short.wav")->play();
    ASSERT_TRUE(runLoopUntil([&] { return log.events.size() == 2; }, 30.0));
    EXPECT_EQ(log.events.back(), "end short.wav ok");
}

}  // namespace
