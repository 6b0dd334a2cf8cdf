// The global shortcut: bound at start (Alt+Shift+W by default), rebound when the user records
// another, and a real key press (XTest on the X server) reaches the action.

#include <gtest/gtest.h>

#include "RunLoop.h"
#include "TrellikTestSupport.h"
#include "shell/ShortcutRecorder.h"
#include "shell/TrellikParts.h"
#include "shell/WQShortcut.h"

#include <gtkmm/main.h>

// X11 last: its macros (None, Bool, ...) clash with names in the headers above.
#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

using namespace parlivo;
using namespace trelliktest;

namespace {

platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }

// Presses and releases a combination on the X server, as a keyboard would.
void press(std::vector<KeySym> modifiers, KeySym key) {
    Display* display = gdk_x11_display_get_xdisplay(gdk_display_get_default());
    for (KeySym modifier : modifiers) XTestFakeKeyEvent(display, XKeysymToKeycode(display, modifier), True, CurrentTime);
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, key), True, CurrentTime);
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, key), False, CurrentTime);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, *it), False, CurrentTime);
    XFlush(display);
}

// Waits until the X server has handled every key sent so far and the program has handled what
// it got for them: whatever a press would set off has happened by then.
bool inputHandled() {
    XSync(gdk_x11_display_get_xdisplay(gdk_display_get_default()), False);
    return testsupport::drainIdleWork();
}

class ShortcutTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gtk_init_check(nullptr, nullptr);
        // The program's Gtk::Application does this; the recorder is a gtkmm widget.
        Gtk::Main::init_gtkmm_internals();
    }
    void SetUp() override {
        ASSERT_TRUE(gdk_display_get_default() && GDK_IS_X11_DISPLAY(gdk_display_get_default())) << "needs Xvfb";
        clearSettings();
    }
    // Whether `count` reaches `expected`, and stays there once the input was handled.
    static bool reaches(const int& count, int expected) {
        testsupport::runLoopUntil([&] { return count >= expected; }, 3.0);
        return inputHandled() && count == expected;
    }
};

}  // namespace

TEST_F(ShortcutTest, AltShiftWReachesTheWindowThroughTheSettingsModel) {
    EventLog log;
    auto trellik = std::make_unique<Trellik>();
    attachStatusItemAndShortcut(*trellik);
    auto window = std::make_shared<RecordingWindow>(log);
    trellik->setWindowDelegate(window);
    ASSERT_TRUE(WQShortcut::of(*trellik)->isBound());

    press({XK_Alt_L, XK_Shift_L}, XK_w);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !log.events.empty(); }, 3.0));
    EXPECT_EQ(log.events, std::vector<std::string>{"window.handleShortcut"});

    // Without a window the press does nothing.
    trellik->setWindowDelegate(nullptr);
    press({XK_Alt_L, XK_Shift_L}, XK_w);
    ASSERT_TRUE(inputHandled());
    EXPECT_EQ(log.events.size(), 1u);
}

TEST_F(ShortcutTest, APressBeforeTheActionIsSetDoesNothing) {
    WQShortcut shortcut;
    ASSERT_TRUE(shortcut.isBound());
    press({XK_Alt_L, XK_Shift_L}, XK_w);
    ASSERT_TRUE(inputHandled());
    int count = 0;
    shortcut.setAction([&] { ++count; });
    press({XK_Alt_L, XK_Shift_L}, XK_w);
    EXPECT_TRUE(reaches(count, 1));
}

TEST_F(ShortcutTest, ANewShortcutReplacesTheOldOneAndSurvivesARestart) {
    int count = 0;
    {
        WQShortcut shortcut;
        shortcut.setAction([&] { ++count; });
        const WQShortcut::Shortcut controlAltA{0, WQShortcut::controlFlag | WQShortcut::optionFlag};
        shortcut.setShortcut(controlAltA);
        EXPECT_EQ(shortcut.currentShortcut(), controlAltA);

        press({XK_Alt_L, XK_Shift_L}, XK_w);
        EXPECT_TRUE(reaches(count, 0));
        press({XK_Control_L, XK_Alt_L}, XK_a);
        EXPECT_TRUE(reaches(count, 1));
    }
    // Released: the grab is gone.
    press({XK_Control_L, XK_Alt_L}, XK_a);
    EXPECT_TRUE(reaches(count, 1));

    WQShortcut restarted;
    restarted.setAction([&] { ++count; });
    press({XK_Control_L, XK_Alt_L}, XK_a);
    EXPECT_TRUE(reaches(count, 2));
}

TEST_F(ShortcutTest, TheRecorderRecordsClearsAndCancels) {
    WQShortcut shortcut;
    int count = 0;
    shortcut.setAction([&] { ++count; });
    ShortcutRecorder& recorder = shortcut.shortcutView();
    EXPECT_EQ(&recorder, &shortcut.shortcutView());

    recorder.clicked();
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_FALSE(shortcut.isBound());  // the grab is released while it listens
    EXPECT_TRUE(recorder.handleKeyPress(GDK_KEY_k, 0));  // a plain key is not a shortcut
    EXPECT_TRUE(recorder.isRecording());
    recorder.handleKeyPress(GDK_KEY_k, GDK_CONTROL_MASK | GDK_SHIFT_MASK);
    EXPECT_FALSE(recorder.isRecording());
    const WQShortcut::Shortcut controlShiftK{40, WQShortcut::controlFlag | WQShortcut::shiftFlag};
    EXPECT_EQ(shortcut.currentShortcut(), controlShiftK);
    auto stored = defaults().dictionaryForKey(std::string(WQShortcut::defaultsKey));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->at("keyCode").asInt(), 40);
    press({XK_Control_L, XK_Shift_L}, XK_k);
    EXPECT_TRUE(reaches(count, 1));

    // Escape leaves the shortcut as it was.
    recorder.clicked();
    recorder.handleKeyPress(GDK_KEY_Escape, 0);
    EXPECT_EQ(shortcut.currentShortcut(), controlShiftK);
    EXPECT_TRUE(shortcut.isBound());

    // Backspace clears it: nothing is bound, also after a restart.
    recorder.clicked();
    recorder.handleKeyPress(GDK_KEY_BackSpace, 0);
    EXPECT_FALSE(shortcut.currentShortcut());
    EXPECT_FALSE(shortcut.isBound());
    WQShortcut restarted;
    EXPECT_FALSE(restarted.isBound());
}

TEST_F(ShortcutTest, AStoredRecordThatMakesNoSenseFallsBackToTheDefault) {
    const std::string key(WQShortcut::defaultsKey);
    std::vector<platform::PropertyList> garbage = {platform::PropertyList("Alt+Shift+W"), platform::PropertyList(13)};
    platform::PropertyList unknownKey = platform::PropertyList::dictionary();
    unknownKey.set("keyCode", 999);
    unknownKey.set("modifierFlags", 0x80000);
    garbage.push_back(unknownKey);
    platform::PropertyList negative = platform::PropertyList::dictionary();
    negative.set("keyCode", 13);
    negative.set("modifierFlags", -1);
    garbage.push_back(negative);
    platform::PropertyList wrapped = platform::PropertyList::dictionary();  // 13 once cut to 32 bits
    wrapped.set("keyCode", (std::int64_t(1) << 32) + 13);
    wrapped.set("modifierFlags", 0x100000);
    garbage.push_back(wrapped);
    // Records that would grab a plain typing key everywhere: W alone, Shift+W.
    for (std::int64_t flags : {std::int64_t(0), std::int64_t(WQShortcut::shiftFlag)}) {
        platform::PropertyList plain = platform::PropertyList::dictionary();
        plain.set("keyCode", 13);
        plain.set("modifierFlags", flags);
        garbage.push_back(plain);
    }
    for (const auto& value : garbage) {
        defaults().set(key, value);
        WQShortcut shortcut;
        EXPECT_EQ(shortcut.currentShortcut(), WQShortcut::defaultShortcut);
        EXPECT_TRUE(shortcut.isBound());
    }
}

TEST_F(ShortcutTest, ARecorderGoingAwayWhileItListensGivesTheGrabBack) {
    int count = 0;
    {
        WQShortcut shortcut;
        shortcut.shortcutView().clicked();
        ASSERT_TRUE(shortcut.shortcutView().isRecording());
    }
    WQShortcut shortcut;
    shortcut.setAction([&] { ++count; });
    press({XK_Alt_L, XK_Shift_L}, XK_w);
    EXPECT_TRUE(reaches(count, 1));
}

TEST(ShortcutMapping, MacKeyCodesAndFlagsRoundTripThroughGdk) {
    for (int keyCode = 0; keyCode < 128; ++keyCode) {
        const WQShortcut::Shortcut shortcut{keyCode, WQShortcut::commandFlag | WQShortcut::optionFlag};
        auto combination = WQShortcut::gdkCombination(shortcut);
        if (!combination) continue;
        EXPECT_EQ(WQShortcut::shortcutFromGdk(combination->first, combination->second), shortcut) << keyCode;
    }
    auto w = WQShortcut::gdkCombination(WQShortcut::defaultShortcut);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->first, unsigned(GDK_KEY_w));
    EXPECT_EQ(w->second, unsigned(GDK_SHIFT_MASK | GDK_MOD1_MASK));
    // An upper-case key value (Shift held) records the same key.
    EXPECT_EQ(WQShortcut::shortcutFromGdk(GDK_KEY_W, GDK_SHIFT_MASK | GDK_MOD1_MASK), WQShortcut::defaultShortcut);
}
