// In-process notifications: names, senders, user info and observer lifetimes.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "foundation/NotificationCenter.h"

using namespace platform;

TEST(NotificationCenter, DeliversByNameAndSenderWithUserInfo) {
    NotificationCenter center;
    int a = 0, b = 0;
    std::vector<std::string> seen;
    auto byName = center.addObserver("kChanged", [&](const Notification& n) {
        seen.push_back("name:" + std::to_string(*n.info<int>("count")));
    });
    auto bySender = center.addObserver("kChanged", &a, [&](const Notification&) { seen.push_back("from a"); });
    auto everything = center.addObserver("", [&](const Notification& n) { seen.push_back("any:" + n.name); });

    center.post("kChanged", &a, {{"count", 1}});
    center.post("kChanged", &b, {{"count", 2}});
    center.post("kOther");
    EXPECT_EQ(seen, (std::vector<std::string>{"name:1", "from a", "any:kChanged", "name:2", "any:kChanged",
                                              "any:kOther"}));
}

TEST(NotificationCenter, TokensRemoveTheirObserver) {
    NotificationCenter center;
    int calls = 0;
    {
        auto token = center.addObserver("n", [&](const Notification&) { ++calls; });
        center.post("n");
    }
    center.post("n");
    EXPECT_EQ(calls, 1);

    auto moved = center.addObserver("n", [&](const Notification&) { ++calls; });
    ObserverToken holder = std::move(moved);
    center.post("n");
    holder.reset();
    center.post("n");
    EXPECT_EQ(calls, 2);
}

TEST(NotificationCenter, AnObserverRemovedDuringAPostIsNotCalledAfterwards) {
    NotificationCenter center;
    ObserverToken second;
    int secondCalls = 0;
    auto first = center.addObserver("n", [&](const Notification&) { second.reset(); });
    second = center.addObserver("n", [&](const Notification&) { ++secondCalls; });
    center.post("n");
    EXPECT_EQ(secondCalls, 0);
}

// A centre that goes lets go of its observers' blocks at once, and a token that outlives it
// touches nothing when it is reset: not even a new centre made in the same place.
TEST(NotificationCenter, ATokenMayOutliveItsCentre) {
    alignas(NotificationCenter) unsigned char storage[sizeof(NotificationCenter)];
    auto captured = std::make_shared<int>(0);
    std::weak_ptr<int> watch = captured;
    auto* first = new (storage) NotificationCenter;
    ObserverToken stale = first->addObserver("n", [captured](const Notification&) { ++*captured; });
    captured.reset();
    first->~NotificationCenter();
    EXPECT_TRUE(watch.expired()) << "the block was kept by its token";

    auto* second = new (storage) NotificationCenter;  // the same address as the first
    int calls = 0;
    ObserverToken live = second->addObserver("n", [&](const Notification&) { ++calls; });
    stale.reset();
    second->post("n");
    EXPECT_EQ(calls, 1) << "resetting the old token removed an observer of the new centre";
    live.reset();
    second->~NotificationCenter();
}

TEST(NotificationCenter, AnObserverMayAddObserversWhileItRuns) {
    NotificationCenter center;
    std::vector<ObserverToken> added;
    int lateCalls = 0;
    auto adder = center.addObserver("n", [&](const Notification&) {
        added.push_back(center.addObserver("n", [&](const Notification&) { ++lateCalls; }));
    });
    center.post("n");
    EXPECT_EQ(lateCalls, 0) << "an observer added during a post waits for the next one";
    center.post("n");
    EXPECT_EQ(lateCalls, 1);
}
