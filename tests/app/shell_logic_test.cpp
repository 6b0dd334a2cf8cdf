// The main window's arithmetic, the menu model, the input touch-bar handler and the support
// prompt's buttons: no display.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/Keys.h"
#include "shell/MainWindowLogic.h"
#include "shell/MenuItem.h"
#include "shell/SupportAlertResponse.h"
#include "web/WQTouchBarHandler.h"

using namespace parlivo;
using namespace parlivo::mainwindow;

TEST(MainWindowLogic, StealthAlphaFollowsStoredAlphaOnlyWhileActive) {
    struct Case { bool active; double stored; double expected; };
    for (const Case& c : {Case{true, 0.0, 0.2}, Case{true, 0.5, 0.6}, Case{true, 1.0, 1.0},
                          Case{false, 0.0, 1.0}, Case{false, 0.5, 1.0}}) {
        EXPECT_DOUBLE_EQ(stealthAlpha(c.active, c.stored), c.expected) << c.active << " " << c.stored;
    }
}

TEST(MainWindowLogic, ShakeGoesFourTimesBetweenBoundsAndEndsWhereItStarted) {
    auto path = shakePath(100, 50, 1000);
    ASSERT_EQ(path.size(), 10u);  // nine segments: eight swings and the way back
    EXPECT_EQ(path.front(), (WindowPoint{100, 50}));
    EXPECT_EQ(path.back(), (WindowPoint{100, 50}));
    for (std::size_t i = 1; i < 9; ++i) {
        EXPECT_DOUBLE_EQ(path[i].x, i % 2 ? 70.0 : 130.0);
        EXPECT_DOUBLE_EQ(path[i].y, 50.0);
    }
    EXPECT_EQ(shakePosition(path, 0.0, shakeDuration), (WindowPoint{100, 50}));
    EXPECT_EQ(shakePosition(path, 5.0, shakeDuration), (WindowPoint{100, 50}));
    // Halfway through the first segment.
    EXPECT_NEAR(shakePosition(path, shakeDuration / 18, shakeDuration).x, 85.0, 1e-9);
}

TEST(MainWindowLogic, FullScreenIsRestoredOnlyInTrayModeAfterAVisibleFullScreenQuit) {
    struct Case { bool dock, onScreen, fullScreen, restore; std::string_view line; };
    for (const Case& c : {Case{true, true, true, false, "Not restoring manually (0)"},
                          Case{false, false, true, false, "Not restoring manually (1)"},
                          Case{false, true, false, false, "Not restoring manually (2)"},
                          Case{false, true, true, true, "Manually restoring window"}}) {
        auto decision = restoreDecision(c.dock, c.onScreen, c.fullScreen);
        EXPECT_EQ(decision.restoreFullScreen, c.restore);
        EXPECT_EQ(decision.debugLine, c.line);
    }
}

TEST(MainWindowLogic, FrameStringsRoundTripAndRejectGarbage) {
    WindowFrame frame{-20, 35, 1024, 768};
    EXPECT_EQ(frameString(frame), "-20 35 1024 768");
    EXPECT_EQ(parseFrameString(frameString(frame)), frame);
    for (std::string_view bad : {"", "1 2 3", "1 2 3 4 5", "a b c d", "1 2 0 4", "1 2 3 -4", "1,5 2 3 4",
                                 "99999999999 1 2 3"}) {
        EXPECT_FALSE(parseFrameString(bad)) << bad;
    }
    EXPECT_EQ(frameDefaultsKey("mainWindow"), "NSWindow Frame mainWindow");
}

TEST(MainWindowLogic, DragIsFreeExceptUpwardPastTheScreenTop) {
    // Pressed 30 px right of and 5 px below the window's corner; window 700 high, strip 12.
    WindowPoint initial{30, 5};
    EXPECT_EQ(dragOrigin({530, 405}, initial, 0, 12, 700), (WindowPoint{500, 400}));
    EXPECT_EQ(dragOrigin({-470, 905}, initial, 0, 12, 700), (WindowPoint{-500, 900}));
    // Upward: at most until a strip's height of the window is left below the top edge.
    EXPECT_EQ(dragOrigin({530, -2000}, initial, 0, 12, 700), (WindowPoint{500, -688}));
    EXPECT_EQ(dragOrigin({530, -2000}, initial, 100, 12, 700), (WindowPoint{500, -588}));
}

TEST(MenuItemModel, ActivationRespectsEnabledAndHiddenAndChangesReachTheView) {
    int runs = 0;
    MenuItem item("Title", "", [&](MenuItem&) { ++runs; });
    int changes = 0;
    item.addChangeHandler([&](const MenuItem&) { ++changes; });
    item.activate();
    item.setEnabled(false);
    item.activate();
    item.setEnabled(true);
    item.setHidden(true);
    item.activate();
    EXPECT_EQ(runs, 1);
    item.setState(tovak::ButtonState::on);
    item.setTitle("Other");
    EXPECT_EQ(changes, 5);
    EXPECT_EQ(item.state(), tovak::ButtonState::on);
}

namespace {
struct RecordingDelegate : WQTouchBarHandlerDelegate {
    std::vector<bool> calls;
    void updateTouchBarItems(bool show) override { calls.push_back(show); }
};
}  // namespace

TEST(WQTouchBarHandler, OnlyExactShowAndHideOnItsOwnChannelCount) {
    auto delegate = std::make_shared<RecordingDelegate>();
    WQTouchBarHandler handler;
    handler.setDelegate(delegate);
    const std::string show = "show", hide = "hide", upper = "Show", spaced = " show";

    handler.didReceiveScriptMessage("WQTouchBarHandler", &hide);  // before any show: still told
    handler.didReceiveScriptMessage("WQTouchBarHandler", &upper);
    handler.didReceiveScriptMessage("WQTouchBarHandler", &spaced);
    handler.didReceiveScriptMessage("WQTouchBarHandler", nullptr);  // a number or a dictionary
    handler.didReceiveScriptMessage("otherHandler", &show);
    EXPECT_FALSE(handler.showTouchBarItems());
    handler.didReceiveScriptMessage("WQTouchBarHandler", &show);
    handler.didReceiveScriptMessage("WQTouchBarHandler", &show);
    EXPECT_TRUE(handler.showTouchBarItems());
    EXPECT_EQ(delegate->calls, (std::vector<bool>{false, true, true}));

    delegate.reset();  // the web view is gone
    handler.didReceiveScriptMessage("WQTouchBarHandler", &hide);
    EXPECT_FALSE(handler.showTouchBarItems());
    EXPECT_TRUE(WQTouchBarHandler::inputTouchBarIdentifier().ends_with(".webViewInputTouchBar"));
}

// Going back does nothing. With no mail program set up (none in the test's own folders),
// "Contact Support" says so, naming the address.
TEST(SupportAlertResponse, GoingBackDoesNothingAndASupportMailWithNoMailProgramNamesTheAddress) {
    std::vector<std::string> notOpened;
    const auto record = [&](const std::string& address) { notOpened.push_back(address); };
    handleSupportAlertResponse(SupportAlertResponse::back, record);
    EXPECT_TRUE(notOpened.empty());
    handleSupportAlertResponse(SupportAlertResponse::contactSupport, record);
    EXPECT_EQ(notOpened, std::vector<std::string>{std::string(constants::supportAddress)});
}
