// The camera, standalone in a window with the test picture and tone: a photo through the editor
// to the delegate, recordings ended by the user and by each limit, each movie mode's road,
// back during the delivery window, the plain error states, and every capture resource let go
// when the camera is left or its window goes.
#include <gtest/gtest.h>
#include <gtkmm.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "MediaFixtures.h"
#include "RunLoop.h"
#include "controls/QORSwitch.h"
#include "foundation/MainQueue.h"
#include "foundation/NotificationCenter.h"
#include "foundation/Timer.h"
#include "foundation/UserDefaults.h"
#include "media/AssetExportSession.h"
#include "media/CaptureSource.h"
#include "media/Sound.h"
#include "media/WQMediaControlViews.h"
#include "media/WQMediaImageView.h"
#include "media/WQMediaViewController.h"
#include "settings/Keys.h"

using namespace parlivo;
using namespace mediafixtures;
using State = WQMediaViewController::State;

namespace {

struct Delegate : WQMediaViewControllerDelegate {
    std::vector<std::shared_ptr<const WQEditedPhoto>> photos;  // null: back
    std::vector<std::shared_ptr<tovak::WQTempFile>> videos;
    // What the file held when it was handed over.
    std::vector<Bytes> videoBytes;

    void didTakePhoto(WQMediaViewController&, std::shared_ptr<const WQEditedPhoto> photo) override {
        photos.push_back(std::move(photo));
    }
    void didRecordVideo(WQMediaViewController&, std::shared_ptr<tovak::WQTempFile> file) override {
        videoBytes.push_back(file ? readFile(file->url()) : Bytes{});
        videos.push_back(std::move(file));
    }
};

class FakeSheet : public WQModalProgressSheet {
public:
    std::string title;
    std::optional<std::string> subTitle;
    std::function<void()> stopAction;
    bool stopOnFirstProgress = false;
    bool begun = false, ended = false;
    int progressReports = 0;
    void beginSheet() override { begun = true; }
    void endSheet() override { ended = true; }
    void progressDidChange(double) override {
        if (++progressReports == 1 && stopOnFirstProgress) stopAction();
    }
};

class FakeHost : public WQMediaConversionHost {
public:
    std::vector<std::shared_ptr<FakeSheet>> sheets;
    bool stopOnFirstProgress = false;
    std::shared_ptr<WQModalProgressSheet> makeProgressSheet(const std::string& title,
                                                            const std::optional<std::string>& subTitle,
                                                            std::function<void()> stopAction) override {
        auto sheet = std::make_shared<FakeSheet>();
        sheet->title = title;
        sheet->subTitle = subTitle;
        sheet->stopAction = std::move(stopAction);
        sheet->stopOnFirstProgress = stopOnFirstProgress;
        sheets.push_back(sheet);
        return sheet;
    }
    void presentMessage(const std::string&, const std::string&) override {}
};

double movieDuration(const fs::path& file) {
    const auto result = platform::Subprocess::run({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                                                   "default=noprint_wrappers=1:nokey=1", file.string()});
    return result.succeeded() ? std::atof(result.standardOutput.c_str()) : -1;
}

}  // namespace

class MediaViewControllerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("PARLIVO_CAMERA_SOURCE", "test", 1);
        setenv("PARLIVO_MICROPHONE_SOURCE", "test", 1);
        setenv("PARLIVO_AUDIO_SINK", "fakesink", 1);
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs a display";
        Gtk::Main::init_gtkmm_internals();
    }

    void SetUp() override {
        platform::UserDefaults::standard().remove(std::string(keys::mediaType));
        chain = WQMediaConversionChain::create(tovak::WQVideoConverter::create());
        chain->setHost(host);
        setMovieSettings({MovieFileMode::raw, 0, 0, 1, {}});
    }

    void TearDown() override {
        if (window) window->remove();
        camera.reset();
        window.reset();
        EXPECT_TRUE(testsupport::runLoopUntil([] { return platform::livePipelineCount() == 0; }, 20));
        setenv("PARLIVO_CAMERA_SOURCE", "test", 1);
        setenv("PARLIVO_MICROPHONE_SOURCE", "test", 1);
    }

    void setMovieSettings(WQMediaViewController::MovieSettings settings) {
        movie = settings;
        chain->movieSettings = [this] {
            return WQMediaConversionChain::MovieSettings{movie.mode, movie.targetFileSize, movie.exportPresets};
        };
    }

    // A camera in a window of its own, shown (which starts it).
    void open(WQMediaViewController::Environment environment = {}) {
        environment.conversionChain = chain;
        environment.movieSettings = [this] { return movie; };
        environment.camera.width = 320;
        environment.camera.height = 240;
        if (deliveryDelay) environment.deliveryDelay = *deliveryDelay;
        camera = WQMediaViewController::create(std::move(environment));
        camera->setDelegate(delegate);
        window = std::make_unique<Gtk::Window>();
        window->set_default_size(800, 600);
        window->add(camera->view());
        window->show_all();
    }

    bool waitFor(State state, double seconds = 30) {
        return testsupport::runLoopUntil([&] { return camera->state() == state; }, seconds);
    }

    // Waits until a recording has some pictures in it, then presses the record button to stop it.
    void recordForAWhileAndStop() {
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return camera->session().recordedDuration() > 0.5; }, 20));
        ASSERT_TRUE(camera->recordButton().get_sensitive());
        camera->recordButton().clicked();
    }

    std::shared_ptr<platform::TouchBarButton> touchBarButton(const std::string& identifier) {
        auto item = std::dynamic_pointer_cast<platform::CustomTouchBarItem>(
            camera->mediaTouchBar().touchBar()->itemForIdentifier(identifier));
        return item ? item->view() : nullptr;
    }

    // With PARLIVO_SCREENSHOT_DIR set, the window as it looks now goes to <dir>/<name>.png.
    void screenshot(const std::string& name) {
        const char* dir = std::getenv("PARLIVO_SCREENSHOT_DIR");
        if (!dir) return;
        testsupport::runLoopFor(0.3);
        auto gdkWindow = window->get_window();
        auto pixbuf = Gdk::Pixbuf::create(gdkWindow, 0, 0, gdkWindow->get_width(), gdkWindow->get_height());
        pixbuf->save(std::string(dir) + "/" + name + ".png", "png");
    }

    WQMediaViewController::MovieSettings movie;
    std::optional<double> deliveryDelay = 0.2;
    std::shared_ptr<FakeHost> host = std::make_shared<FakeHost>();
    std::shared_ptr<WQMediaConversionChain> chain;
    std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();
    std::shared_ptr<WQMediaViewController> camera;
    std::unique_ptr<Gtk::Window> window;
};

TEST_F(MediaViewControllerTest, APhotoGoesThroughTheEditorToTheDelegate) {
    storeMediaType(WQMediaType::photo);
    std::vector<std::string> soundsPlayed;
    auto observer = platform::NotificationCenter::defaultCenter().addObserver(
        platform::Sound::didStartPlayingNotification, [&](const platform::Notification& note) {
            if (auto path = note.info<std::string>("path")) soundsPlayed.push_back(*path);
        });
    open();
    EXPECT_EQ(camera->statusTextField().get_text(), "Starting live preview");
    EXPECT_FALSE(camera->recordButton().get_sensitive()) << "nothing to take before the picture runs";
    ASSERT_TRUE(waitFor(State::ready));
    EXPECT_TRUE(camera->session().isRunning());
    EXPECT_FALSE(camera->statusTextField().get_visible()) << "the live picture covers the status line";
    EXPECT_TRUE(camera->photoVideoSwitch().checked());
    EXPECT_EQ(camera->controlView().recordButtonImageName(), "imageButtonRed");
    EXPECT_TRUE(touchBarButton(WQMediaTouchBar::identifiers().takePhoto));
    screenshot("camera-photo-mode");

    // Taken, then abandoned in the editor: the camera was let go meanwhile and starts again.
    camera->recordButton().clicked();
    ASSERT_TRUE(waitFor(State::editing));
    ASSERT_TRUE(camera->photoEditor());
    EXPECT_FALSE(camera->session().isRunning());
    EXPECT_EQ(platform::livePipelineCount(), 0);
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return camera->photoEditor()->editor()->shownPreview().isValid(); }));
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return !soundsPlayed.empty(); }));
    EXPECT_EQ(fs::path(soundsPlayed.at(0)).filename(), "shutter.wav");
    screenshot("camera-photo-editor");
    // The camera's own controls under the editor can be reached by neither the keyboard nor a
    // screen reader: its back would leave the camera behind the editor.
    EXPECT_FALSE(camera->backButton().get_is_drawable());
    EXPECT_FALSE(camera->recordButton().get_is_drawable());
    EXPECT_FALSE(camera->statusTextField().get_is_drawable());
    camera->photoEditor()->backButton().clicked();
    ASSERT_TRUE(waitFor(State::ready));
    EXPECT_FALSE(camera->photoEditor());
    EXPECT_TRUE(camera->session().isRunning());
    EXPECT_TRUE(camera->backButton().get_is_drawable());
    EXPECT_TRUE(camera->recordButton().get_is_drawable());

    // Taken with the touch bar's button, edited and sent.
    ASSERT_TRUE(touchBarButton(WQMediaTouchBar::identifiers().takePhoto)->press());
    ASSERT_TRUE(waitFor(State::editing));
    auto editor = camera->photoEditor();
    editor->saturationSlider().set_value(0);
    editor->sendButton().clicked();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !delegate->photos.empty(); }, 20));
    ASSERT_TRUE(delegate->photos[0]);
    EXPECT_EQ(delegate->photos[0]->image.width, 320);
    EXPECT_EQ(delegate->photos[0]->image.height, 240);
    const auto& pixels = delegate->photos[0]->image.pixels;
    EXPECT_EQ(pixels[0], pixels[1]) << "sent as edited: no saturation left";
    EXPECT_GT(delegate->photos[0]->jpegData.size(), 100u);
    EXPECT_EQ(camera->state(), State::delivered);
    EXPECT_FALSE(camera->session().isRunning());
    EXPECT_TRUE(delegate->videos.empty());
}

// A recording that reaches the maximum length or size stops by itself; the limit alert shows
// and the video is handed over. One stopped by the user shows no alert.
TEST_F(MediaViewControllerTest, RecordingsEndedByTheUserOrByALimit) {
    struct Case {
        std::string name;
        std::int64_t maximumLength, maximumFileSize;
        bool stopByUser;
    };
    const std::vector<Case> cases{
        {"stopped by the user", 0, 0, true},
        {"the length limit", 1, 0, false},
        {"the size limit", 0, 60000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        setMovieSettings({MovieFileMode::raw, c.maximumFileSize, c.maximumLength, 1, {}});
        // Alerts dismissed before are gone in a later main-loop task.
        ASSERT_TRUE(testsupport::runLoopUntil([] { return WQMediaViewController::recordingLimitAlerts().empty(); }));
        const std::size_t alertsBefore = 0;
        open();
        ASSERT_TRUE(waitFor(State::ready));
        EXPECT_FALSE(camera->photoVideoSwitch().checked()) << "video mode on the first run";
        EXPECT_EQ(camera->controlView().recordButtonImageName(), "videoButtonRed");
        camera->recordButton().clicked();
        EXPECT_EQ(camera->state(), State::recording);
        EXPECT_EQ(camera->controlView().recordButtonImageName(), "videoButtonStop");
        EXPECT_FALSE(camera->photoVideoSwitch().get_sensitive());
        // Started: the time reads 00:01 at once, and the touch bar shows the recording.
        ASSERT_TRUE(testsupport::runLoopUntil(
            [&] { return camera->controlView().timeTextField().text() == "00:01"; }, 20));
        EXPECT_TRUE(camera->controlView().timeTextField().get_visible());
        EXPECT_FALSE(touchBarButton(WQMediaTouchBar::identifiers().back)->isEnabled());
        EXPECT_EQ(touchBarButton(WQMediaTouchBar::identifiers().recording)->imageName(),
                  "NSImageNameTouchBarRecordStopTemplate");
        if (c.stopByUser) {
            ASSERT_TRUE(testsupport::runLoopUntil([&] { return camera->session().recordedDuration() > 1.5; }, 20));
            screenshot("camera-recording");
            // The touch bar's record button stops it as the on-screen one does.
            ASSERT_TRUE(touchBarButton(WQMediaTouchBar::identifiers().recording)->press());
        }

        ASSERT_TRUE(testsupport::runLoopUntil([&] { return !delegate->videos.empty(); }, 60));
        EXPECT_EQ(delegate->videos[0]->url().extension(), ".mp4");
        const Bytes& bytes = delegate->videoBytes[0];
        EXPECT_FALSE(bytes.empty());
        if (c.maximumFileSize) {
            EXPECT_LE(bytes.size(), std::size_t(c.maximumFileSize));
        }
        if (c.maximumLength) {
            EXPECT_NEAR(movieDuration(delegate->videos[0]->url()), 1.0, 0.15);
        }
        const auto& alerts = WQMediaViewController::recordingLimitAlerts();
        if (c.stopByUser) {
            EXPECT_EQ(alerts.size(), alertsBefore);
        } else {
            ASSERT_EQ(alerts.size(), alertsBefore + 1);
            EXPECT_EQ(alerts.back()->property_text().get_value(), "Recording limit reached");
            const std::string body = alerts.back()->property_secondary_text().get_value();
            EXPECT_NE(body.find("over the WhatsApp service.\n\nAfter the recording limit is reached, "),
                      std::string::npos);
            EXPECT_TRUE(alerts.back()->get_visible());
            alerts.back()->response(Gtk::RESPONSE_OK);
        }
        EXPECT_EQ(camera->state(), State::delivered);
        EXPECT_FALSE(camera->session().isRunning());
        TearDown();
        delegate = std::make_shared<Delegate>();
    }
}

// raw: the recording as it is; fFmpeg: remuxed into a new MP4; avFoundation: transcoded into
// MP4 through the conversion chain, behind a sheet without a file name.
TEST_F(MediaViewControllerTest, EachMovieModeTakesItsRoad) {
    struct Case {
        MovieFileMode mode;
        bool writtenByFFmpeg;
        std::size_t sheets;
    };
    const std::vector<Case> cases{
        {MovieFileMode::raw, false, 0},
        {MovieFileMode::fFmpeg, true, 0},
        {MovieFileMode::avFoundation, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.mode));
        SetUp();
        setMovieSettings({c.mode, 0, 0, 1, std::vector<std::string>{std::string(platform::AssetExportSession::presetLowQuality)}});
        open();
        ASSERT_TRUE(waitFor(State::ready));
        camera->recordButton().clicked();
        recordForAWhileAndStop();
        ASSERT_TRUE(waitFor(State::finishing));
        EXPECT_FALSE(camera->recordButton().get_sensitive()) << "no new recording while this one is handed over";
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return !delegate->videos.empty(); }, 90));
        const auto& file = delegate->videos[0];
        EXPECT_EQ(file->url().extension(), ".mp4");
        const std::string brand = majorBrand(delegate->videoBytes[0]);
        EXPECT_TRUE(brand == "isom" || brand == "mp42") << brand << ": an MP4, as its name says";
        EXPECT_GT(movieDuration(file->url()), 0.3);
        const Bytes& bytes = delegate->videoBytes[0];
        const bool lavf = std::search(bytes.begin(), bytes.end(), std::begin("Lavf"), std::end("Lavf") - 1) != bytes.end();
        EXPECT_EQ(lavf, c.writtenByFFmpeg) << "the recording itself, or what ffmpeg made of it";
        EXPECT_EQ(host->sheets.size(), c.sheets);
        if (c.sheets) {
            EXPECT_EQ(host->sheets[0]->title, "Converting Video");
            EXPECT_EQ(host->sheets[0]->subTitle, std::nullopt);
            EXPECT_TRUE(host->sheets[0]->ended);
        }
        EXPECT_EQ(camera->state(), State::delivered);
        EXPECT_EQ(WQMediaViewController::recordingLimitAlerts().size(), 0u);
        TearDown();
        delegate = std::make_shared<Delegate>();
        host = std::make_shared<FakeHost>();
    }
}

// A remux that fails and a conversion stopped on its sheet hand over nothing: the camera stays
// open with its picture running, and the user can record again or leave.
TEST_F(MediaViewControllerTest, FailedRemuxAndStoppedConversionDeliverNothing) {
    for (const bool stopConversion : {false, true}) {
        SCOPED_TRACE(stopConversion ? "stopped conversion" : "failed remux");
        SetUp();
        host->stopOnFirstProgress = true;
        setMovieSettings({stopConversion ? MovieFileMode::avFoundation : MovieFileMode::fFmpeg, 0, 0, 1,
                          std::vector<std::string>{std::string(platform::AssetExportSession::presetHighestQuality)}});
        WQMediaViewController::Environment environment;
        environment.ffmpeg.executable = "/bin/false";
        open(environment);
        ASSERT_TRUE(waitFor(State::ready));
        camera->recordButton().clicked();
        recordForAWhileAndStop();
        ASSERT_TRUE(waitFor(State::finishing));
        ASSERT_TRUE(waitFor(State::ready, 60));
        EXPECT_TRUE(delegate->videos.empty());
        EXPECT_TRUE(camera->session().isRunning());
        EXPECT_TRUE(camera->recordButton().get_sensitive());
        EXPECT_TRUE(camera->photoVideoSwitch().get_sensitive());
        if (stopConversion) {
            ASSERT_EQ(host->sheets.size(), 1u);
            EXPECT_TRUE(host->sheets[0]->ended);
        }
        camera->backButton().clicked();
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return delegate->photos.size() == 1; }));
        EXPECT_FALSE(delegate->photos[0]) << "back: no photo";
        TearDown();
        delegate = std::make_shared<Delegate>();
        host = std::make_shared<FakeHost>();
    }
}

// The one-second window before a raw recording is handed over: back ends it, and nothing is
// handed over afterwards.
TEST_F(MediaViewControllerTest, BackCancelsTheDelivery) {
    deliveryDelay.reset();  // the real one second
    open();
    ASSERT_TRUE(waitFor(State::ready));
    camera->recordButton().clicked();
    recordForAWhileAndStop();
    ASSERT_TRUE(waitFor(State::finishing));
    // Back and the switch come back as the recording ends; back leaves at once.
    ASSERT_TRUE(camera->backButton().get_visible());
    camera->backButton().clicked();
    EXPECT_EQ(camera->state(), State::delivered);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return delegate->photos.size() == 1; }));
    EXPECT_FALSE(delegate->photos[0]);
    // A timer set now fires after the cancelled delivery would have.
    bool marker = false;
    auto timer = platform::Timer::scheduled(1.2, false, [&](platform::Timer&) { marker = true; });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return marker; }));
    EXPECT_TRUE(delegate->videos.empty());
    EXPECT_EQ(delegate->photos.size(), 1u);
    EXPECT_EQ(platform::livePipelineCount(), 0);
}

// No camera, no microphone, no encoders: said plainly, and only what still works can be used.
TEST_F(MediaViewControllerTest, WhatIsMissingIsSaidAndItsControlsAreOff) {
    struct Case {
        std::string name, camera, microphone;
        std::string status;
    };
    const std::vector<Case> cases{
        {"no camera", "none", "test", "Could not connect to camera\nNo camera found"},
        {"no microphone", "test", "none", "Could not connect to camera\nNo microphone found"},
        {"neither", "none", "none", "Could not connect to camera\nNo camera and no microphone found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        setenv("PARLIVO_CAMERA_SOURCE", c.camera.c_str(), 1);
        setenv("PARLIVO_MICROPHONE_SOURCE", c.microphone.c_str(), 1);
        open();
        ASSERT_TRUE(waitFor(State::error));
        EXPECT_EQ(camera->statusTextField().get_text(), c.status);
        EXPECT_TRUE(camera->statusTextField().get_visible());
        EXPECT_FALSE(camera->recordButton().get_sensitive());
        EXPECT_FALSE(camera->photoVideoSwitch().get_sensitive());
        if (c.name == "no camera") screenshot("camera-no-camera");
        // The touch bar's record button stays on but does nothing; back leaves.
        ASSERT_TRUE(touchBarButton(WQMediaTouchBar::identifiers().recording)->press());
        EXPECT_EQ(camera->state(), State::error);
        EXPECT_FALSE(camera->session().isRecording());
        ASSERT_TRUE(touchBarButton(WQMediaTouchBar::identifiers().back)->press());
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return delegate->photos.size() == 1; }));
        EXPECT_FALSE(delegate->photos[0]);
        TearDown();
        delegate = std::make_shared<Delegate>();
    }

    // Without the encoders the camera runs, photos work, and video mode says why it cannot record.
    SetUp();
    WQMediaViewController::Environment environment;
    environment.checkAvailability = [](auto completion) {
        platform::CameraSession::checkAvailability([completion](const platform::CaptureAvailability& found) {
            auto without = found;
            without.recording = false;
            without.recordingMessage = "Videos cannot be recorded: x264enc not installed";
            completion(without);
        });
    };
    open(environment);
    ASSERT_TRUE(waitFor(State::ready));
    EXPECT_TRUE(camera->session().isRunning());
    EXPECT_FALSE(camera->recordButton().get_sensitive());
    EXPECT_TRUE(camera->statusTextField().get_visible());
    EXPECT_EQ(camera->statusTextField().get_text(), "Videos cannot be recorded: x264enc not installed");
    ASSERT_TRUE(touchBarButton(WQMediaTouchBar::identifiers().recording)->press());
    EXPECT_FALSE(camera->session().isRecording());
    ASSERT_TRUE(camera->photoVideoSwitch().setCheckedByUser(true));
    EXPECT_EQ(storedMediaType(), WQMediaType::photo);
    EXPECT_TRUE(camera->recordButton().get_sensitive());
    EXPECT_FALSE(camera->statusTextField().get_visible());
    camera->recordButton().clicked();
    EXPECT_TRUE(waitFor(State::editing));
}

// Hiding or closing the window, or letting go of the camera, releases the camera and the
// microphone, also in the middle of a recording.
TEST_F(MediaViewControllerTest, EveryCaptureResourceGoesWithTheCamera) {
    open();
    ASSERT_TRUE(waitFor(State::ready));
    camera->recordButton().clicked();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return camera->session().recordedDuration() > 0.3; }, 20));
    window->hide();
    EXPECT_EQ(camera->state(), State::delivered);
    EXPECT_FALSE(camera->session().isRunning());
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return delegate->photos.size() == 1; }));
    EXPECT_FALSE(delegate->photos[0]);
    ASSERT_TRUE(testsupport::runLoopUntil([] { return platform::livePipelineCount() == 0; }, 20));
    EXPECT_TRUE(delegate->videos.empty()) << "an interrupted recording is not handed over";

    // A camera let go of while its picture runs.
    delegate = std::make_shared<Delegate>();
    window->remove();
    window.reset();
    camera.reset();
    open();
    ASSERT_TRUE(waitFor(State::ready));
    EXPECT_GT(platform::livePipelineCount(), 0);
    window->remove();
    EXPECT_EQ(camera->state(), State::delivered) << "taken off the window";
    camera.reset();
    EXPECT_EQ(platform::livePipelineCount(), 0);
}

// The control views follow their model: the button's two places, the time's fades, and the
// bottom bar's centring at any width.
TEST_F(MediaViewControllerTest, ControlViewsFollowTheirLooks) {
    WQMediaControlView control;
    Gtk::Button back, trailing;
    WQMediaBottomView bottom(control, back, trailing);
    window = std::make_unique<Gtk::Window>();
    window->set_default_size(600, 100);
    window->add(bottom);
    window->show_all();
    const double centre = (WQMediaControlView::width - WQMediaControlView::buttonSize) / 2.0;
    auto settle = [&] { ASSERT_TRUE(testsupport::runLoopUntil([&] { return !control.isAnimating(); })); };
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return bottom.get_allocated_width() == 600; }));
    settle();
    EXPECT_EQ(bottom.controlViewX(), (600 - WQMediaControlView::width) / 2.0);
    EXPECT_EQ(control.shownRecordButtonX(), centre);
    EXPECT_FALSE(control.timeTextField().get_visible());

    struct Step {
        std::string name;
        std::function<void()> action;
        double buttonX;
        bool timeShown;
        std::string image, time;
    };
    const std::vector<Step> steps{
        {"photo mode", [&] { control.setMediaType(WQMediaType::photo); }, centre, false, "imageButtonRed", "00:00"},
        {"recording", [&] { control.showRecordingState(); }, WQMediaControlView::recordButtonPositionLeft, true,
         "videoButtonStop", "00:00"},
        {"a time", [&] { control.setTime(7544, 10); }, WQMediaControlView::recordButtonPositionLeft, true,
         "videoButtonStop", "12:34"},
        {"the mode while recording", [&] { control.setMediaType(WQMediaType::photo); },
         WQMediaControlView::recordButtonPositionLeft, true, "videoButtonStop", "12:34"},
        {"wider while recording", [&] { window->resize(900, 100); }, WQMediaControlView::recordButtonPositionLeft,
         true, "videoButtonStop", "12:34"},
        {"idle", [&] { control.showIdleState(); }, centre, false, "videoButtonRed", "00:00"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        step.action();
        // A resize reaches the view only after the window's round trip to the X server: the step
        // is done once the button has come to rest where it belongs, or never.
        EXPECT_TRUE(testsupport::runLoopUntil(
            [&] { return !control.isAnimating() && control.shownRecordButtonX() == step.buttonX; }));
        EXPECT_EQ(control.shownRecordButtonX(), step.buttonX);
        EXPECT_EQ(control.timeTextField().get_visible(), step.timeShown);
        if (step.timeShown) {
            EXPECT_EQ(control.timeTextField().get_opacity(), 1.0);
        }
        EXPECT_EQ(control.recordButtonImageName(), step.image);
        EXPECT_EQ(control.timeTextField().text(), step.time);
    }
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return bottom.get_allocated_width() == 900; }));
    EXPECT_EQ(bottom.controlViewX(), (900 - WQMediaControlView::width) / 2.0);
    window->remove();
    window.reset();
}
