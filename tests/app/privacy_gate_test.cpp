// The privacy gate: what would show something of the page goes ahead at once while unlocked;
// behind the lock it waits, in order, and goes ahead only after everything that handles the
// release itself; a page cannot pile up more than the gate keeps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RunLoop.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "settings/PrivacyGate.h"

using namespace parlivo;

namespace {

// As the settings model does it: the stored state first, then the notification.
void setLocked(bool locked) {
    platform::UserDefaults::standard().setBool(std::string(keys::privacyLockdown), locked);
    platform::NotificationCenter::defaultCenter().post(names::privacyChanged);
}

}  // namespace

TEST(PrivacyGateTest, BehindTheLockRequestsWaitInOrderAndTheSurplusIsDismissed) {
    auto& gate = PrivacyGate::shared();
    std::vector<std::string> events;
    auto request = [&](const std::string& name) {
        gate.showWhenUnlocked([&events, name] { events.push_back("show " + name); },
                              [&events, name] { events.push_back("dismiss " + name); });
    };
    setLocked(false);
    request("unlocked");
    EXPECT_EQ(events, std::vector<std::string>{"show unlocked"}) << "at once";

    events.clear();
    std::vector<bool> lockStates;
    auto observer = gate.addLockObserver([&](bool locked) { lockStates.push_back(locked); });
    setLocked(true);
    for (std::size_t i = 0; i < PrivacyGate::maximumWaiting; ++i) request(std::to_string(i));
    request("surplus");
    EXPECT_EQ(events, std::vector<std::string>{"dismiss surplus"});
    EXPECT_EQ(gate.waitingCount(), PrivacyGate::maximumWaiting);

    // The release: those who handle it themselves (the cover going) come first.
    events.clear();
    bool releaseHandled = false;
    auto cover = platform::NotificationCenter::defaultCenter().addObserver(
        names::privacyChanged, [&](const platform::Notification&) { releaseHandled = events.empty(); });
    setLocked(false);
    EXPECT_TRUE(events.empty()) << "not inside the release's own notification";
    EXPECT_TRUE(releaseHandled);
    ASSERT_TRUE(testsupport::drainMainQueue());
    ASSERT_EQ(events.size(), PrivacyGate::maximumWaiting);
    for (std::size_t i = 0; i < events.size(); ++i) EXPECT_EQ(events[i], "show " + std::to_string(i));
    EXPECT_EQ(gate.waitingCount(), 0u);
    EXPECT_EQ(lockStates, (std::vector<bool>{true, false}));

    // Locked again before the queue's turn: the requests keep waiting for the next release.
    events.clear();
    setLocked(true);
    request("late");
    setLocked(false);
    setLocked(true);
    ASSERT_TRUE(testsupport::drainMainQueue());
    EXPECT_TRUE(events.empty());
    setLocked(false);
    ASSERT_TRUE(testsupport::drainMainQueue());
    EXPECT_EQ(events, std::vector<std::string>{"show late"});
}
