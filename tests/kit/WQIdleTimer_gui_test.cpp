#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gtk/gtk.h>

#include "RunLoop.h"
#include "WQIdleTimer.h"
#include "foundation/NotificationCenter.h"
#include "ui/UserActivityMonitor.h"

using tovak::WQIdleTimer;

namespace {

// A window of our own under the X server, and synthetic input through XTest.
class IdleTimerDisplayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs an X display";
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(window), 200, 200);
        gtk_window_move(GTK_WINDOW(window), 0, 0);
        gtk_widget_show_all(window);
        ASSERT_TRUE(testsupport::runLoopUntil([] { return gtk_widget_get_mapped(window); }));
        gdk_display_sync(gdk_display_get_default());
        ASSERT_TRUE(testsupport::drainIdleWork());
        gdk_window_get_origin(gtk_widget_get_window(window), &originX, &originY);
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr);
    }

    void SetUp() override {
        WQIdleTimer::Environment environment = WQIdleTimer::defaultEnvironment();
        environment.tickInterval = 0.1;
        timer = std::make_unique<WQIdleTimer>(environment);
    }

    // Keeps sending `input` every 0.15 s for `seconds`; true when the timer posted meanwhile. The
    // pauses are the point here: the timer measures time passing between inputs.
    bool postedWhileSending(double seconds, const std::function<void(int step)>& input) {
        const gint64 end = g_get_monotonic_time() + gint64(seconds * G_USEC_PER_SEC);
        for (int step = 0; g_get_monotonic_time() < end; ++step) {
            input(step);
            XFlush(display);
            testsupport::runLoopFor(0.15);
        }
        return posts > 0;
    }

    static void moveInside(int step) { XTestFakeMotionEvent(display, -1, originX + 50 + step % 2 * 20, originY + 50, 0); }
    static void moveOutside(int step) { XTestFakeMotionEvent(display, -1, originX + 600 + step % 2 * 20, originY + 500, 0); }
    static void press(unsigned button) {
        XTestFakeButtonEvent(display, button, True, 0);
        XTestFakeButtonEvent(display, button, False, 0);
    }
    static void key(KeySym sym) {
        const KeyCode code = XKeysymToKeycode(display, sym);
        XTestFakeKeyEvent(display, code, True, 0);
        XTestFakeKeyEvent(display, code, False, 0);
    }

    static inline GtkWidget* window = nullptr;
    static inline Display* display = nullptr;
    static inline int originX = 0, originY = 0;
    std::unique_ptr<WQIdleTimer> timer;
    int posts = 0;
    platform::ObserverToken observer = platform::NotificationCenter::defaultCenter().addObserver(
        tovak::kWQIdleTimerNotification, [this](const platform::Notification&) { ++posts; });
};

}  // namespace

TEST_F(IdleTimerDisplayTest, InputInOurWindowHoldsTheNotificationOffUntilItStops) {
    struct Case {
        const char* what;
        std::function<void(int)> input;
    } cases[] = {
        {"mouse moves", &moveInside},
        {"left clicks", [](int) { moveInside(0), press(1); }},
        {"key strokes", [](int) { moveInside(0), key(XK_a); }},
    };
    for (const auto& c : cases) {
        posts = 0;
        moveInside(0);
        // Two idle seconds leave room for a slow main loop on a loaded machine between inputs.
        timer->run(2);
        EXPECT_FALSE(postedWhileSending(3.0, c.input)) << c.what;
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return posts > 0; }, 5.0)) << c.what;
        ASSERT_TRUE(testsupport::runLoopPastTimer(0.3));  // past three ticks: no second post
        EXPECT_EQ(posts, 1) << c.what;
    }
}

TEST_F(IdleTimerDisplayTest, InputThatDoesNotCountLetsTheNotificationCome) {
    struct Case {
        const char* what;
        bool outside;
        std::function<void(int)> input;
    } cases[] = {
        {"mouse moves in another program's area", true, &moveOutside},
        {"scroll wheel", false, [](int) { press(4); }},
        {"modifier keys", false, [](int) { key(XK_Shift_L); }},
    };
    for (const auto& c : cases) {
        posts = 0;
        c.outside ? moveOutside(0) : moveInside(0);
        // The move has reached the server, GTK has read what the server sent back, and handled it.
        XSync(display, False);
        gdk_display_sync(gdk_display_get_default());
        ASSERT_TRUE(testsupport::drainIdleWork());
        timer->run(1);
        EXPECT_TRUE(postedWhileSending(2.5, c.input)) << c.what;
        // The X server did see the input: it is the timer that did not count it.
        const auto idle = platform::UserActivityMonitor::systemIdleTime();
        ASSERT_TRUE(idle.has_value());
        EXPECT_LT(*idle, 1.0) << c.what;
        EXPECT_EQ(posts, 1) << c.what;
    }
}
