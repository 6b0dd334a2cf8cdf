// The page's way back after its web or network process ended: growing delays, then the error
// screen; old ends are forgotten, Try Again starts over.
#include <gtest/gtest.h>

#include "web/CrashBackoff.h"

using namespace parlivo;
using namespace std::chrono_literals;

namespace {
const CrashBackoff::Clock::time_point start{};
}

TEST(CrashBackoffTest, EndsInAShortTimeReloadLaterAndLaterThenGiveUp) {
    CrashBackoff backoff;  // 1 s, three reloads in two minutes
    struct Step {
        std::chrono::seconds at;
        bool reload;
        std::chrono::milliseconds delay;
        int endsInWindow;
    } steps[] = {
        {0s, true, 1000ms, 1},
        {2s, true, 2000ms, 2},
        {6s, true, 4000ms, 3},
        {12s, false, 0ms, 4},
        {13s, false, 0ms, 5},
        // Two minutes after the first ends, they have left the window one by one.
        {125s, false, 0ms, 4},
        {400s, true, 1000ms, 1},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.at.count());
        const auto decision = backoff.processEnded(start + step.at);
        EXPECT_EQ(decision.reload, step.reload);
        EXPECT_EQ(decision.delay, step.delay);
        EXPECT_EQ(decision.endsInWindow, step.endsInWindow);
    }
}

TEST(CrashBackoffTest, TryAgainStartsOverAndLargeSettingsDoNotOverflow) {
    CrashBackoff backoff;
    for (int i = 0; i < 4; ++i) backoff.processEnded(start + std::chrono::seconds(i));
    EXPECT_FALSE(backoff.processEnded(start + 5s).reload);
    backoff.reset();
    const auto again = backoff.processEnded(start + 6s);
    EXPECT_TRUE(again.reload);
    EXPECT_EQ(again.delay, 1000ms);

    // A configuration that allows many reloads still gets a bounded, growing delay.
    CrashBackoff patient({10ms, 100, 3600s});
    std::chrono::milliseconds last{0};
    for (int i = 0; i < 100; ++i) {
        const auto decision = patient.processEnded(start + std::chrono::seconds(i));
        ASSERT_TRUE(decision.reload);
        EXPECT_GE(decision.delay, last);
        EXPECT_GT(decision.delay.count(), 0);
        last = decision.delay;
    }
}
