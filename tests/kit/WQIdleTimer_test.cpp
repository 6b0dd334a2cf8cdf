#include <gtest/gtest.h>

#include "RunLoop.h"
#include "WQIdleTimer.h"
#include "foundation/NotificationCenter.h"

using namespace std::chrono_literals;
using tovak::WQIdleTimer;

namespace {

// A clock the test moves by hand and an input source it fires by hand.
struct FakeWorld {
    WQIdleTimer::Clock::time_point now = WQIdleTimer::Clock::time_point(1000h);
    std::function<void()> onInput;
    std::uint64_t mask = 0;
    int monitorsInstalled = 0;
    int monitorsActive = 0;

    WQIdleTimer::Environment environment(double tickInterval = 3600) {
        WQIdleTimer::Environment env;
        env.now = [this] { return now; };
        env.addMonitor = [this](std::uint64_t m, std::function<void()> handler) {
            mask = m;
            onInput = std::move(handler);
            ++monitorsInstalled;
            ++monitorsActive;
            return platform::ObserverToken([this] {
                --monitorsActive;
                onInput = nullptr;
            });
        };
        env.tickInterval = tickInterval;
        return env;
    }
    void input() {
        if (onInput) onInput();
    }
};

class IdleTimerTest : public ::testing::Test {
protected:
    FakeWorld world;
    int posts = 0;
    const void* postedObject = nullptr;
    platform::ObserverToken observer = platform::NotificationCenter::defaultCenter().addObserver(
        tovak::kWQIdleTimerNotification, [this](const platform::Notification& n) {
            ++posts;
            postedObject = n.object;
        });
};

}  // namespace

TEST_F(IdleTimerTest, PostsOnceAtTheFirstTickThatReachesTheInterval) {
    WQIdleTimer timer(world.environment());
    timer.run(60);
    EXPECT_EQ(world.mask, 0xD6Au);
    world.now += 25s;
    timer.tick();
    EXPECT_EQ(timer.secondsPassed(), 25);
    EXPECT_EQ(timer.secondsLeft(), 35);
    world.now += 34900ms;  // 59.9 s, truncated to 59
    timer.tick();
    EXPECT_EQ(posts, 0);
    EXPECT_EQ(timer.secondsLeft(), 1);
    world.now += 100ms;
    timer.tick();
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(postedObject, &timer);
    // It stopped itself before posting.
    EXPECT_FALSE(timer.isRunning());
    EXPECT_EQ(timer.secondsPassed(), std::nullopt);
    EXPECT_EQ(timer.secondsLeft(), std::nullopt);
    EXPECT_EQ(world.monitorsActive, 0);
}

TEST_F(IdleTimerTest, InputStartsANewIdlePeriod) {
    WQIdleTimer timer(world.environment());
    timer.run(60);
    for (int i = 0; i < 10; ++i) {
        world.now += 50s;
        world.input();
        world.now += 5s;
        timer.tick();
        EXPECT_EQ(timer.secondsPassed(), 5);
    }
    EXPECT_EQ(posts, 0);
    world.now += 55s;
    timer.tick();
    EXPECT_EQ(posts, 1);
}

TEST_F(IdleTimerTest, RunningAgainRestartsWithOneMonitorAndTheNewInterval) {
    WQIdleTimer timer(world.environment());
    timer.run(60);
    world.now += 25s;
    timer.tick();
    timer.run(30);
    // Before its first tick a restarted timer still shows the last measurement.
    EXPECT_EQ(timer.secondsPassed(), 25);
    EXPECT_EQ(timer.secondsLeft(), 5);
    EXPECT_EQ(world.monitorsActive, 1);
    EXPECT_EQ(world.monitorsInstalled, 2);
    world.now += 30s;
    timer.tick();
    EXPECT_EQ(posts, 1);
}

TEST_F(IdleTimerTest, StopAndResetChangeNothingObservableWhileStopped) {
    WQIdleTimer timer(world.environment());
    EXPECT_EQ(timer.secondsPassed(), std::nullopt);
    timer.run(60);
    world.now += 30s;
    timer.stop();
    EXPECT_EQ(timer.secondsPassed(), std::nullopt);
    EXPECT_EQ(timer.secondsLeft(), std::nullopt);
    EXPECT_EQ(world.monitorsActive, 0);
    timer.reset();
    EXPECT_FALSE(timer.isRunning());
    world.now += 120s;
    ASSERT_TRUE(testsupport::runLoopPastTimer(0.05));  // past several tick intervals
    EXPECT_EQ(posts, 0);
}

TEST_F(IdleTimerTest, TheTickTimerDrivesTheCheckAndDestructionRemovesEverything) {
    {
        WQIdleTimer timer(world.environment(0.01));
        timer.run(5);
        world.now += 6s;
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return posts == 1; }, 2.0));
        ASSERT_TRUE(testsupport::runLoopPastTimer(0.05));  // past several ticks of 0.01 s
        EXPECT_EQ(posts, 1) << "no tick after the post";

        timer.run(5);
        EXPECT_EQ(world.monitorsActive, 1);
    }
    EXPECT_EQ(world.monitorsActive, 0);
    world.now += 60s;
    ASSERT_TRUE(testsupport::runLoopPastTimer(0.05));
    EXPECT_EQ(posts, 1);
}
