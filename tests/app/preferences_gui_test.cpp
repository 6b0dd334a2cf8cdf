// The General and Privacy preference panes over a real settings model: filled from the
// settings without writing anything back, every control writing its key, the grey-out rules,
// the password entries (the current password asked first where one is in force), the pane
// inert while locked; and the wallpaper kept when a new one cannot be converted.

#include <gtest/gtest.h>
#include <gtkmm/main.h>
#include <gtkmm/window.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "RunLoop.h"
#include "TrellikTestSupport.h"
#include "WQDirectory.h"
#include "WQLaunchAtLoginManager.h"
#include "WQSecureTextField.h"
#include "controls/QORSwitch.h"
#include "foundation/PropertyList.h"
#include "preferences/PreferencesGeneral.h"
#include "preferences/PreferencesPrivacy.h"
#include "preferences/WallpaperStore.h"
#include "privacy/WQPasswordHandler.h"
#include "settings/ActivationPolicy.h"
#include "shell/ShortcutRecorder.h"
#include "shell/TrellikParts.h"
#include "shell/WQShortcut.h"
#include "system/VendorServices.h"

using namespace parlivo;
using namespace trelliktest;
namespace fs = std::filesystem;

namespace {

platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }
bool stored(std::string_view key) { return defaults().boolForKey(std::string(key)); }
void store(std::string_view key, bool value) { defaults().setBool(std::string(key), value); }
const std::string kPasswordKey = "WQPassowrdHandler.privacyPassword";

class PreferencesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gtk_init(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
    }

    void SetUp() override {
        clearSettings();
        defaults().remove(kPasswordKey);
        ApplicationActivation::setPolicy(ActivationPolicy::regular);
        tovak::WQIdleTimer::Environment environment;
        // The user never goes idle here: the lock engages only when a test says so.
        environment.now = [] { return tovak::WQIdleTimer::Clock::time_point(std::chrono::hours(1)); };
        environment.addMonitor = [](std::uint64_t, std::function<void()>) { return platform::ObserverToken(); };
        trellik = std::make_unique<Trellik>(std::move(environment));
        attachStatusItemAndShortcut(*trellik);
        // Past the start-up work it posts (the status item, the dock icon), before the log starts.
        ASSERT_TRUE(testsupport::runLoopPastTimer(1e-7));
        window = std::make_shared<RecordingWindow>(log);
        web = std::make_shared<RecordingWebView>(log);
        trellik->setWindowDelegate(window);
        trellik->setWebViewDelegate(web);
        log.events.clear();
    }

    void TearDown() override {
        host.remove();
        trellik.reset();
    }

    // Shows the pane as the preferences window does.
    void present(PreferencesPane& pane) {
        host.add(pane.view());
        host.show_all();
        pane.viewWillAppear();
        testsupport::runLoopUntil([&] { return pane.view().get_mapped(); });
    }

    // The user clicks a check box.
    static void click(Gtk::CheckButton* box) { box->clicked(); }

    EventLog log;
    std::unique_ptr<Trellik> trellik;
    std::shared_ptr<RecordingWindow> window;
    std::shared_ptr<RecordingWebView> web;
    Gtk::Window host;
};

// A launch-at-login manager over its own settings whose login item registers only when allowed.
struct LaunchAtLogin {
    fs::path file = fs::path(g_get_tmp_dir()) / "launch-defaults.plist";
    bool registrationWorks = true;
    platform::UserDefaults settings{(fs::remove(file), file)};
    tovak::WQLaunchAtLoginManager manager{settings, [this](const std::string&, bool enabled) {
                                              return !enabled || registrationWorks;
                                          }};
    LaunchAtLogin() { manager.setLaunchAtLoginHelperBundleId("net.vantreo.mac.WhatsApp-Helper"); }
};

}  // namespace

// --- General ---

TEST_F(PreferencesTest, GeneralShowsTheStoredSettingsAndFillingWritesNothing) {
    store(keys::doNotDisturbEnabled, false);
    store(keys::desktopNotificationsEnabled, true);
    store(keys::menuBarNotificationsEnabeld, false);
    store(keys::dockIconNotificationsEnabeld, true);
    store(keys::desktopNotificationsShowSender, true);  // the picture box follows it while its own key is unset
    store(keys::desktopNotificationsShowMessagePreview, false);
    store(keys::desktopNotificationsPlayAudio, true);
    store(keys::showMenuBarIcon, true);
    store(keys::showDockIcon, false);
    defaults().setInteger(std::string(keys::returnKeyAction), 2);
    LaunchAtLogin launch;
    PreferencesGeneral pane(*trellik, launch.manager);
    present(pane);
    const auto& o = pane.outlets();

    EXPECT_FALSE(o.doNotDisturbSwitch->checked());
    EXPECT_EQ(pane.doNotDisturbImageName(), "DoNotDisturbBW");
    EXPECT_TRUE(o.desktopNotificationButton->get_active());
    EXPECT_FALSE(o.menuBarNotificationButton->get_active());
    EXPECT_TRUE(o.dockIconNotificationButton->get_active());
    EXPECT_TRUE(o.desktopNotificationShowSenderButton->get_active());
    EXPECT_TRUE(o.desktopNotificationShowSenderPictureButton->get_active());
    EXPECT_FALSE(o.desktopNotificationShowMessagePreviewButton->get_active());
    EXPECT_TRUE(o.desktopNotificationPlayAudioButton->get_active());
    EXPECT_FALSE(o.launchAtLoginButton->get_active());
    EXPECT_TRUE(o.showMenuBarIconButton->get_active());
    EXPECT_FALSE(o.showDockIconButton->get_active());
    EXPECT_EQ(o.returnKeyActionButton->get_active_id(), "2");
    EXPECT_EQ(o.returnKeyActionButton->get_active_text(), "New line");
    EXPECT_TRUE(o.checkForUpdateButton->get_visible());
    EXPECT_EQ(trellik->settingsDelegate() != nullptr, true) << "the pane on screen follows the settings";

    // Filling again (the settings model asks, the pane shows again) writes nothing back.
    pane.fillControls();
    trellik->settingsDelegate()->settingsDidChange();
    EXPECT_FALSE(defaults().object(std::string(keys::desktopNotificationsShowSenderImage)))
        << "the picture box showed its fallback without storing it";
    EXPECT_TRUE(log.events.empty()) << "no setter ran: " << (log.events.empty() ? "" : log.events.front());

    // The return-key list: "Send message" (1), then "New line" (2).
    EXPECT_EQ(o.returnKeyActionButton->get_model()->children().size(), 2u);
    o.returnKeyActionButton->set_active_id("1");
    EXPECT_EQ(defaults().integerForKey(std::string(keys::returnKeyAction)), 1);

    pane.viewDidDisappear();
    EXPECT_FALSE(trellik->settingsDelegate());
}

TEST_F(PreferencesTest, GeneralControlsEachWriteTheirOwnSetting) {
    LaunchAtLogin launch;
    int quits = 0, updateChecks = 0, supports = 0;
    PreferencesGeneral pane(*trellik, launch.manager,
                            {[&] { ++quits; }, [&] { ++updateChecks; }, [&] { ++supports; }});
    present(pane);
    const auto& o = pane.outlets();
    struct Case {
        Gtk::CheckButton* box;
        std::string_view key;
        const char* setterEvent;  // the delegate call a settings-model setter makes, or none
    } cases[] = {
        {o.desktopNotificationButton, keys::desktopNotificationsEnabled, nullptr},
        {o.menuBarNotificationButton, keys::menuBarNotificationsEnabeld, nullptr},
        {o.dockIconNotificationButton, keys::dockIconNotificationsEnabeld, nullptr},
        {o.desktopNotificationShowSenderButton, keys::desktopNotificationsShowSender, nullptr},
        {o.desktopNotificationShowSenderPictureButton, keys::desktopNotificationsShowSenderImage, nullptr},
        {o.desktopNotificationShowMessagePreviewButton, keys::desktopNotificationsShowMessagePreview, nullptr},
        {o.desktopNotificationPlayAudioButton, keys::desktopNotificationsPlayAudio, nullptr},
        {o.showDockIconButton, keys::showDockIcon, "window.willChange(0,1)"},
    };
    for (const auto& c : cases) {
        const bool before = c.box->get_active();
        log.events.clear();
        click(c.box);
        EXPECT_EQ(stored(c.key), !before) << c.key;
        click(c.box);
        EXPECT_EQ(stored(c.key), before) << c.key;
        if (c.setterEvent) {
            EXPECT_NE(std::find(log.events.begin(), log.events.end(), c.setterEvent), log.events.end()) << c.key;
        }
    }

    // Do-not-disturb through the switch, as the user toggles it: the setter tells the page, and
    // the pane (the settings delegate) shows the coloured picture.
    log.events.clear();
    o.doNotDisturbSwitch->setCheckedByUser(true);
    EXPECT_TRUE(stored(keys::doNotDisturbEnabled));
    EXPECT_EQ(log.events, std::vector<std::string>{"web.updateDoNotDisturb"});
    EXPECT_EQ(pane.doNotDisturbImageName(), "DoNotDisturbColor");

    // Launch at login: the box shows what the manager reached.
    click(o.launchAtLoginButton);
    EXPECT_TRUE(launch.manager.launchAtLogin());
    EXPECT_TRUE(o.launchAtLoginButton->get_active());
    click(o.launchAtLoginButton);
    EXPECT_FALSE(o.launchAtLoginButton->get_active());
    launch.registrationWorks = false;
    click(o.launchAtLoginButton);
    EXPECT_FALSE(launch.manager.launchAtLogin());
    EXPECT_FALSE(o.launchAtLoginButton->get_active()) << "a failed registration leaves the box off";

    o.closeAppButton->clicked();
    o.checkForUpdateButton->clicked();
    o.supportButton->clicked();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(updateChecks, 1);
    EXPECT_EQ(supports, 1);

    // The global shortcut's recorder sits in its container, and stays with the shortcut when
    // the pane goes.
    ASSERT_TRUE(WQShortcut::of(*trellik));
    auto& recorder = WQShortcut::of(*trellik)->shortcutView();
    EXPECT_EQ(recorder.get_parent(), o.shortcutContainerView);
}

TEST_F(PreferencesTest, GeneralGreysOutWhatCannotApply) {
    LaunchAtLogin launch;
    PreferencesGeneral pane(*trellik, launch.manager);
    present(pane);
    const auto& o = pane.outlets();
    const std::vector<Gtk::CheckButton*> details{o.desktopNotificationShowSenderButton,
                                                 o.desktopNotificationShowSenderPictureButton,
                                                 o.desktopNotificationShowMessagePreviewButton,
                                                 o.desktopNotificationPlayAudioButton};
    auto allSensitive = [](const std::vector<Gtk::CheckButton*>& boxes, bool sensitive) {
        for (auto* box : boxes)
            if (box->get_sensitive() != sensitive) return false;
        return true;
    };

    // Defaults: everything usable.
    EXPECT_TRUE(allSensitive(details, true));
    EXPECT_TRUE(o.menuBarNotificationButton->get_sensitive() && o.dockIconNotificationButton->get_sensitive());

    // Desktop notifications off: the four details grey, the counts stay.
    click(o.desktopNotificationButton);
    EXPECT_TRUE(allSensitive(details, false));
    EXPECT_TRUE(o.desktopNotificationButton->get_sensitive());
    EXPECT_TRUE(o.menuBarNotificationButton->get_sensitive() && o.dockIconNotificationButton->get_sensitive());
    click(o.desktopNotificationButton);
    EXPECT_TRUE(allSensitive(details, true));

    // Do-not-disturb: all seven notification boxes grey, keeping their states.
    const bool senderShown = o.desktopNotificationShowSenderButton->get_active();
    trellik->setDoNotDisturbEnabled(true);
    EXPECT_TRUE(allSensitive(details, false));
    EXPECT_FALSE(o.desktopNotificationButton->get_sensitive() || o.menuBarNotificationButton->get_sensitive() ||
                 o.dockIconNotificationButton->get_sensitive());
    EXPECT_EQ(o.desktopNotificationShowSenderButton->get_active(), senderShown);
    trellik->setDoNotDisturbEnabled(false);

    // Hiding the tray icon greys its count and keeps the taskbar entry from going too.
    click(o.showMenuBarIconButton);
    EXPECT_FALSE(stored(keys::showMenuBarIcon));
    EXPECT_FALSE(o.menuBarNotificationButton->get_sensitive());
    EXPECT_FALSE(o.showDockIconButton->get_sensitive());
    EXPECT_TRUE(o.showMenuBarIconButton->get_sensitive());
    // Even a toggle that got past the grey-out could not hide both.
    o.showDockIconButton->set_active(false);
    EXPECT_TRUE(stored(keys::showDockIcon)) << "both icons hidden is impossible";
    EXPECT_TRUE(o.showDockIconButton->get_active());
    click(o.showMenuBarIconButton);
    EXPECT_TRUE(o.showDockIconButton->get_sensitive());
}

// --- Privacy ---

namespace {

// Answers the fingerprint question at once with what the test says.
struct TouchID {
    bool supported = false;
    int questions = 0;
    PreferencesPrivacy::Services services() {
        return {[this](std::function<void(bool)> answer) {
            ++questions;
            answer(supported);
        }};
    }
};

bool waitFor(const std::function<bool()>& condition) { return testsupport::runLoopUntil(condition, 10); }

}  // namespace

TEST_F(PreferencesTest, PrivacyShowsTheStoredSettingsAndGreysOutByItsRules) {
    store(keys::privacyModeEnabled, false);
    store(keys::privacyDesktopNotificationsShowSender, true);
    defaults().setInteger(std::string(keys::privacyLockAfter), 1800);
    defaults().setDouble(std::string(keys::privacyStealthModeAlpha), 0.7);
    TouchID touchID;
    PreferencesPrivacy pane(*trellik, touchID.services());
    present(pane);
    const auto& o = pane.outlets();

    EXPECT_FALSE(o.privacyEnableSwitch->checked());
    EXPECT_EQ(pane.privacyImageName(), PreferencesPrivacy::unlockedImage);
    EXPECT_EQ(o.lockAfterPopUpButton->get_active_id(), "1800");
    EXPECT_EQ(o.lockAfterPopUpButton->get_active_text(), "30 minutes");
    EXPECT_TRUE(o.privacyDesktopNotificationShowSenderPictureButton->get_active()) << "follows the sender box";
    EXPECT_NEAR(o.privacyStealthModeSlider->get_value(), 0.7, 1e-9);
    EXPECT_FALSE(o.privacyStealthModeEnabledSwitch->checked());
    EXPECT_EQ(touchID.questions, 1) << "asked as the pane appears";
    EXPECT_TRUE(log.events.empty()) << "filling wrote nothing";
    EXPECT_FALSE(defaults().object(std::string(keys::privacyDesktopNotificationsShowSenderImage)));

    // Privacy off: its dependent controls grey; stealth mode never.
    for (Gtk::Widget* w : std::initializer_list<Gtk::Widget*>{
             o.lockAfterPopUpButton, o.privacyResetPasswordButton, o.privacyDesktopNotificationButton,
             o.privacyEnableTouchIDButton, o.privacyDesktopNotificationShowSenderButton,
             o.privacyMenuBarNotificationButton, o.privacyDockIconNotificationButton})
        EXPECT_FALSE(w->get_sensitive());
    EXPECT_TRUE(o.privacyStealthModeEnabledSwitch->get_sensitive() && o.privacyStealthModeSlider->get_sensitive() &&
                o.privacyShowChatContentMouseOver->get_sensitive());

    store(keys::privacyModeEnabled, true);
    pane.fillControls();
    EXPECT_EQ(pane.privacyImageName(), PreferencesPrivacy::lockedImage);
    EXPECT_TRUE(o.lockAfterPopUpButton->get_sensitive() && o.privacyResetPasswordButton->get_sensitive());
    EXPECT_FALSE(o.privacyEnableTouchIDButton->get_sensitive()) << "no fingerprint reader";
    touchID.supported = true;
    pane.viewWillAppear();
    EXPECT_TRUE(o.privacyEnableTouchIDButton->get_sensitive());

    // Notification details follow the locked-notifications box; the counts follow the icons.
    EXPECT_TRUE(o.privacyDesktopNotificationShowSenderButton->get_sensitive());
    click(o.privacyDesktopNotificationButton);
    EXPECT_FALSE(stored(keys::privacyDesktopNotificationsEnabled));
    EXPECT_FALSE(o.privacyDesktopNotificationShowSenderButton->get_sensitive());
    EXPECT_FALSE(o.privacyDesktopNotificationPlayAudioButton->get_sensitive());
    trellik->setShowMenuBarIcon(false);
    EXPECT_FALSE(o.privacyMenuBarNotificationButton->get_sensitive());
    EXPECT_TRUE(o.privacyDockIconNotificationButton->get_sensitive());
}

TEST_F(PreferencesTest, PrivacyControlsEachWriteTheirOwnSetting) {
    store(keys::privacyModeEnabled, true);
    TouchID touchID{true};
    PreferencesPrivacy pane(*trellik, touchID.services());
    present(pane);
    const auto& o = pane.outlets();
    struct Case {
        Gtk::CheckButton* box;
        std::string_view key;
    } cases[] = {
        {o.privacyEnableTouchIDButton, keys::privacyModeTouchIDEnabled},
        {o.privacyDesktopNotificationShowSenderButton, keys::privacyDesktopNotificationsShowSender},
        {o.privacyDesktopNotificationShowSenderPictureButton, keys::privacyDesktopNotificationsShowSenderImage},
        {o.privacyDesktopNotificationShowMessagePreviewButton, keys::privacyDesktopNotificationsShowPreview},
        {o.privacyDesktopNotificationPlayAudioButton, keys::privacyDesktopNotificationsPlayAudio},
        {o.privacyMenuBarNotificationButton, keys::privacyMenuBarNotification},
        {o.privacyDockIconNotificationButton, keys::privacyDockIconNotification},
        {o.privacyShowChatContentMouseOver, keys::privacyStealthModeShowContentOnMouseOver},
        {o.privacyDesktopNotificationButton, keys::privacyDesktopNotificationsEnabled},
    };
    for (const auto& c : cases) {
        const bool before = c.box->get_active();
        click(c.box);
        EXPECT_EQ(stored(c.key), !before) << c.key;
        click(c.box);
        EXPECT_EQ(stored(c.key), before) << c.key;
    }

    o.lockAfterPopUpButton->set_active_id("60");
    EXPECT_EQ(defaults().integerForKey(std::string(keys::privacyLockAfter)), 60);
    EXPECT_TRUE(trellik->idleTimer().isRunning());

    log.events.clear();
    o.privacyStealthModeSlider->set_value(0.35);
    EXPECT_NEAR(defaults().doubleForKey(std::string(keys::privacyStealthModeAlpha)), 0.35, 1e-9);
    EXPECT_NE(std::find(log.events.begin(), log.events.end(), "window.applyStealthMode"), log.events.end());

    o.privacyStealthModeEnabledSwitch->setCheckedByUser(false);
    EXPECT_FALSE(trellik->privacyStealthModeActive());
    o.privacyStealthModeEnabledSwitch->setCheckedByUser(true);
    EXPECT_TRUE(trellik->privacyStealthModeActive());
    EXPECT_TRUE(o.privacyStealthModeEnabledSwitch->checked());
}

TEST_F(PreferencesTest, PrivacyGoesOnOnlyThroughAConfirmedPassword) {
    TouchID touchID;
    PreferencesPrivacy pane(*trellik, touchID.services());
    present(pane);
    const auto& o = pane.outlets();

    // Switched on, then cancelled: nothing stored, the switch back off.
    o.privacyEnableSwitch->setCheckedByUser(true);
    EXPECT_EQ(pane.entry(), PreferencesPrivacy::Entry::newPassword);
    EXPECT_EQ(o.paneView->get_visible_child(), o.setPasswordView);
    EXPECT_FALSE(stored(keys::privacyModeEnabled)) << "not before a password is confirmed";
    o.setPasswordTextField->set_text("typed");
    o.setPasswordCancelButton->clicked();
    EXPECT_EQ(pane.entry(), PreferencesPrivacy::Entry::none);
    EXPECT_FALSE(o.privacyEnableSwitch->checked());
    EXPECT_FALSE(stored(keys::privacyModeEnabled));
    EXPECT_FALSE(defaults().object(kPasswordKey));
    EXPECT_FALSE(trellik->idleTimer().isRunning());
    EXPECT_TRUE(o.setPasswordTextField->get_text().empty()) << "the typed text does not stay";

    // Switched on with nothing typed: "Set Password" waits for a first character, and Return in
    // the empty field sets nothing.
    o.privacyEnableSwitch->setCheckedByUser(true);
    EXPECT_FALSE(o.setPasswordDoneButton->get_sensitive());
    o.setPasswordTextField->activate();
    o.setPasswordDoneButton->clicked();
    EXPECT_FALSE(pane.isBusy());
    EXPECT_EQ(pane.entry(), PreferencesPrivacy::Entry::newPassword);
    testsupport::drainMainQueue();
    EXPECT_FALSE(stored(keys::privacyModeEnabled));
    EXPECT_FALSE(defaults().object(kPasswordKey));
    o.setPasswordTextField->set_text("x");
    EXPECT_TRUE(o.setPasswordDoneButton->get_sensitive());
    o.setPasswordTextField->set_text("");
    EXPECT_FALSE(o.setPasswordDoneButton->get_sensitive());

    // A password typed and Return pressed.
    o.setPasswordTextField->set_text("s3cret");
    o.setPasswordTextField->activate();
    EXPECT_TRUE(pane.isBusy()) << "hashed on a worker while the window goes on";
    EXPECT_FALSE(o.setPasswordDoneButton->get_sensitive());
    ASSERT_TRUE(waitFor([&] { return pane.entry() == PreferencesPrivacy::Entry::none; }));
    EXPECT_TRUE(stored(keys::privacyModeEnabled));
    EXPECT_TRUE(o.privacyEnableSwitch->checked());
    EXPECT_EQ(pane.privacyImageName(), PreferencesPrivacy::lockedImage);
    EXPECT_TRUE(o.lockAfterPopUpButton->get_sensitive());
    EXPECT_TRUE(trellik->idleTimer().isRunning());
    const auto record = defaults().stringForKey(kPasswordKey);
    ASSERT_TRUE(record);
    EXPECT_TRUE(WQPasswordHandler::parseRecord(*record)) << "the salted form";
    EXPECT_EQ(WQPasswordHandler::verify("s3cret", *record), WQPasswordHandler::Verdict::match);
}

TEST_F(PreferencesTest, PrivacyAsksForThePasswordInForceBeforeChangingItOrSwitchingOff) {
    TouchID touchID;
    PreferencesPrivacy pane(*trellik, touchID.services());
    present(pane);
    const auto& o = pane.outlets();
    // Privacy on with the password "old".
    o.privacyEnableSwitch->setCheckedByUser(true);
    o.setPasswordTextField->set_text("old");
    o.setPasswordDoneButton->clicked();
    ASSERT_TRUE(waitFor([&] { return pane.entry() == PreferencesPrivacy::Entry::none; }));
    ASSERT_TRUE(stored(keys::privacyModeEnabled));
    const auto oldRecord = defaults().stringForKey(kPasswordKey);

    auto answerCurrent = [&](const std::string& password) {
        o.currentPasswordTextField->set_text(password);
        o.verifyPasswordDoneButton->clicked();
        EXPECT_TRUE(pane.isBusy());
        return waitFor([&] { return !pane.isBusy(); });
    };

    // Switching off: the current password first; an empty answer is none, a wrong one changes
    // nothing.
    o.privacyEnableSwitch->setCheckedByUser(false);
    EXPECT_EQ(pane.entry(), PreferencesPrivacy::Entry::currentPassword);
    EXPECT_EQ(o.paneView->get_visible_child(), o.verifyPasswordView);
    EXPECT_FALSE(o.verifyPasswordDoneButton->get_sensitive());
    o.currentPasswordTextField->activate();
    EXPECT_FALSE(pane.isBusy());
    EXPECT_EQ(pane.entry(), PreferencesPrivacy::Entry::currentPassword);
    ASSERT_TRUE(answerCurrent("guess"));
    EXPECT_TRUE(o.wrongPasswordLabel->get_visible());
    EXPECT_TRUE(stored(keys::privacyModeEnabled));
    o.verifyPasswordCancelButton->clicked();
    EXPECT_TRUE(o.privacyEnableSwitch->checked()) << "cancelled: the switch shows privacy on again";
    EXPECT_TRUE(stored(keys::privacyModeEnabled));

    // Changing the password: the current one, then the new one.
    o.privacyResetPasswordButton->clicked();
    EXPECT_EQ(pane.entry(), PreferencesPrivacy::Entry::currentPassword);
    EXPECT_FALSE(o.wrongPasswordLabel->get_visible());
    ASSERT_TRUE(answerCurrent("old"));
    EXPECT_EQ(pane.entry(), PreferencesPrivacy::Entry::newPassword);
    EXPECT_EQ(defaults().stringForKey(kPasswordKey), oldRecord) << "nothing changed yet";
    o.setPasswordTextField->set_text("new");
    o.setPasswordTextField->activate();
    ASSERT_TRUE(waitFor([&] { return pane.entry() == PreferencesPrivacy::Entry::none; }));
    const auto newRecord = defaults().stringForKey(kPasswordKey).value_or("");
    EXPECT_EQ(WQPasswordHandler::verify("new", newRecord), WQPasswordHandler::Verdict::match);
    EXPECT_TRUE(stored(keys::privacyModeEnabled)) << "privacy stays on";

    // Switching off with the right password: off, the timer stops, the record stays.
    o.privacyEnableSwitch->setCheckedByUser(false);
    ASSERT_TRUE(answerCurrent("new"));
    EXPECT_EQ(pane.entry(), PreferencesPrivacy::Entry::none);
    EXPECT_FALSE(stored(keys::privacyModeEnabled));
    EXPECT_FALSE(o.privacyEnableSwitch->checked());
    EXPECT_FALSE(trellik->idleTimer().isRunning());
    EXPECT_FALSE(o.lockAfterPopUpButton->get_sensitive());
    EXPECT_EQ(defaults().stringForKey(kPasswordKey), newRecord);

    // With privacy off, the stale record guards nothing: switching on just asks for a new one.
    o.privacyEnableSwitch->setCheckedByUser(true);
    EXPECT_EQ(pane.entry(), PreferencesPrivacy::Entry::newPassword);
}

TEST_F(PreferencesTest, PrivacyPaneIsInertWhileLocked) {
    TouchID touchID{true};
    PreferencesPrivacy pane(*trellik, touchID.services());
    present(pane);
    const auto& o = pane.outlets();
    o.privacyEnableSwitch->setCheckedByUser(true);
    o.setPasswordTextField->set_text("pw");
    o.setPasswordTextField->activate();
    ASSERT_TRUE(waitFor([&] { return pane.entry() == PreferencesPrivacy::Entry::none; }));

    // An entry is open when the lock engages: it closes, and nothing can be touched.
    o.privacyResetPasswordButton->clicked();
    ASSERT_EQ(pane.entry(), PreferencesPrivacy::Entry::currentPassword);
    o.currentPasswordTextField->set_text("pw");
    trellik->setPrivacyLockdown(true);
    EXPECT_EQ(pane.entry(), PreferencesPrivacy::Entry::none);
    EXPECT_TRUE(o.currentPasswordTextField->get_text().empty());
    EXPECT_FALSE(o.paneView->get_sensitive());
    EXPECT_FALSE(o.privacyEnableSwitch->is_sensitive());

    const std::string record = defaults().stringForKey(kPasswordKey).value_or("");
    const double alpha = defaults().doubleForKey(std::string(keys::privacyStealthModeAlpha));
    EXPECT_FALSE(o.privacyEnableSwitch->setCheckedByUser(false)) << "the switch refuses";
    EXPECT_FALSE(o.privacyStealthModeEnabledSwitch->setCheckedByUser(true));
    // Even actions that reach the pane directly do nothing.
    pane.buttonClicked(o.privacyResetPasswordButton);
    EXPECT_EQ(pane.entry(), PreferencesPrivacy::Entry::none);
    pane.privacyEnabledSwitched(*o.privacyEnableSwitch);
    pane.sliderChanged(o.privacyStealthModeSlider);
    pane.buttonClicked(o.privacyDesktopNotificationButton);
    EXPECT_TRUE(stored(keys::privacyModeEnabled));
    EXPECT_TRUE(stored(keys::privacyDesktopNotificationsEnabled));
    EXPECT_EQ(defaults().doubleForKey(std::string(keys::privacyStealthModeAlpha)), alpha);
    EXPECT_EQ(defaults().stringForKey(kPasswordKey), record);

    trellik->setPrivacyLockdown(false);
    EXPECT_TRUE(o.paneView->get_sensitive());
    EXPECT_TRUE(o.privacyEnableSwitch->is_sensitive());
}

// --- Wallpaper ---

TEST_F(PreferencesTest, AWallpaperThatCannotBeConvertedKeepsTheOldOne) {
    const fs::path file = tovak::WQDirectory::userContentDirectory() / "wallpaper.jpg";
    auto storeAndWait = [&](Glib::RefPtr<const Gdk::Pixbuf> image) {
        std::optional<bool> result;
        storeWallpaper(*trellik, image, [&](bool ok) { result = ok; });
        EXPECT_TRUE(waitFor([&] { return result.has_value(); }));
        return result.value_or(false);
    };
    auto picture = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, false, 8, 32, 24);
    picture->fill(0x3366ccff);
    EXPECT_TRUE(storeAndWait(picture));
    std::string old;
    {
        std::ifstream in(file, std::ios::binary);
        old.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_GT(old.size(), 2u);
    EXPECT_EQ(old.substr(0, 2), "\xFF\xD8") << "stored as JPEG";
    EXPECT_NE(std::find(log.events.begin(), log.events.end(), "web.updateWallpaper"), log.events.end());

    // Wider than JPEG allows: the conversion fails, and the old file stays as it was.
    log.events.clear();
    EXPECT_FALSE(storeAndWait(Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, false, 8, 65536, 1)));
    std::string now;
    {
        std::ifstream in(file, std::ios::binary);
        now.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_EQ(now, old);
    EXPECT_TRUE(log.events.empty()) << "the page is not told of a change that did not happen";

    // No picture (the well was emptied): the stored wallpaper goes.
    EXPECT_TRUE(storeAndWait({}));
    EXPECT_FALSE(fs::exists(file));
}
