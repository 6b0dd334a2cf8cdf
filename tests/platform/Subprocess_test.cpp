#include <gtest/gtest.h>

#include <functional>
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
        }).value_or(nullptr);
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
    }).value_or(nullptr);
    ASSERT_TRUE(child);
    EXPECT_TRUE(child->isRunning());
    child->kill();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return exited; }));
    EXPECT_FALSE(normal);
    EXPECT_FALSE(child->succeeded());
}

TEST(SubprocessTest, AMissingProgramIsAnErrorNotAProcess) {
    bool called = false;
    const auto missing = Subprocess::launch({"/nonexistent/program"}, nullptr, [&](Subprocess&) { called = true; });
    ASSERT_FALSE(missing);
    EXPECT_FALSE(missing.error().message.empty());
    EXPECT_FALSE(Subprocess::launch({}, nullptr, nullptr));
    const auto result = Subprocess::run({"/nonexistent/program"});
    EXPECT_FALSE(result.launched);
    EXPECT_FALSE(result.succeeded());
    ASSERT_TRUE(testsupport::drainMainQueue());
    EXPECT_FALSE(called);
}

// Only the end of a flood of error output is kept, in both forms.
TEST(SubprocessTest, StandardErrorKeepsItsLast64KiB) {
    const std::string flood = "head -c 200000 /dev/zero | tr '\\0' a >&2; echo END >&2";
    const auto result = Subprocess::run({"sh", "-c", flood});
    ASSERT_TRUE(result.succeeded());
    ASSERT_EQ(result.standardError.size(), Subprocess::kStandardErrorLimit);
    EXPECT_TRUE(result.standardError.ends_with("aaaEND\n"));

    std::string kept;
    bool exited = false;
    auto child = Subprocess::launch({"sh", "-c", flood}, nullptr, [&](Subprocess& process) {
        kept = process.standardError();
        exited = true;
    });
    ASSERT_TRUE(child);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return exited; }));
    ASSERT_EQ(kept.size(), Subprocess::kStandardErrorLimit);
    EXPECT_TRUE(kept.ends_with("aaaEND\n"));
}

// A child that never ends is killed at its time-out; the call returns even when a grandchild
// still holds the output open.
TEST(SubprocessTest, TimeOutsEndChildrenThatHang) {
    const auto hung = Subprocess::run({"sleep", "30"}, 0.2);
    EXPECT_TRUE(hung.launched);
    EXPECT_TRUE(hung.timedOut);
    EXPECT_FALSE(hung.succeeded());
    const auto holding = Subprocess::run({"sh", "-c", "sleep 30 & echo started; wait"}, 0.2);
    EXPECT_TRUE(holding.timedOut);
    const auto quick = Subprocess::run({"true"}, 30);
    EXPECT_TRUE(quick.succeeded());
    EXPECT_FALSE(quick.timedOut);

    struct Case {
        const char* what;
        std::vector<std::string> argv;
        std::function<void(Subprocess&)> limit;
        bool timesOut;
    } cases[] = {
        {"past its deadline", {"sleep", "30"}, [](Subprocess& p) { p.setTimeout(0.2); }, true},
        {"silent too long", {"sh", "-c", "echo one; sleep 30"}, [](Subprocess& p) { p.setSilenceTimeout(0.3); }, true},
        {"talking all along",
         {"sh", "-c", "for i in 1 2 3 4 5 6; do echo $i; sleep 0.1; done"},
         [](Subprocess& p) { p.setSilenceTimeout(2); },
         false},
    };
    for (const auto& c : cases) {
        bool exited = false, timedOut = false;
        int lines = 0;
        auto child = Subprocess::launch(
            c.argv, [&](std::string_view) { ++lines; },
            [&](Subprocess& process) {
                exited = true;
                timedOut = process.timedOut();
            }).value_or(nullptr);
        ASSERT_TRUE(child) << c.what;
        c.limit(*child);
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return exited; }, 10)) << c.what;
        EXPECT_EQ(timedOut, c.timesOut) << c.what;
        EXPECT_EQ(child->succeeded(), !c.timesOut) << c.what;
    }
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
