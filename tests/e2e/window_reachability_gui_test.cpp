// The main window taken away and brought back by what the user uses, with the real program under
// a window manager (openbox): the global shortcut (Alt+Shift+W, pressed through XTest) hides the
// window the user is looking at and brings it back, and brings it to the front when another
// window had the keyboard; closing the window hides it while a tray host shows the program's
// item, and otherwise minimizes it, so the taskbar can still bring it back.
#include <gtest/gtest.h>

#include "DesktopSession.h"
#include "FakeStatusNotifierWatcher.h"

using testsupport::FakeStatusNotifierWatcher;
using testsupport::HostedProgram;

namespace {

// What the user sees of a window: shown, minimized (iconic) or gone (withdrawn), by ICCCM's
// WM_STATE and the X server's map state.
std::string seenAs(const std::string& id) {
    const std::string state = e2e::run("xprop -id " + id + " WM_STATE 2>/dev/null");
    if (state.find("Iconic") != std::string::npos) return "minimized";
    const std::string map = e2e::run("xwininfo -id " + id + " 2>/dev/null | grep 'Map State'");
    return map.find("IsViewable") != std::string::npos ? "shown" : "gone";
}

bool becomes(const std::string& id, const std::string& wanted) {
    return e2e::eventually([&] { return seenAs(id) == wanted; });
}

class WindowReachability : public ::testing::Test {
protected:
    void SetUp() override {
        windowManager = e2e::startWindowManager();
        ASSERT_TRUE(windowManager) << "openbox did not start";
    }

    void launch() {
        // No configuration server is needed: the window is what counts here.
        program = HostedProgram::launch({PARLIVO_BIN_DIR "/parlivo-for-whatsapp", "-de"}, home.options({{}, {}, {}}));
        window = e2e::waitForWindow("Parlivo");
        ASSERT_FALSE(window.empty()) << program->output();
        ASSERT_TRUE(e2e::activate(window)) << program->output();
    }

    void pressShortcut() { e2e::key("alt+shift+w"); }

    testsupport::ProgramHome home;
    std::unique_ptr<HostedProgram> windowManager;
    std::unique_ptr<HostedProgram> program;
    std::string window;
};

}  // namespace

TEST_F(WindowReachability, TheShortcutHidesTheWindowInFrontAndBringsItBack) {
    auto tray = FakeStatusNotifierWatcher::start();
    ASSERT_TRUE(tray);
    launch();
    ASSERT_TRUE(e2e::eventually([&] { return !tray->registrations().empty(); })) << program->output();

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        pressShortcut();
        ASSERT_TRUE(becomes(window, "gone")) << seenAs(window) << "\n" << program->output();
        pressShortcut();
        ASSERT_TRUE(becomes(window, "shown")) << seenAs(window);
        ASSERT_TRUE(e2e::eventually([&] { return e2e::activeWindow() == window; })) << "not in front";
    }

    // Another program's window has the keyboard, ours is on screen behind it: the shortcut
    // brings ours to the front instead of hiding it.
    auto other = HostedProgram::launch({"/usr/bin/xmessage", "-title", "Other", "Another program"});
    const std::string otherWindow = e2e::waitForWindow("Other");
    ASSERT_FALSE(otherWindow.empty());
    ASSERT_TRUE(e2e::activate(otherWindow));
    pressShortcut();
    ASSERT_TRUE(e2e::eventually([&] { return e2e::activeWindow() == window; })) << "not brought to the front";
    EXPECT_EQ(seenAs(window), "shown");

    // Closed by the window manager while the tray shows the item: hidden, and the tray's click
    // (its first menu entry, here the shortcut that does the same) brings it back.
    e2e::key("alt+F4");
    ASSERT_TRUE(becomes(window, "gone")) << seenAs(window);
    pressShortcut();
    ASSERT_TRUE(becomes(window, "shown"));
    EXPECT_EQ(program->stop(), 0) << program->output();
}

TEST_F(WindowReachability, WithoutATrayHostTheWindowIsMinimizedNeverHidden) {
    launch();
    // Closed by the window manager: minimized, still in the taskbar.
    e2e::key("alt+F4");
    ASSERT_TRUE(becomes(window, "minimized")) << seenAs(window) << "\n" << program->output();
    EXPECT_EQ(e2e::run("xprop -id " + window + " _NET_WM_STATE").find("SKIP_TASKBAR"), std::string::npos);
    // Back from the taskbar (the window manager's activation), then taken away by the shortcut:
    // minimized again.
    ASSERT_TRUE(e2e::activate(window));
    ASSERT_TRUE(becomes(window, "shown"));
    pressShortcut();
    ASSERT_TRUE(becomes(window, "minimized")) << seenAs(window);
    pressShortcut();
    ASSERT_TRUE(becomes(window, "shown")) << seenAs(window);
    ASSERT_TRUE(e2e::eventually([&] { return e2e::activeWindow() == window; }));
    EXPECT_EQ(program->stop(), 0) << program->output();
}

// Tray-only mode (no taskbar entry) with no tray host to show the item: the window keeps its
// taskbar entry, the only way back to it once it is minimized.
TEST_F(WindowReachability, TrayOnlyModeWithoutATrayHostKeepsTheTaskbarEntry) {
    platform::PropertyList settings = platform::PropertyList::dictionary();
    settings.set("showDockIcon", false);
    settings.set("showMenuBarIcon", true);
    home.writeSettings(settings);
    launch();
    e2e::key("alt+F4");
    ASSERT_TRUE(becomes(window, "minimized")) << seenAs(window);
    EXPECT_EQ(e2e::run("xprop -id " + window + " _NET_WM_STATE").find("SKIP_TASKBAR"), std::string::npos);
    EXPECT_EQ(program->stop(), 0) << program->output();
}
