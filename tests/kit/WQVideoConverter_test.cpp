#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "RunLoop.h"
#include "WQVideoConverter.h"
#include "foundation/MainQueue.h"
#include "system/Subprocess.h"

namespace fs = std::filesystem;
using platform::AssetExportSession;
using tovak::WQVideoConverter;

namespace {

fs::path workDir() {
    const char* tmp = std::getenv("TMPDIR");
    return fs::path(tmp ? tmp : "/tmp") / "video-converter-test";
}

void makeClip(const fs::path& path, const std::vector<std::string>& extra) {
    std::vector<std::string> args{"ffmpeg", "-nostdin", "-v", "error", "-y"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(path.string());
    const auto result = platform::Subprocess::run(args);
    ASSERT_TRUE(result.succeeded()) << result.error << result.standardError;
}

std::string brand(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string head(12, '\0');
    in.read(head.data(), 12);
    return head.substr(8, 4);  // the major brand of the "ftyp" box
}

struct Outcome {
    int calls = 0;
    bool completed = false;
    std::shared_ptr<AssetExportSession> session;
    bool onMainThread = true;
};

WQVideoConverter::CompletionHandler recordInto(std::shared_ptr<Outcome> outcome) {
    return [outcome](bool completed, std::shared_ptr<AssetExportSession> session) {
        ++outcome->calls;
        outcome->completed = completed;
        outcome->session = std::move(session);
        outcome->onMainThread = outcome->onMainThread && platform::MainQueue::isMainThread();
    };
}

bool waitFor(const std::shared_ptr<Outcome>& outcome, double seconds = 60) {
    return testsupport::runLoopUntil([&] { return outcome->calls > 0; }, seconds);
}

class Progress : public tovak::WQProgressDelegate {
public:
    std::vector<double> values;
    void progressDidChange(double progress) override { values.push_back(progress); }
};

}  // namespace

class VideoConverterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fs::create_directories(workDir());
        // Small and well compressed: under any sensible target.
        makeClip(small(), {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i", "sine",
                           "-t", "2", "-c:v", "libx264", "-c:a", "aac"});
        // Noisy and nearly uncompressed: larger than every preset's estimate for its length.
        makeClip(large(), {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i", "sine",
                           "-t", "2", "-vf", "noise=alls=60:allf=t", "-c:v", "mpeg4", "-q:v", "1", "-c:a",
                           "pcm_s16le"});
        // Long enough that an export spans several progress ticks.
        makeClip(longer(), {"-f", "lavfi", "-i", "testsrc=size=640x480:rate=25", "-f", "lavfi", "-i", "sine",
                            "-t", "5", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"});
    }
    static fs::path small() { return workDir() / "small.mov"; }
    static fs::path large() { return workDir() / "large.mov"; }
    static fs::path longer() { return workDir() / "long.mov"; }
    static std::uint64_t estimate(const fs::path& input, std::string_view preset) {
        return AssetExportSession::make(input, preset)->estimatedOutputFileLength();
    }

    void SetUp() override { output = workDir() / ("out-" + std::to_string(counter++) + ".mov"); }

    std::shared_ptr<WQVideoConverter> converter = WQVideoConverter::create();
    fs::path output;
    static inline int counter = 0;
};

TEST_F(VideoConverterTest, InputAtOrUnderTheTargetIsCopiedWithThePassthroughPreset) {
    const auto size = fs::file_size(small());
    for (std::uint64_t target : {size, size + 1, std::uint64_t(1) << 40}) {
        auto outcome = std::make_shared<Outcome>();
        converter->compressVideo(small(), output, target, std::nullopt, recordInto(outcome));
        ASSERT_TRUE(waitFor(outcome));
        EXPECT_TRUE(outcome->completed);
        ASSERT_TRUE(outcome->session);
        EXPECT_EQ(outcome->session->presetName(), AssetExportSession::presetPassthrough);
        EXPECT_TRUE(fs::exists(output));
    }
}

TEST_F(VideoConverterTest, PicksTheFirstPresetWhoseEstimateIsStrictlyUnderTheTarget) {
    const std::vector<std::string> presets{std::string(AssetExportSession::preset1920x1080),
                                           std::string(AssetExportSession::preset640x480),
                                           std::string(AssetExportSession::presetLowQuality)};
    const auto mid = estimate(large(), AssetExportSession::preset640x480);
    ASSERT_LT(mid + 1, fs::file_size(large()));
    ASSERT_GT(estimate(large(), AssetExportSession::preset1920x1080), mid + 1);
    struct Case {
        std::uint64_t target;
        std::string_view expected;
    } cases[] = {
        {mid + 1, AssetExportSession::preset640x480},
        {mid, AssetExportSession::presetLowQuality},  // an equal estimate does not fit
        {1, AssetExportSession::presetLowQuality},    // nothing fits: the last one
    };
    for (const auto& c : cases) {
        auto outcome = std::make_shared<Outcome>();
        converter->compressVideo(large(), output, c.target, presets, recordInto(outcome));
        ASSERT_TRUE(waitFor(outcome));
        EXPECT_EQ(outcome->calls, 1);
        EXPECT_TRUE(outcome->completed) << (outcome->session ? outcome->session->error() : "");
        ASSERT_TRUE(outcome->session);
        EXPECT_EQ(outcome->session->presetName(), c.expected) << c.target;
        EXPECT_TRUE(outcome->onMainThread);
        EXPECT_GT(fs::file_size(output), 0u);
    }
}

TEST_F(VideoConverterTest, UnknownPresetsAreSkippedWhileProbing) {
    auto outcome = std::make_shared<Outcome>();
    converter->compressVideo(large(), output, 1, std::vector<std::string>{"NoSuchPreset", "AVAssetExportPresetLowQuality"},
                             recordInto(outcome));
    ASSERT_TRUE(waitFor(outcome));
    EXPECT_TRUE(outcome->completed);
    EXPECT_EQ(outcome->session->presetName(), AssetExportSession::presetLowQuality);
}

TEST_F(VideoConverterTest, EarlyFailuresAnswerOnceBeforeReturning) {
    struct Case {
        const char* what;
        std::function<void(WQVideoConverter&, WQVideoConverter::CompletionHandler)> request;
    } cases[] = {
        {"missing input",
         [&](WQVideoConverter& c, auto handler) {
             c.compressVideo(workDir() / "missing.mov", output, 1000, std::nullopt, std::move(handler));
         }},
        {"empty preset list over the target",
         [&](WQVideoConverter& c, auto handler) {
             c.compressVideo(large(), output, 1, std::vector<std::string>{}, std::move(handler));
         }},
        {"unknown preset named",
         [&](WQVideoConverter& c, auto handler) {
             c.convertVideoToMPEG4Container(small(), output, "Bogus", std::move(handler));
         }},
    };
    for (const auto& c : cases) {
        auto outcome = std::make_shared<Outcome>();
        c.request(*converter, recordInto(outcome));
        EXPECT_EQ(outcome->calls, 1) << c.what;
        EXPECT_FALSE(outcome->completed) << c.what;
        EXPECT_FALSE(outcome->session) << c.what;
        ASSERT_TRUE(testsupport::drainMainQueue());
        EXPECT_EQ(outcome->calls, 1) << c.what;
        EXPECT_FALSE(fs::exists(output)) << c.what;
    }
}

// The candidates' estimates run ffprobe: never on the main thread. The answer comes from the
// main queue, and stop() or a newer request while they run ends the request without an export.
TEST_F(VideoConverterTest, PresetsAreEstimatedOffTheMainThreadAndTheChoiceCanBeStopped) {
    auto unknown = std::make_shared<Outcome>();
    converter->compressVideo(large(), output, 1, std::vector<std::string>{"Bogus"}, recordInto(unknown));
    EXPECT_EQ(unknown->calls, 0) << "the answer comes from the main queue";
    ASSERT_TRUE(waitFor(unknown));
    EXPECT_FALSE(unknown->completed);
    EXPECT_FALSE(unknown->session);
    EXPECT_TRUE(unknown->onMainThread);

    auto stopped = std::make_shared<Outcome>();
    converter->compressVideo(large(), output, 1, std::nullopt, recordInto(stopped));
    converter->stop();
    ASSERT_TRUE(waitFor(stopped));
    EXPECT_FALSE(stopped->completed);
    EXPECT_FALSE(stopped->session);

    auto replaced = std::make_shared<Outcome>();
    auto replacing = std::make_shared<Outcome>();
    converter->compressVideo(large(), output, 1, std::nullopt, recordInto(replaced));
    converter->convertVideoToMPEG4Container(small(), output, "AVAssetExportPresetLowQuality", recordInto(replacing));
    ASSERT_TRUE(waitFor(replacing));
    ASSERT_TRUE(waitFor(replaced));
    EXPECT_FALSE(replaced->session);
    EXPECT_TRUE(replacing->completed);
    EXPECT_EQ(replaced->calls + replacing->calls, 2);
}

TEST_F(VideoConverterTest, OutputFileTypeDecidesTheContainerAndReplacesAnExistingFile) {
    struct Case {
        WQVideoConverter::OutputFileType type;
        std::string brand;
    } cases[] = {
        {WQVideoConverter::OutputFileType::mov, "qt  "},
        {WQVideoConverter::OutputFileType::mp4, "isom"},
        {WQVideoConverter::OutputFileType::m4v, "M4V "},
    };
    for (const auto& c : cases) {
        std::ofstream(output) << "stale";
        converter->outputFileType = c.type;
        auto outcome = std::make_shared<Outcome>();
        converter->convertVideoToMPEG4Container(small(), output, "AVAssetExportPresetLowQuality", recordInto(outcome));
        ASSERT_TRUE(waitFor(outcome));
        ASSERT_TRUE(outcome->completed) << outcome->session->error();
        EXPECT_EQ(brand(output), c.brand);
    }
}

TEST_F(VideoConverterTest, ReportsProgressFromZeroToOneThroughDelegateAndAction) {
    auto delegate = std::make_shared<Progress>();
    std::vector<double> actions;
    bool flagsSet = false;
    converter->progressDelegate = delegate;
    converter->progressAction = [&](double progress, bool a, bool b) {
        actions.push_back(progress);
        flagsSet = flagsSet || a || b;
    };
    auto outcome = std::make_shared<Outcome>();
    converter->convertVideoToMPEG4Container(longer(), output, "AVAssetExportPresetHighestQuality", recordInto(outcome));
    ASSERT_TRUE(waitFor(outcome));
    ASSERT_TRUE(outcome->completed) << outcome->session->error();
    const auto reportsAtEnd = delegate->values.size();
    ASSERT_TRUE(testsupport::runLoopPastTimer(0.3));  // past several ticks of the progress timer

    EXPECT_EQ(delegate->values.size(), reportsAtEnd) << "no report after the handler";
    ASSERT_GE(delegate->values.size(), 3u);
    EXPECT_EQ(delegate->values, actions);
    EXPECT_FALSE(flagsSet);
    EXPECT_EQ(delegate->values.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(delegate->values.begin(), delegate->values.end()));
    EXPECT_GE(delegate->values.front(), 0.0);
    EXPECT_TRUE(std::any_of(delegate->values.begin(), delegate->values.end(), [](double v) { return v > 0 && v < 1; }));
}

TEST_F(VideoConverterTest, StopCancelsTheExportAndLeavesNoPartialOutput) {
    auto outcome = std::make_shared<Outcome>();
    double progress = 0;
    converter->progressAction = [&](double value, bool, bool) { progress = value; };
    converter->convertVideoToMPEG4Container(longer(), output, "AVAssetExportPresetHighestQuality", recordInto(outcome));
    // Stopped once ffmpeg is under way (it has written something), not after a guessed delay.
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return progress > 0 || outcome->calls > 0; }, 30));
    ASSERT_EQ(outcome->calls, 0) << "the export ended before it could be stopped";
    converter->stop();
    ASSERT_TRUE(waitFor(outcome));
    EXPECT_FALSE(outcome->completed);
    ASSERT_TRUE(outcome->session);
    EXPECT_EQ(outcome->session->status(), AssetExportSession::Status::cancelled);
    EXPECT_TRUE(outcome->onMainThread);
    EXPECT_FALSE(fs::exists(output));
    for (const auto& entry : fs::directory_iterator(workDir()))
        EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos) << entry.path();

    converter->stop();  // a finished session: nothing happens
    ASSERT_TRUE(testsupport::drainMainQueue());
    EXPECT_EQ(outcome->calls, 1);
}

TEST_F(VideoConverterTest, AnExportThatReplacesAnotherKeepsReportingProgress) {
    auto delegate = std::make_shared<Progress>();
    converter->progressDelegate = delegate;
    auto first = std::make_shared<Outcome>();
    auto second = std::make_shared<Outcome>();
    const fs::path otherOutput = workDir() / "replacing.mov";
    converter->convertVideoToMPEG4Container(longer(), output, "AVAssetExportPresetHighestQuality", recordInto(first));
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !delegate->values.empty(); }));  // under way
    converter->convertVideoToMPEG4Container(longer(), otherOutput, "AVAssetExportPresetHighestQuality",
                                            recordInto(second));
    ASSERT_TRUE(waitFor(first));
    EXPECT_FALSE(first->completed);
    const auto reportsWhenFirstEnded = delegate->values.size();
    ASSERT_TRUE(waitFor(second));
    EXPECT_TRUE(second->completed);
    EXPECT_GE(delegate->values.size(), reportsWhenFirstEnded + 3) << "the second export kept its timer";
    EXPECT_EQ(delegate->values.back(), 1.0);
    EXPECT_FALSE(fs::exists(output));
    EXPECT_TRUE(fs::exists(otherOutput));
    EXPECT_EQ(first->calls, 1);
    EXPECT_EQ(second->calls, 1);
}
