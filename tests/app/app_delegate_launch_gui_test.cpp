// Start-up variants of the application delegate, each with its own recording host.
#include <gtest/gtest.h>
#include <gtkmm/main.h>

#include "RunLoop.h"
#include "ShellFakes.h"
#include "WQLaunchAtLoginManager.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"

using namespace parlivo;
using namespace testsupport;

namespace {

void setBool(std::string_view key, bool value) { platform::UserDefaults::standard().setBool(std::string(key), value); }

class AppDelegateLaunchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Gtk::Main::init_gtkmm_internals(); }
};

}  // namespace

TEST_F(AppDelegateLaunchTest, AControllerSetBeforeLaunchIsKeptAndNotShown) {
    FakeHost other;
    auto second = AppDelegate::create(other);
    auto existing = std::make_shared<FakeMainController>();
    second->setMainWindowController(existing);
    second->applicationDidFinishLaunching();
    EXPECT_EQ(other.instantiated, 0);
    EXPECT_EQ(existing->shown, 0);
    EXPECT_EQ(second->mainMenu().visualizationStyleMenu->items().size(), 4u);  // the menus were still made
}

TEST_F(AppDelegateLaunchTest, TrayOnlyModeShowsTheWindowOneTurnLater) {
    setBool(keys::showDockIcon, false);
    FakeHost other;
    auto second = AppDelegate::create(other);
    second->applicationDidFinishLaunching();
    setBool(keys::showDockIcon, true);
    EXPECT_EQ(other.controller->shown, 0);
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return other.controller->shown == 1; }, 2.0));
}


TEST_F(AppDelegateLaunchTest, ADelegateLetGoBeforeTheTrayOnlyShowIsNotKeptAliveToShowIt) {
    setBool(keys::showDockIcon, false);
    FakeHost other;
    auto second = AppDelegate::create(other);
    second->applicationDidFinishLaunching();
    setBool(keys::showDockIcon, true);
    auto controller = other.controller;
    std::weak_ptr<AppDelegate> watched = second;
    second.reset();
    EXPECT_TRUE(watched.expired()) << "the delayed show holds the delegate";
    // The show waits for the launch to be known, then for one more turn: past both, nothing.
    bool known = false;
    tovak::WQLaunchAtLoginManager::shared().whenLaunchIsKnown([&] { known = true; });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return known; }));
    ASSERT_TRUE(testsupport::runLoopPastTimer(0.3));
    EXPECT_EQ(controller->shown, 0);
}
