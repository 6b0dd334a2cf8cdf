// The page is drawn again after a window over it goes away, on a desktop without a GPU or a
// compositor: its pixels before Help > Need Help? and About are what they are after.
#include <cstdlib>

#include "WebHostRun.h"
#include "DesktopSession.h"
#include "ScreenPixels.h"

using namespace e2e;

namespace {

// How far two readings of the same region lie apart: the mean difference in brightness.
double difference(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size() || a.empty()) return 255;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(a[i] - b[i]);
    return sum / double(a.size());
}

}  // namespace

TEST(DialogRedraw, ThePageIsDrawnAgainAfterADialogOverItCloses) {
    auto windowManager = startWindowManager();
    ASSERT_TRUE(windowManager) << "openbox did not start";
    ScreenPixels screen;
    ASSERT_TRUE(screen.ok());
    WebHostRun run;
    // The launch-at-login question comes into the window at a moment of its own (late on a busy
    // machine) and moves the page down under the region read: not a redraw, and not this test's.
    run.home.writeSettings(dictionary({{"Tovak.LaunchAtLoginShowReminder", false}}));
    ASSERT_TRUE(run.start());
    // The program's answers to the page's start-up (styles, sizes) are in before the page is read.
    ASSERT_TRUE(run.server.waitForCall("wqGetChatListWidth", 30, run.startMark)) << run.program->output();
    // The page's scripts run while its frames still load; until the whole load has finished the
    // loading screen covers the page.
    ASSERT_TRUE(run.program->waitForOutput("ViewController ===> Remove loading view!")) << run.program->output();
    const std::string id = run.mainWindow();
    ASSERT_FALSE(id.empty()) << run.program->output();
    ASSERT_TRUE(activate(id));
    const Window window = std::strtoul(id.c_str(), nullptr, 10);
    run.eval("document.body.innerHTML = '<p style=\"font: 20px sans-serif; color: #000; background: #fff; margin: 0\">' "
             "+ 'The quick brown fox jumps over the lazy dog. '.repeat(200) + '</p>', 1");
    ScreenPixels::Box frame;
    ASSERT_TRUE(screen.geometry(window, frame));
    // The middle of the window, where a dialog over it lies.
    const ScreenPixels::Box region{int(frame.width) / 2 - 150, int(frame.height) / 2 - 60, 300, 120};

    // The page as drawn just before a dialog: text, and the same on two readings in a row.
    std::vector<double> drawn;
    const auto readSteadyPage = [&] {
        drawn.clear();
        return eventually([&] {
            auto now = screen.brightness(window, region);
            // Judged on the reading kept: a second reading could show the page drawn a moment
            // after a blank first one, and the blank one would be taken for the page.
            const bool settled = ScreenPixels::sharpness(now, region) > 5 && difference(now, drawn) < 0.5;
            drawn = std::move(now);
            return settled;
        });
    };

    auto& a11y = run.accessibility();
    struct Case {
        const char* menu;
        const char* menuItem;
        std::function<void()> close;
    } cases[] = {
        {"Help", "Need Help?", [&] { EXPECT_TRUE(a11y.press("Back")) << a11y.describe(); }},
        {"Parlivo for WhatsApp", "About", [&] { EXPECT_EQ(std::system("xdotool key --clearmodifiers Escape"), 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.menuItem);
        ASSERT_TRUE(readSteadyPage()) << "the page shows no steady text";
        ASSERT_TRUE(a11y.activate(Accessibility::named("menu", c.menu))) << a11y.describe();
        ASSERT_TRUE(a11y.activate(Accessibility::containing("menu item", c.menuItem))) << a11y.describe();
        // The program's visible windows: the main one, and the one over it.
        const auto windows = [&] {
            return run.run("xdotool search --onlyvisible --pid " + std::to_string(run.program->pid()) + " 2>/dev/null | wc -l");
        };
        ASSERT_TRUE(eventually([&] { return windows() == "2"; })) << windows();
        // The window over the page hides the region.
        EXPECT_TRUE(eventually([&] { return difference(screen.brightness(window, region), drawn) > 5; }));
        c.close();
        ASSERT_TRUE(eventually([&] { return windows() == "1"; })) << windows();
        double left = 0;
        if (!eventually([&] { return (left = difference(screen.brightness(window, region), drawn)) < 0.5; })) {
            // What the window showed instead, kept beside the test's output to be looked at.
            const std::string picture = std::string("dialog_redraw-after-") + c.menu + ".ppm";
            ADD_FAILURE() << "the page was not drawn again: " << left << "; the window as shown: "
                          << (screen.save(window, picture) ? picture : "(not readable)") << "\n--- program ---\n"
                          << run.program->output();
        }
    }
    EXPECT_EQ(run.stop(), 0);
}
