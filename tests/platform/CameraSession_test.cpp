// The camera session with GStreamer's test picture and tone: availability, stills, recordings
// ended by the user, the length and the size limit, and everything released afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "RunLoop.h"
#include "foundation/MainQueue.h"
#include "media/AssetExportSession.h"
#include "media/CameraSession.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

fs::path workFile(const std::string& name) {
    const char* tmp = std::getenv("TMPDIR");
    fs::path dir = fs::path(tmp ? tmp : "/tmp") / "camera-session-test";
    fs::create_directories(dir);
    return dir / name;
}

void useSources(const char* camera, const char* microphone) {
    setenv("PARLIVO_CAMERA_SOURCE", camera, 1);
    setenv("PARLIVO_MICROPHONE_SOURCE", microphone, 1);
}

// Everything posted to the main queue before this call has run when it returns.
void drainMainQueue() {
    bool done = false;
    MainQueue::async([&] { done = true; });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return done; }));
}

std::optional<std::string> startAndWait(CameraSession& session) {
    bool answered = false;
    std::optional<std::string> error;
    session.start([&](platform::Expected<void> started) {
        answered = true;
        if (!started) error = started.error().message;
    });
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return answered; }, 20));
    return error;
}

struct RecordingOutcome {
    bool started = false;
    int finishedCalls = 0;
    RecordingResult result;
};

class CameraSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        useSources("test", "test");
        CameraSession::Options options;
        options.preview = false;
        options.width = 320;
        options.height = 240;
        session = CameraSession::create(options);
    }
    void TearDown() override {
        session.reset();
        EXPECT_EQ(livePipelineCount(), 0) << "every pipeline is released";
    }

    bool record(const fs::path& file, RecordingLimits limits, RecordingOutcome& outcome) {
        const auto started = session->startRecording(
            file, limits, [&outcome] { outcome.started = true; },
            [&outcome](const RecordingResult& result) {
                ++outcome.finishedCalls;
                outcome.result = result;
            });
        EXPECT_TRUE(started) << (started ? "" : started.error().message);
        return started.has_value();
    }

    std::shared_ptr<CameraSession> session;
};

}  // namespace

TEST(CameraAvailabilityTest, SaysPlainlyWhatIsMissing) {
    struct Case {
        const char* camera;
        const char* microphone;
        bool hasCamera, hasMicrophone;
        std::string message;
    };
    const std::vector<Case> cases{
        {"test", "test", true, true, ""},
        {"none", "test", false, true, "No camera found"},
        {"test", "none", true, false, "No microphone found"},
        {"none", "none", false, false, "No camera and no microphone found"},
    };
    for (const auto& c : cases) {
        useSources(c.camera, c.microphone);
        std::optional<CaptureAvailability> answer;
        CameraSession::checkAvailability([&](const CaptureAvailability& a) {
            EXPECT_TRUE(MainQueue::isMainThread());
            answer = a;
        });
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return answer.has_value(); }, 20));
        EXPECT_EQ(answer->camera, c.hasCamera) << c.camera;
        EXPECT_EQ(answer->microphone, c.hasMicrophone) << c.microphone;
        EXPECT_EQ(answer->message, c.message);
    }
}

TEST_F(CameraSessionTest, WithoutACameraTheStartFailsPlainly) {
    useSources("none", "test");
    EXPECT_EQ(startAndWait(*session), "No camera found");
    EXPECT_FALSE(session->isRunning());
    useSources("test", "none");
    EXPECT_EQ(startAndWait(*session), "No microphone found");
    EXPECT_EQ(livePipelineCount(), 0);
}

TEST_F(CameraSessionTest, AStillFrameIsTheLivePictureAsRGBA) {
    ASSERT_EQ(startAndWait(*session), std::nullopt);
    ASSERT_TRUE(session->isRunning());
    std::optional<VideoFrame> frame;
    bool answered = false;
    session->captureStillFrame([&](std::optional<VideoFrame> f) {
        answered = true;
        frame = std::move(f);
    });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return answered; }, 20));
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->width, 320);
    ASSERT_EQ(frame->height, 240);
    ASSERT_EQ(frame->rgba.size(), 320u * 240 * 4);
    // The test picture's colour bars: white, then yellow, ..., then blue.
    auto pixel = [&](int x, int y) {
        const std::uint8_t* p = &frame->rgba[(std::size_t(y) * 320 + x) * 4];
        return std::array<int, 4>{p[0], p[1], p[2], p[3]};
    };
    const auto white = pixel(10, 40), yellow = pixel(70, 40), blue = pixel(310, 40);
    EXPECT_GT(white[0], 230);
    EXPECT_GT(white[1], 230);
    EXPECT_GT(white[2], 230);
    EXPECT_GT(yellow[0], 150);
    EXPECT_GT(yellow[1], 150);
    EXPECT_LT(yellow[2], 40);
    EXPECT_LT(blue[0], 40);
    EXPECT_LT(blue[1], 40);
    EXPECT_GT(blue[2], 150);
    EXPECT_EQ(white[3], 255);

    session->stop();
    EXPECT_EQ(livePipelineCount(), 0) << "the camera is released at stop";
    bool none = false;
    session->captureStillFrame([&](std::optional<VideoFrame> f) { none = !f; });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return none; }));
}

TEST_F(CameraSessionTest, ARecordingStopsAtItsMaximumLength) {
    ASSERT_EQ(startAndWait(*session), std::nullopt);
    RecordingOutcome outcome;
    const fs::path file = workFile("length.mp4");
    ASSERT_TRUE(record(file, {1.0, 0}, outcome));
    EXPECT_TRUE(session->isRecording());
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return outcome.finishedCalls > 0; }, 30));
    EXPECT_TRUE(outcome.started);
    EXPECT_EQ(outcome.result.end, RecordingEnd::durationLimit);
    EXPECT_EQ(outcome.result.file, file);
    EXPECT_FALSE(session->isRecording());
    EXPECT_TRUE(session->isRunning()) << "the picture goes on after a recording";
    auto info = MediaInfo::probe(file);
    ASSERT_TRUE(info) << "a complete MP4";
    EXPECT_TRUE(info->hasVideo);
    EXPECT_TRUE(info->hasAudio);
    EXPECT_NEAR(info->duration, 1.0, 0.15);
    EXPECT_NEAR(outcome.result.duration, 1.0, 0.05);
    EXPECT_EQ(outcome.result.fileSize, fs::file_size(file));
}

TEST_F(CameraSessionTest, ARecordingStopsBeforeItsFileWouldPassTheMaximumSize) {
    ASSERT_EQ(startAndWait(*session), std::nullopt);
    RecordingOutcome outcome;
    const fs::path file = workFile("size.mp4");
    const std::uint64_t limit = 60000;
    ASSERT_TRUE(record(file, {120, limit}, outcome));
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return outcome.finishedCalls > 0; }, 60));
    EXPECT_EQ(outcome.result.end, RecordingEnd::fileSizeLimit);
    const auto size = fs::file_size(file);
    EXPECT_LE(size, limit);
    EXPECT_GT(size, limit / 2) << "most of the allowance is used";
    auto info = MediaInfo::probe(file);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->hasVideo && info->hasAudio);
    EXPECT_GT(info->duration, 0.5);
}

TEST_F(CameraSessionTest, StoppedByTheUserAndInterruptedByTheSessionStop) {
    ASSERT_EQ(startAndWait(*session), std::nullopt);
    RecordingOutcome first;
    ASSERT_TRUE(record(workFile("user.mp4"), {}, first));
    const auto busy = session->startRecording(workFile("other.mp4"), {}, {}, {});
    ASSERT_FALSE(busy);
    EXPECT_EQ(busy.error().message, "A recording is running");
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return first.started && session->recordedDuration() > 0.3; }, 20));
    session->stopRecording();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return first.finishedCalls > 0; }, 20));
    EXPECT_EQ(first.result.end, RecordingEnd::stopped);
    EXPECT_TRUE(MediaInfo::probe(workFile("user.mp4")));

    RecordingOutcome second;
    ASSERT_TRUE(record(workFile("interrupted.mp4"), {}, second));
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return second.started; }, 20));
    session->stop();
    EXPECT_FALSE(session->isRunning());
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return second.finishedCalls > 0; }, 20));
    EXPECT_EQ(second.result.end, RecordingEnd::interrupted);
    EXPECT_TRUE(MediaInfo::probe(workFile("interrupted.mp4"))) << "what was recorded is kept";
    EXPECT_EQ(livePipelineCount(), 0);
    drainMainQueue();
    EXPECT_EQ(second.finishedCalls, 1);

    const auto stopped = session->startRecording(workFile("stopped.mp4"), {}, {}, {});
    ASSERT_FALSE(stopped);
    EXPECT_EQ(stopped.error().message, "The camera is not running");
}

TEST_F(CameraSessionTest, ASessionThatGoesWhileRecordingReleasesEverythingAndReportsNothing) {
    ASSERT_EQ(startAndWait(*session), std::nullopt);
    RecordingOutcome outcome;
    ASSERT_TRUE(record(workFile("gone.mp4"), {}, outcome));
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return outcome.started; }, 20));
    EXPECT_EQ(livePipelineCount(), 2);
    session.reset();
    EXPECT_EQ(livePipelineCount(), 0);
    drainMainQueue();
    EXPECT_EQ(outcome.finishedCalls, 0);
}

TEST_F(CameraSessionTest, AStopDuringTheStartCancelsIt) {
    bool answered = false;
    session->start([&](platform::Expected<void>) { answered = true; });
    session->stop();
    // The start's device search runs on a worker; its answer arrives after this marker at the latest
    // once a second start has answered.
    ASSERT_EQ(startAndWait(*session), std::nullopt);
    drainMainQueue();
    EXPECT_FALSE(answered);
    EXPECT_EQ(livePipelineCount(), 1);
}

TEST_F(CameraSessionTest, ARecordingStoppedBeforeItsFirstPictureFails) {
    ASSERT_EQ(startAndWait(*session), std::nullopt);
    RecordingOutcome outcome;
    ASSERT_TRUE(record(workFile("empty.mp4"), {}, outcome));
    session->stopRecording();  // almost always before the camera's next picture
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return outcome.finishedCalls > 0; }, 20));
    drainMainQueue();  // the start report, had there been a picture, came before the end
    if (outcome.started) {
        EXPECT_EQ(outcome.result.end, RecordingEnd::stopped);
    } else {
        EXPECT_EQ(outcome.result.end, RecordingEnd::failed);
        EXPECT_EQ(outcome.result.error, "Nothing was recorded");
    }
    EXPECT_TRUE(session->isRunning());
}
