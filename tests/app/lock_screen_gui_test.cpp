// The lock screen in the real main window, against a fake fprintd on the test's private session
// bus: the password and the fingerprint release the lock, a wrong password shakes the window and
// offers the fingerprint again, the fingerprint waits for the window to be active, and the
// forgotten-password way out releases the lock only once the log-out has completed.
#include <gtest/gtest.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/main.h>
#include <gtkmm/popover.h>

#include <cstdlib>
#include <optional>

#include "FakeFprintd.h"
#include "RunLoop.h"
#include "WQSecureTextField.h"
#include "controls/ZOAAlertPopover.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "privacy/PrivacyViewController.h"
#include "privacy/WQPasswordHandler.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "settings/Trellik.h"
#include "shell/WQWindowController.h"

using namespace parlivo;
using testsupport::FakeFprintd;
using testsupport::runLoopUntil;

namespace {

platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }

class LockScreenTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("PARLIVO_FPRINT_BUS", "session", 1);
        gtk_init(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
    }

    void SetUp() override {
        defaults().setBool(std::string(keys::privacyModeEnabled), true);
        defaults().setBool(std::string(keys::privacyLockdown), true);
        defaults().setBool(std::string(keys::privacyModeTouchIDEnabled), true);
        // A light record: the real count costs 100 ms a check, and the format is the same.
        defaults().setString(WQPasswordHandler::key(keys::privacyPassword), *WQPasswordHandler::makeRecord("secret", 1000));
        changes = platform::NotificationCenter::defaultCenter().addObserver(names::privacyChanged, [this](const auto&) {
            ++privacyChanges;
            modeEnabledWhenReleased = defaults().boolForKey(std::string(keys::privacyModeEnabled));
        });
        windowController = WQWindowController::instantiate(nullptr);
        ASSERT_TRUE(windowController);
    }

    void TearDown() override {
        lock.reset();
        if (other) other->hide();
        windowController->destroyWindow();
        changes.reset();
        defaults().remove(std::string(keys::privacyLockdown));
        defaults().remove(std::string(keys::privacyModeEnabled));
        defaults().remove(WQPasswordHandler::key(keys::privacyPassword));
    }

    WQWindow& window() { return *windowController->window(); }
    bool locked() { return defaults().boolForKey(std::string(keys::privacyLockdown)); }

    // The lock screen in the window, which is shown and active (as the main view controller's
    // layering puts it there).
    void showLocked(PrivacyViewController::Services services = {}) {
        makeLock(std::move(services));
        windowController->makeKeyAndOrderFront();
        ASSERT_TRUE(runLoopUntil([&] { return window().is_active() && lock->view().get_mapped(); }, 10.0));
    }
    void makeLock(PrivacyViewController::Services services = {}) {
        lock = PrivacyViewController::create(std::move(services));
        windowController->contentView()->pack_start(lock->view(), Gtk::PACK_EXPAND_WIDGET);
        lock->view().show();
    }
    // Types the password and presses Return; waits until it has been checked.
    void enter(const std::string& password) {
        lock->passwordTextField().set_text(password);
        lock->passwordTextField().activate();
        ASSERT_TRUE(lock->isCheckingPassword());
        ASSERT_TRUE(runLoopUntil([&] { return !lock || !lock->isCheckingPassword() || !locked(); }));
    }
    bool verificationsStarted(int count) {
        return runLoopUntil([&] { return fprintd.snapshot().verifyStarts == count; }, 10.0);
    }

    FakeFprintd fprintd;
    std::shared_ptr<WQWindowController> windowController;
    std::shared_ptr<PrivacyViewController> lock;
    std::unique_ptr<Gtk::Window> other;
    platform::ObserverToken changes;
    int privacyChanges = 0;
    bool modeEnabledWhenReleased = false;
};

}  // namespace

TEST_F(LockScreenTest, TheRightPasswordReleasesTheLockOnceAndEndsTheFingerprintVerification) {
    fprintd.with([](auto& s) { s.verdict = FakeFprintd::Verdict::never; });
    ASSERT_TRUE(fprintd.start());
    showLocked();
    // The reader listens as soon as the window is active (once fprintd has answered).
    ASSERT_TRUE(verificationsStarted(1));
    EXPECT_TRUE(lock->didShowTouchID());
    EXPECT_TRUE(lock->touchIDView().get_visible());
    EXPECT_TRUE(lock->passwordTextField().has_focus());

    enter("secret");
    EXPECT_FALSE(locked());
    EXPECT_EQ(privacyChanges, 1);
    EXPECT_TRUE(modeEnabledWhenReleased);
    // The verification still running was stopped and the reader given back.
    ASSERT_TRUE(runLoopUntil([&] { return fprintd.snapshot().releases == 1; }));
    EXPECT_EQ(fprintd.snapshot().verifyStops, 1);
}

// A wrong password keeps the lock, shakes the window and offers the fingerprint again where the
// setting allows it; with no password stored every entry is wrong, the empty one included, and
// an empty entry is wrong even against a record an earlier version made of the empty password.
TEST_F(LockScreenTest, AWrongPasswordShakesTheWindowAndOffersTheFingerprintAgain) {
    struct Case {
        const char* what;
        bool storedPassword;
        std::string typed;
        bool fingerprintEnabled;
        std::optional<std::string> record = std::nullopt;  // in place of the fixture's
    } cases[] = {
        {"wrong password", true, "Secret", true},
        {"fingerprint off", true, "wrong", false},
        {"no password stored, empty entry", false, "", true},
        {"the empty password's old record, empty entry", true, "", false, WQPasswordHandler::makeRecord("", 1000)},
    };
    fprintd.with([](auto& s) { s.verdict = FakeFprintd::Verdict::noMatch; });
    ASSERT_TRUE(fprintd.start());
    int started = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.storedPassword) defaults().remove(WQPasswordHandler::key(keys::privacyPassword));
        if (c.record) defaults().setString(WQPasswordHandler::key(keys::privacyPassword), *c.record);
        defaults().setBool(std::string(keys::privacyModeTouchIDEnabled), c.fingerprintEnabled);
        if (lock) windowController->contentView()->remove(lock->view());
        showLocked();
        if (c.fingerprintEnabled) {
            // The first offer came and the finger did not match: the password field stays.
            ASSERT_TRUE(verificationsStarted(++started));
            ASSERT_TRUE(runLoopUntil([&] { return !lock->didShowTouchID(); }));
            EXPECT_FALSE(lock->touchIDView().get_visible());
        }

        enter(c.typed);
        EXPECT_TRUE(locked());
        EXPECT_EQ(privacyChanges, 0);
        EXPECT_TRUE(window().isShaking());
        EXPECT_EQ(lock->passwordTextField().get_text(), c.typed) << "the typed text stays";
        EXPECT_EQ(lock->didShowTouchID(), c.fingerprintEnabled) << "offered again right after";
        if (c.fingerprintEnabled) {
            ASSERT_TRUE(verificationsStarted(++started));
        }
        ASSERT_TRUE(runLoopUntil([&] { return !window().isShaking() && !lock->didShowTouchID(); }));
    }
    EXPECT_EQ(fprintd.snapshot().verifyStarts, started);
}

// The fingerprint is offered only to an active window: a lock that engages while another
// window has the focus prompts once its own window becomes active, and a match releases it.
TEST_F(LockScreenTest, TheFingerprintWaitsForTheWindowToBeActiveAndAMatchReleasesTheLock) {
    ASSERT_TRUE(fprintd.start());
    windowController->makeKeyAndOrderFront();
    ASSERT_TRUE(runLoopUntil([&] { return window().is_active(); }, 10.0));
    other = std::make_unique<Gtk::Window>();
    other->present();
    ASSERT_TRUE(runLoopUntil([&] { return other->get_mapped(); }));
    other->get_window()->focus(GDK_CURRENT_TIME);
    ASSERT_TRUE(runLoopUntil([&] { return other->is_active() && !window().is_active(); }, 10.0));

    makeLock();
    ASSERT_TRUE(runLoopUntil([&] { return lock->view().get_mapped(); }));
    ASSERT_TRUE(testsupport::drainMainQueue());
    EXPECT_FALSE(lock->didShowTouchID());
    EXPECT_EQ(fprintd.snapshot().claims, 0);

    windowController->makeKeyAndOrderFront();
    ASSERT_TRUE(runLoopUntil([&] { return !locked(); }, 10.0));
    EXPECT_EQ(fprintd.snapshot().verifyStarts, 1);
    EXPECT_EQ(privacyChanges, 1);
}

// Proceed logs the page out first; the lock goes, then privacy mode, only once the log-out has
// completed. A log-out that cannot complete keeps both and says so; Cancel changes nothing.
TEST_F(LockScreenTest, TheForgottenPasswordWayOutReleasesTheLockOnlyAfterTheLogOut) {
    std::vector<std::function<void(bool)>> logOuts;
    PrivacyViewController::Services services;
    services.logOut = [&](std::function<void(bool)> completion) { logOuts.push_back(std::move(completion)); };
    showLocked(services);

    auto ask = [&] {
        lock->forgotButton().clicked();
        auto alert = lock->forgotPasswordAlert();
        EXPECT_TRUE(alert && alert->isShown());
        return alert;
    };
    auto alert = ask();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->alert().messageText, "Disable privacy?");
    EXPECT_NE(alert->alert().informativeText.find("logged out of the WhatsApp service"), std::string::npos);
    EXPECT_EQ(alert->alert().style, ZOAAlert::Style::critical);
    EXPECT_EQ(alert->popover()->get_relative_to(), &lock->forgotButton());
    alert->dismissAlert(1);  // Cancel
    ASSERT_TRUE(testsupport::drainMainQueue());
    EXPECT_TRUE(logOuts.empty());
    EXPECT_TRUE(locked());

    // Proceed, and the log-out fails: the lock stays.
    ask()->dismissAlert(0);
    ASSERT_EQ(logOuts.size(), 1u);
    EXPECT_TRUE(lock->isLoggingOut());
    EXPECT_FALSE(lock->forgotButton().is_sensitive());
    EXPECT_TRUE(locked()) << "nothing is released before the log-out has completed";
    logOuts[0](false);
    EXPECT_TRUE(locked());
    EXPECT_TRUE(defaults().boolForKey(std::string(keys::privacyModeEnabled)));
    EXPECT_TRUE(lock->messageLabel().get_visible());
    EXPECT_TRUE(lock->forgotButton().is_sensitive());
    EXPECT_EQ(privacyChanges, 0);

    // Proceed again, and this time the log-out completes.
    ask()->dismissAlert(0);
    ASSERT_EQ(logOuts.size(), 2u);
    EXPECT_FALSE(lock->messageLabel().get_visible());
    logOuts[1](true);
    EXPECT_FALSE(locked());
    EXPECT_EQ(privacyChanges, 1);
    EXPECT_TRUE(modeEnabledWhenReleased) << "the lock goes first, then privacy mode";
    EXPECT_FALSE(defaults().boolForKey(std::string(keys::privacyModeEnabled)));
    EXPECT_TRUE(defaults().stringForKey(WQPasswordHandler::key(keys::privacyPassword))) << "the record stays";
}
