// The main queue, main-loop timers and worker queues.
#include <gtest/gtest.h>

#include <glib.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "RunLoop.h"
#include "foundation/MainQueue.h"
#include "foundation/Timer.h"
#include "foundation/WorkQueue.h"

using namespace platform;
using testsupport::runLoopPastTimer;
using testsupport::runLoopUntil;

TEST(MainQueue, RunsLaterOnTheMainThreadInPostingOrder) {
    std::vector<int> order;
    MainQueue::async([&] { order.push_back(1); });
    MainQueue::async([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty()) << "async must never run inline";
    ASSERT_TRUE(runLoopUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(MainQueue, WorkPostedFromAnotherThreadRunsOnTheMainThread) {
    std::atomic<bool> ranOnMain{false}, done{false};
    std::thread([&] {
        EXPECT_FALSE(MainQueue::isMainThread());
        MainQueue::async([&] {
            ranOnMain = MainQueue::isMainThread();
            done = true;
        });
    }).join();
    ASSERT_TRUE(runLoopUntil([&] { return done.load(); }));
    EXPECT_TRUE(ranOnMain);
}

TEST(MainQueue, AfterWaitsForItsDelay) {
    bool early = false, late = false;
    MainQueue::after(0.05, [&] { early = true; });
    MainQueue::after(0.4, [&] { late = true; });
    ASSERT_TRUE(runLoopUntil([&] { return early; }));
    EXPECT_FALSE(late);
    ASSERT_TRUE(runLoopUntil([&] { return late; }));
}

TEST(Timer, OneShotFiresOnceAndIsThenInvalid) {
    int fired = 0;
    auto timer = Timer::scheduled(0.02, false, [&](Timer&) { ++fired; });
    EXPECT_TRUE(timer->isValid());
    ASSERT_TRUE(runLoopUntil([&] { return fired == 1; }));
    ASSERT_TRUE(runLoopPastTimer(0.1));  // a second firing would have come before this marker
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer->isValid());
}

TEST(Timer, RepeatingTimerCanStopItselfFromItsBlock) {
    int fired = 0;
    auto timer = Timer::scheduled(0.01, true, [&](Timer& t) {
        if (++fired == 3) t.invalidate();
    });
    ASSERT_TRUE(runLoopUntil([&] { return fired == 3; }));
    ASSERT_TRUE(runLoopPastTimer(0.05));
    EXPECT_EQ(fired, 3);
    EXPECT_FALSE(timer->isValid());
}

TEST(Timer, InvalidatedOrDestroyedTimersNeverFire) {
    int fired = 0;
    auto invalidated = Timer::scheduled(0.02, false, [&](Timer&) { ++fired; });
    invalidated->invalidate();
    Timer::scheduled(0.02, true, [&](Timer&) { ++fired; });  // dropped at once
    ASSERT_TRUE(runLoopPastTimer(0.1));
    EXPECT_EQ(fired, 0);
}

TEST(Timer, FireRunsTheBlockNowAndEndsAOneShotTimer) {
    int fired = 0;
    auto timer = Timer::scheduled(10, false, [&](Timer&) { ++fired; });
    timer->fire();
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer->isValid());
}

TEST(WorkQueue, SerialQueueRunsInOrderOnItsOwnThread) {
    std::vector<int> order;
    std::atomic<bool> allOnQueue{true};
    {
        WorkQueue queue("test.serial");
        for (int i = 0; i < 100; ++i)
            queue.async([&, i] {
                if (!queue.isCurrent() || MainQueue::isMainThread()) allOnQueue = false;
                order.push_back(i);
            });
    }  // the destructor runs everything posted, then joins
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
    EXPECT_TRUE(allOnQueue);
}

TEST(WorkQueue, GlobalQueueRunsConcurrentWork) {
    // Two items that each wait for the other to start: only a queue that runs them at the same
    // time ends both before the deadline (a serial one would run the first into its time-out).
    struct Rendezvous {
        std::mutex mutex;
        std::condition_variable changed;
        int arrived = 0;
        int met = 0;
    };
    auto rendezvous = std::make_shared<Rendezvous>();
    const auto deadline = testsupport::deadlineAfter(10);
    for (int i = 0; i < 2; ++i)
        WorkQueue::global().async([rendezvous, deadline] {
            std::unique_lock lock(rendezvous->mutex);
            ++rendezvous->arrived;
            rendezvous->changed.notify_all();
            if (rendezvous->changed.wait_until(lock, deadline, [&] { return rendezvous->arrived == 2; }))
                ++rendezvous->met;
            rendezvous->changed.notify_all();
        });
    std::unique_lock lock(rendezvous->mutex);
    rendezvous->changed.wait_until(lock, deadline + std::chrono::seconds(1), [&] { return rendezvous->met == 2; });
    EXPECT_EQ(rendezvous->met, 2) << "the global queue ran its work one item at a time";
}

// The main thread is the one that runs the default context, not the one that happened to load
// the library: a program may run its loop on another thread.
TEST(MainQueue, TheMainThreadIsTheOneThatOwnsTheDefaultContext) {
    EXPECT_TRUE(MainQueue::isMainThread()) << "nobody runs the loop: the process's first thread";
    std::atomic<bool> acquired{false}, release{false}, workerIsMain{false}, mainIsMain{true};
    std::thread owner([&] {
        acquired = g_main_context_acquire(g_main_context_default());
        workerIsMain = MainQueue::isMainThread();
        while (!release) std::this_thread::yield();
        if (acquired) g_main_context_release(g_main_context_default());
    });
    while (!acquired && !workerIsMain) std::this_thread::yield();
    ASSERT_TRUE(acquired);
    mainIsMain = MainQueue::isMainThread();
    release = true;
    owner.join();
    EXPECT_TRUE(workerIsMain);
    EXPECT_FALSE(mainIsMain);
    EXPECT_TRUE(MainQueue::isMainThread());
}
