// The in-window notification queue: which record the display gets (priorities, first come
// first served, never 0 or below), one identifier at most, finishing, and a display that
// registers late or goes away.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "RunLoop.h"
#include "foundation/MainQueue.h"
#include "foundation/UserDefaults.h"
#include "notifications/SettingsWriteFailureNotice.h"
#include "notifications/WQWindowNotification.h"

using namespace parlivo;

namespace {

// Records what the queue hands over; "-" for "show nothing".
struct RecordingDisplay : WQWindowNotificationControllerViewDelegate {
    std::vector<std::string> shown;
    void presentWindowNotification(const std::shared_ptr<WQWindowNotification>& n) override {
        shown.push_back(n ? n->text : "-");
    }
};

std::shared_ptr<WQWindowNotification> record(std::string text, std::int64_t priority,
                                             std::optional<std::string> identifier = std::nullopt) {
    auto n = WQWindowNotification::create(std::move(text), "AppIconLarge", "OK", [](WQWindowNotification&) {},
                                          std::nullopt, {}, std::nullopt, {}, priority);
    n->identifier = std::move(identifier);
    return n;
}

class WindowNotificationQueueTest : public ::testing::Test {
protected:
    // The hand-over is always queued on the main loop; this runs it.
    std::vector<std::string> shownAfterLoop() {
        // A marker posted after everything the queue scheduled.
        bool marker = false;
        platform::MainQueue::async([&] { marker = true; });
        EXPECT_TRUE(testsupport::runLoopUntil([&] { return marker; }));
        return display->shown;
    }

    std::shared_ptr<WQWindowNotificationController> queue = std::make_shared<WQWindowNotificationController>();
    std::shared_ptr<RecordingDisplay> display = std::make_shared<RecordingDisplay>();
};

}  // namespace

TEST_F(WindowNotificationQueueTest, HighestPriorityFirstThenArrivalOrderAndNothingAtZeroOrBelow) {
    queue->setViewDelegate(display);
    auto five = record("five", 5);
    auto tenA = record("ten A", 10);
    auto tenB = record("ten B", 10);
    auto zero = record("zero", 0);
    auto negative = record("negative", -3);
    for (const auto& n : {zero, five, tenA, negative, tenB}) queue->addNotification(n);
    // The hand-over is queued: the current record is already known, the display not told yet.
    EXPECT_EQ(queue->currentlyPresentingNotification(), tenA);
    EXPECT_EQ(tenA->delegate.lock().get(), queue.get());

    queue->windowNotificationDidFinish(tenA);
    queue->windowNotificationDidFinish(tenB);
    queue->windowNotificationDidFinish(five);
    // Records of priority 0 or below stay queued and are never shown.
    EXPECT_EQ(queue->notificationQueue().size(), 2u);
    EXPECT_EQ(shownAfterLoop(), (std::vector<std::string>{"five", "ten A", "ten B", "five", "-"}));
}

TEST_F(WindowNotificationQueueTest, AHigherPriorityTakesTheScreenAndTheFirstComesBack) {
    queue->setViewDelegate(display);
    auto ten = record("ten", 10);
    auto twenty = record("twenty", 20);
    queue->addNotification(ten);
    queue->addNotification(record("another ten", 10));  // equal priority: nothing changes on screen
    queue->addNotification(twenty);
    queue->presentNextNotification();  // already on screen: not handed over again
    queue->windowNotificationDidFinish(twenty);
    EXPECT_EQ(shownAfterLoop(), (std::vector<std::string>{"ten", "twenty", "ten"}));
}

TEST_F(WindowNotificationQueueTest, OneRecordPerIdentifierAndFinishingAStrangerDoesNothing) {
    queue->setViewDelegate(display);
    auto first = record("launch at login", 1000, "LaunchAtLogin");
    queue->addNotification(first);
    queue->addNotification(record("again", 2000, "LaunchAtLogin"));  // dropped, even with a higher priority
    queue->addNotification(record("other", 1, "Other"));
    queue->addNotification(record("plain A", 1));
    queue->addNotification(record("plain B", 1));  // no identifier: no rule
    EXPECT_EQ(queue->notificationQueue().size(), 4u);
    EXPECT_EQ(queue->notificationQueue().front(), first);

    queue->windowNotificationDidFinish(record("never added", 1));
    EXPECT_EQ(queue->notificationQueue().size(), 4u);
    EXPECT_EQ(shownAfterLoop(), (std::vector<std::string>{"launch at login"}));

    // Once the first is finished, its identifier may come again.
    queue->windowNotificationDidFinish(first);
    queue->addNotification(record("launch at login, later", 1000, "LaunchAtLogin"));
    EXPECT_EQ(shownAfterLoop(), (std::vector<std::string>{"launch at login", "other", "launch at login, later"}));
}

TEST_F(WindowNotificationQueueTest, RecordsWaitForADisplayAndANewDisplayIsToldAgain) {
    auto prompt = record("prompt", 1000);
    queue->addNotification(prompt);
    EXPECT_EQ(prompt->delegate.lock().get(), queue.get());  // chosen, though nobody shows it yet
    EXPECT_FALSE(queue->currentlyPresentingNotification());

    queue->setViewDelegate(display);
    EXPECT_EQ(shownAfterLoop(), std::vector<std::string>{"prompt"});

    // The window goes and a new one comes: the new display is handed the record again.
    queue->setViewDelegate(nullptr);
    auto second = std::make_shared<RecordingDisplay>();
    queue->setViewDelegate(second);
    display = second;
    EXPECT_EQ(shownAfterLoop(), std::vector<std::string>{"prompt"});
}

// Settings that cannot be saved are told in the window: one notice with the reason for a run of
// failed writes, however often they fail, and it goes once the settings are written again. (A
// file where the settings folder should be makes every write fail, for root too.)
TEST(SettingsWriteFailureNoticeTest, OneNoticeForARunOfFailuresGoneOnceWritingWorks) {
    namespace fs = std::filesystem;
    const fs::path blocked = fs::path(::testing::TempDir()) / "settings-notice-blocked";
    fs::remove_all(blocked);
    std::ofstream(blocked) << "not a folder";
    platform::UserDefaults defaults(blocked / "defaults.plist");
    SettingsWriteFailureNotice notice(defaults);
    auto& queue = WQWindowNotificationController::shared();
    auto queued = [&] {
        std::vector<std::string> texts;
        for (const auto& record : queue.notificationQueue())
            if (record->identifier == std::string(SettingsWriteFailureNotice::identifier)) texts.push_back(record->text);
        return texts;
    };

    defaults.setBool("changed", true);
    EXPECT_FALSE(defaults.synchronize());
    defaults.setBool("changed again", true);
    EXPECT_FALSE(defaults.synchronize());
    ASSERT_TRUE(testsupport::drainMainQueue());
    const auto texts = queued();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("cannot save your settings"), std::string::npos) << texts[0];
    EXPECT_EQ(notice.notice()->priority, SettingsWriteFailureNotice::priority);

    fs::remove(blocked);
    EXPECT_TRUE(defaults.synchronize());
    ASSERT_TRUE(testsupport::drainMainQueue());
    EXPECT_TRUE(queued().empty());
    EXPECT_FALSE(notice.notice());
}
