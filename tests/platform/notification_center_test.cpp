// In-process notifications: names, senders, user info and observer lifetimes.
#include <gtest/gtest.h>

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

TEST(NotificationCenter, ATokenMayOutliveItsCentre) {
    ObserverToken token;
    {
        NotificationCenter center;
        token = center.addObserver("n", [](const Notification&) {});
    }
    token.reset();  // must not touch the destroyed centre
    SUCCEED();
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
