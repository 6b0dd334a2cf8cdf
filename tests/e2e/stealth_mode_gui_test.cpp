// Stealth mode on the page itself, with the real program on a desktop without compositing: the
// page is blurred past reading while the pointer is away from the window and sharp while it is
// over it ("show content on mouse-over"); the pointer is moved by XTest and the page's pixels
// are read from the X display.
#include <cstdlib>

#include "WebHostRun.h"
#include "DesktopSession.h"
#include "ScreenPixels.h"

using namespace e2e;

TEST(StealthMode, ThePageIsBlurredWhileThePointerIsAwayAndSharpWhileItIsOver) {
    auto windowManager = startWindowManager();
    ASSERT_TRUE(windowManager) << "openbox did not start";
    ScreenPixels display;
    ASSERT_TRUE(display.ok());
    WebHostRun run;
    // Opaque while stealthy: no compositor here, and the blur is what must hide the page. The
    // launch-at-login question would come into the window at some moment of its own, sharp over
    // the blurred page: it is not what this test looks at.
    run.home.writeSettings(dictionary({{"privacyStealthModeShowContentOnMouseOver", true},
                                       {"privacyStealthModeAlpha", 1.0},
                                       {"Tovak.LaunchAtLoginShowReminder", false}}));
    ASSERT_TRUE(run.start());
    // Until the page has finished loading the loading screen covers it: its pixels are not the page's.
    ASSERT_TRUE(run.program->waitForOutput("ViewController ===> Remove loading view!")) << run.program->output();
    const std::string id = run.mainWindow();
    ASSERT_FALSE(id.empty()) << run.program->output();
    ASSERT_TRUE(activate(id));
    const Window window = std::strtoul(id.c_str(), nullptr, 10);
    // Text to read in the conversation, right of the chat list.
    run.eval("document.getElementById('conversation').innerHTML = "
             "'<p style=\"font: 20px sans-serif; color: #000; background: #fff\">' + "
             "'The quick brown fox jumps over the lazy dog. '.repeat(40) + '</p>', 1");
    ScreenPixels::Box frame;
    ASSERT_TRUE(display.geometry(window, frame));
    const int x = frame.x, y = frame.y;
    const unsigned w = frame.width, h = frame.height;
    ASSERT_GT(w, 720u);
    ASSERT_GT(h, 360u);
    const auto region = [&] { return display.sharpness(window, {320, 40, 400, 300}); };
    const int awayX = x + int(w) + 20 < display.width() ? display.width() - 1 : 0;
    const int awayY = y + int(h) + 20 < display.height() ? display.height() - 1 : 0;
    ASSERT_TRUE(awayX > x + int(w) || awayY > y + int(h) || (awayX == 0 && x > 0) || (awayY == 0 && y > 0))
        << "no place on the screen is outside the window";

    display.movePointer(x + int(w) / 2, y + int(h) / 2);
    double sharp = 0;
    ASSERT_TRUE(eventually([&] { return (sharp = region()) > 5; })) << "the page shows no text: " << sharp;

    // Stealth mode on, the pointer away: blurred.
    size_t from = run.server.mark();
    ASSERT_TRUE(run.pressKeys("ctrl+shift+s"));
    ASSERT_TRUE(run.server.waitForCall("wqSetStealthModeShowContentOnMouseOver", 30, from)) << run.program->output();
    display.movePointer(awayX, awayY);
    double blurred = 0;
    EXPECT_TRUE(eventually([&] { return (blurred = region()) < sharp / 3; }))
        << "sharp " << sharp << ", with the pointer away " << blurred;
    screenshot("stealth-away");

    // Over the window again: readable.
    display.movePointer(x + int(w) / 2, y + int(h) / 2);
    double back = 0;
    EXPECT_TRUE(eventually([&] { return (back = region()) > sharp * 0.8; })) << "sharp " << sharp << ", back " << back;

    // Stealth mode off: readable wherever the pointer is.
    from = run.server.mark();
    ASSERT_TRUE(run.pressKeys("ctrl+shift+s"));
    ASSERT_TRUE(run.server.waitForCall("wqSetStealthModeShowContentOnMouseOver", 30, from));
    display.movePointer(awayX, awayY);
    EXPECT_TRUE(eventually([&] { return (back = region()) > sharp * 0.8; })) << "sharp " << sharp << ", off " << back;
    EXPECT_EQ(run.stop(), 0);
}
