#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RunLoop.h"
#include "media/AssetExportSession.h"
#include "system/Subprocess.h"

using platform::MediaInfo;
using platform::Subprocess;

TEST(SubprocessTest, DeliversOutputLinesErrorsAndExitStatus) {
    std::vector<std::string> lines;
    bool exited = false;
    int status = -2;
    std::string errors;
    auto child = Subprocess::launch(
        {"sh", "-c", "printf 'one\\ntwo\\r\\nthree'; echo oops >&2; exit 3"},
        [&](std::string_view line) { lines.emplace_back(line); },
        [&](Subprocess& process) {
            exited = true;
            status = process.exitStatus();
            errors = process.standardError();
        });
    ASSERT_TRUE(child);
    child.reset();  // the running process keeps itself alive
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return exited; }));
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(status, 3);
    EXPECT_EQ(errors, "oops\n");
}

TEST(SubprocessTest, KillEndsTheProcessAndStillReportsTheExit) {
    bool exited = false, normal = true;
    auto child = Subprocess::launch({"sleep", "30"}, nullptr, [&](Subprocess& process) {
        exited = true;
        normal = process.exitedNormally();
    });
    ASSERT_TRUE(child);
    EXPECT_TRUE(child->isRunning());
    child->kill();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return exited; }));
    EXPECT_FALSE(normal);
    EXPECT_FALSE(child->succeeded());
}

TEST(SubprocessTest, AMissingProgramIsAnErrorNotAProcess) {
    std::string error;
    bool called = false;
    EXPECT_FALSE(Subprocess::launch({"/nonexistent/program"}, nullptr, [&](Subprocess&) { called = true; }, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(Subprocess::launch({}, nullptr, nullptr));
    const auto result = Subprocess::run({"/nonexistent/program"});
    EXPECT_FALSE(result.launched);
    EXPECT_FALSE(result.succeeded());
    testsupport::runLoopFor(0.05);
    EXPECT_FALSE(called);
}

TEST(SubprocessTest, RunCollectsOutputSynchronously) {
    const auto result = Subprocess::run({"sh", "-c", "echo out; echo err >&2"});
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.standardOutput, "out\n");
    EXPECT_EQ(result.standardError, "err\n");
    EXPECT_EQ(Subprocess::run({"false"}).exitStatus, 1);
}

TEST(MediaInfoTest, ReadsStreamsAndDurationFromProbeOutput) {
    struct Case {
        const char* text;
        bool parsed;
        double duration;
        bool video, audio;
    } cases[] = {
        {"[STREAM]\ncodec_type=video\n[/STREAM]\n[STREAM]\ncodec_type=audio\n[/STREAM]\n[FORMAT]\nduration=2.500000\n[/FORMAT]\n",
         true, 2.5, true, true},
        {"[STREAM]\ncodec_type=audio\n[/STREAM]\n[FORMAT]\nduration=N/A\n[/FORMAT]\n", true, 0, false, true},
        {"[FORMAT]\nduration=-4\n[/FORMAT]\n", true, 0, false, false},
        {"[FORMAT]\nduration=1e999\n[/FORMAT]", true, 0, false, false},
        {"codec_type=video\nduration=3\n", false, 0, false, false},
        {"", false, 0, false, false},
        {"[\n=\n[/\n\xff\xfe=\x01", false, 0, false, false},
    };
    for (const auto& c : cases) {
        const auto info = MediaInfo::parse(c.text);
        ASSERT_EQ(info.has_value(), c.parsed) << c.text;
        if (!info) continue;
        EXPECT_EQ(info->duration, c.duration) << c.text;
        EXPECT_EQ(info->hasVideo, c.video) << c.text;
        EXPECT_EQ(info->hasAudio, c.audio) << c.text;
    }
}
