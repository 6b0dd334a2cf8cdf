// The application delegate's start-up, menus, preferences and about logic over a recording
// host (no real windows). Gui: the settings model it starts owns the tray item and the shortcut.
#include <gtest/gtest.h>
#include <gtkmm/main.h>

#include <algorithm>
#include <mutex>

#include "RunLoop.h"
#include "WQApplicationInfo.h"
#include "foundation/Log.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"
#include "settings/Trellik.h"
#include "shell/AppDelegate.h"
#include "system/VendorServices.h"
#include "ShellFakes.h"

using namespace parlivo;

using namespace testsupport;

namespace {

std::mutex logMutex;
std::vector<std::string> logLines;
void collectLog(std::string_view line, platform::LogLevel) {
    std::lock_guard lock(logMutex);
    logLines.emplace_back(line);
}

platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }
void setBool(std::string_view key, bool value) { defaults().setBool(std::string(key), value); }

class AppDelegateTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Gtk::Main::init_gtkmm_internals();
        setBool(keys::showDockIcon, true);
        setBool(keys::privacyModeEnabled, false);
        setBool(keys::privacyLockdown, false);
        host = new FakeHost();  // lives as long as the process: the delegate keeps using it
    }
    void SetUp() override {
        if (!launched) {
            launched = true;
            platform::VendorServices::shared().resetRecordedCalls();
            shared = AppDelegate::create(*host);
            AppDelegate::setCurrent(shared);
            shared->applicationWillFinishLaunching();
            shared->applicationDidFinishLaunching();
        }
        // Delegates launched by single tests replaced it; the program has only one.
        Trellik::shared().setApplicationDelegate(shared);
        web = std::make_shared<FakeWeb>();
        Trellik::shared().setWebViewDelegate(web);
        Trellik::shared().setPrivacyLockdown(false);
    }
    void TearDown() override { Trellik::shared().setWebViewDelegate(nullptr); }

    MainMenu& menu() { return shared->mainMenu(); }

    static inline FakeHost* host = nullptr;
    static inline std::shared_ptr<AppDelegate> shared;
    static inline bool launched = false;
    std::shared_ptr<FakeWeb> web;
};

}  // namespace

TEST_F(AppDelegateTest, LaunchRunsTheVendorStepsFirstThenShowsTheWindowAndPreparesTheMenus) {
    EXPECT_EQ(host->vendorCallsAtWindow,
              (std::vector<std::string>{"sendTrackingReport", "setUpdaterDelegate",
                                        "setAutomaticallyChecksForUpdates(true)", "setupIssuesController(reporting)"}));
    EXPECT_EQ(host->instantiated, 1);
    // Dock icon shown: as soon as the bus has told whether this is a start at login.
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return host->controller->shown == 1; }));
    EXPECT_EQ(shared->mainWindowController(), host->controller);
    EXPECT_EQ(platform::VendorServices::shared().updaterDelegate(), shared.get());
    EXPECT_FALSE(shared->isUpdaterInTestMode());
    EXPECT_FALSE(shared->updaterShouldCheckForBetaUpdates());
    EXPECT_TRUE(host->touchBar);

    const std::string name = tovak::WQApplicationInfo::applicationName();
    EXPECT_EQ(menu().applicationMenuItem->title(), name);
    EXPECT_EQ(menu().aboutMenuItem->title(), "About " + name);
    EXPECT_EQ(menu().quitMenuItem->title(), "Quit " + name);
    EXPECT_EQ(menu().helpMenuItem->title(), name + " Help");
    EXPECT_EQ(menu().fileNewChat->title(), "New Chat");  // no placeholder, unchanged
    EXPECT_TRUE(menu().debugMenu->isHidden());
    EXPECT_TRUE(menu().showActiveContacts->isHidden());
    EXPECT_TRUE(menu().menuItemPreferences->isEnabled());
}

TEST_F(AppDelegateTest, OnlyShareURLsOfOurOwnSchemeReachTheShareHandOff) {
    platform::setSystemLogSink(collectLog);
    const std::string scheme = tovak::WQApplicationInfo::bundleIdentifier() + ".share";
    struct Case { std::optional<std::string> url; bool reaches; };
    const std::vector<Case> cases{
        {scheme + ":/nowhere/archive", true},
        {"net.vantreo.mac.whatsapp.share:/nowhere/archive", true},  // lower-cased by the desktop
        {scheme + "x:/nowhere/archive", false},
        {"other." + scheme + ":/nowhere", false},
        {"file:///tmp/" + scheme, false},
        {"/nowhere/" + scheme, false},
        {"", false},
        {std::nullopt, false},
    };
    for (const Case& c : cases) {
        {
            std::lock_guard lock(logMutex);
            logLines.clear();
        }
        shared->handleURLEvent(c.url);
        std::lock_guard lock(logMutex);
        bool reached = std::ranges::any_of(logLines, [](const std::string& l) { return l.starts_with("Share"); });
        EXPECT_EQ(reached, c.reaches) << c.url.value_or("<none>");
    }
    platform::setSystemLogSink(nullptr);
}

TEST_F(AppDelegateTest, ReopenBringsTheWindowThroughItsDelegateAndTerminateStoresState) {
    struct Window : TrellikWindowDelegate {
        int dock = 0;
        void handleStatusButtonClick() override {}
        void handleDockButtonClick() override { ++dock; }
        void showWindow() override {}
        void handleShortcut() override {}
        void applyStealthMode() override {}
        void willChangeActivationPolicy(ActivationPolicy, ActivationPolicy) override {}
        void didChangeActivationPolicy(ActivationPolicy, ActivationPolicy) override {}
        void applyWindowMode() override {}
    };
    auto window = std::make_shared<Window>();
    Trellik::shared().setWindowDelegate(window);
    EXPECT_FALSE(shared->applicationShouldHandleReopen(true));
    EXPECT_FALSE(shared->applicationShouldHandleReopen(false));
    EXPECT_EQ(window->dock, 2);
    Trellik::shared().setWindowDelegate(nullptr);
    EXPECT_FALSE(shared->applicationShouldHandleReopen(false));  // no window delegate: nothing

    const int before = host->controller->stored;
    shared->applicationWillTerminate();
    EXPECT_EQ(host->controller->stored, before + 1);
}

TEST_F(AppDelegateTest, VisualStyleItemsFollowTheSetting) {
    auto& items = menu().visualizationStyleMenu->items();
    ASSERT_EQ(items.size(), 4u);
    for (int tag = 0; tag < 4; ++tag) {
        EXPECT_EQ(items[tag]->tag(), tag);
        EXPECT_EQ(items[tag]->identifier(), "VisualStyle");
    }
    auto onTags = [&] {
        std::vector<int> on;
        for (auto& item : items)
            if (item->state() == tovak::ButtonState::on) on.push_back(item->tag());
        return on;
    };
    items[2]->activate();  // Dark
    EXPECT_EQ(defaults().integerForKey(std::string(keys::kVisualStyle)), 2);
    EXPECT_EQ(onTags(), std::vector<int>{2});
    defaults().setInteger(std::string(keys::kVisualStyle), 7);  // out of range counts as auto
    shared->updateVisualizationMenu();
    EXPECT_EQ(onTags(), std::vector<int>{0});
}

TEST_F(AppDelegateTest, FileMenuReachesThePage) {
    menu().fileNewChat->activate();
    menu().fileNewGroup->activate();
    menu().fileProfileAndStatus->activate();
    menu().showArchive->activate();
    shared->fileMenuItemClicked(*menu().showActiveContacts);  // hidden in the menu, still handled
    EXPECT_EQ(web->actions, (std::vector<NativeAction>{NativeAction::newChat, NativeAction::newGroup,
                                                       NativeAction::profileAndStatus, NativeAction::archive,
                                                       NativeAction::activeContacts}));

    setBool(keys::doNotDisturbEnabled, false);
    menu().fileDoNotDisturb->activate();
    EXPECT_TRUE(defaults().boolForKey(std::string(keys::doNotDisturbEnabled)));
    EXPECT_EQ(menu().fileDoNotDisturb->state(), tovak::ButtonState::on);
    menu().fileDoNotDisturb->activate();
    EXPECT_FALSE(defaults().boolForKey(std::string(keys::doNotDisturbEnabled)));
    EXPECT_EQ(menu().fileDoNotDisturb->state(), tovak::ButtonState::off);
}

// Behind the lock nothing in the menus reaches the page or its data: the items are disabled (so
// neither a click nor a keyboard shortcut runs them) and the actions refuse as well. The window
// commands, the edit commands the password field needs, About, Help and Quit stay.
TEST_F(AppDelegateTest, WhileLockedNoMenuCommandReachesThePage) {
    const std::vector<std::shared_ptr<MenuItem>> stay{
        menu().aboutMenuItem,   menu().checkForUpdateMenuItem, menu().hideMenuItem,      menu().quitMenuItem,
        menu().closeWindowMenuItem, menu().undoMenuItem,       menu().redoMenuItem,      menu().cutMenuItem,
        menu().copyMenuItem,    menu().pasteMenuItem,          menu().selectAllMenuItem, menu().fullScreenMenuItem,
        menu().minimizeMenuItem, menu().alwaysOnTop,           menu().supportMenuItem,   menu().helpMenuItem};
    auto pageItems = menu().pageCommands();
    for (const auto& style : menu().visualizationStyleMenu->items()) pageItems.push_back(style);
    ASSERT_GE(pageItems.size(), 17u);
    setBool(keys::doNotDisturbEnabled, false);
    const auto styleBefore = defaults().integerForKey(std::string(keys::kVisualStyle));
    const bool stealthBefore = Trellik::shared().privacyStealthModeActive();

    Trellik::shared().setPrivacyLockdown(true);
    for (const auto& item : pageItems) EXPECT_FALSE(item->isEnabled()) << item->title();
    for (const auto& item : stay) EXPECT_TRUE(item->isEnabled()) << item->title();
    for (const auto& item : pageItems) item->activate();
    // Reached directly, the actions refuse too.
    shared->menuLogoutClicked(*menu().logoutMenuItem);
    shared->menuReloadClicked(*menu().reloadMenuItem);
    shared->fileMenuItemClicked(*menu().fileNewChat);
    shared->visualMenuItemClicked(*menu().stealthModeActive);
    shared->visualMenuItemClicked(*menu().visualizationStyleMenu->items()[2]);
    EXPECT_TRUE(web->actions.empty());
    EXPECT_TRUE(web->calls.empty());
    EXPECT_FALSE(defaults().boolForKey(std::string(keys::doNotDisturbEnabled)));
    EXPECT_EQ(defaults().integerForKey(std::string(keys::kVisualStyle)), styleBefore);
    EXPECT_EQ(Trellik::shared().privacyStealthModeActive(), stealthBefore);

    Trellik::shared().setPrivacyLockdown(false);
    for (const auto& item : pageItems) EXPECT_TRUE(item->isEnabled()) << item->title();
    menu().logoutMenuItem->activate();
    menu().reloadMenuItem->activate();
    EXPECT_EQ(web->calls, (std::vector<std::string>{"logout", "reload"}));
}

TEST_F(AppDelegateTest, OtherMenuActionsReachTheirTargets) {
    menu().logoutMenuItem->activate();
    menu().debugReloadMenuItem->activate();
    EXPECT_EQ(web->calls, (std::vector<std::string>{"logout", "reload"}));

    host->commands.clear();
    menu().hideMenuItem->activate();
    menu().quitMenuItem->activate();
    menu().closeWindowMenuItem->activate();
    menu().minimizeMenuItem->activate();
    menu().fullScreenMenuItem->activate();
    menu().copyMenuItem->activate();
    menu().checkForUpdateMenuItem->activate();
    ASSERT_EQ(host->commands.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(host->commands.begin(), host->commands.begin() + 6),
              (std::vector<std::string>{"hide", "terminate", "close", "minimize", "fullscreen", "copy"}));
    EXPECT_EQ(host->commands[6], "info: " + platform::VendorServices::updatesComeFromPackageManagerText());
    auto calls = platform::VendorServices::shared().calls();
    EXPECT_EQ(calls.back(), "checkForUpdates");

    menu().alwaysOnTop->activate();
    EXPECT_EQ(Trellik::shared().windowMode(), WindowMode::alwaysOnTop);
    EXPECT_EQ(menu().alwaysOnTop->state(), tovak::ButtonState::on);
    menu().alwaysOnTop->activate();
    EXPECT_EQ(Trellik::shared().windowMode(), WindowMode::defaultMode);
    EXPECT_EQ(menu().alwaysOnTop->state(), tovak::ButtonState::off);
}

TEST_F(AppDelegateTest, StealthRaiseFirstSwitchesStealthOnThenStepsTheOpacity) {
    Trellik::shared().setPrivacyStealthModeActive(false);
    defaults().setDouble(std::string(keys::privacyStealthModeAlpha), 0.5);
    menu().stealthModeRaise->activate();
    EXPECT_TRUE(Trellik::shared().privacyStealthModeActive());
    EXPECT_EQ(menu().stealthModeActive->state(), tovak::ButtonState::on);
    EXPECT_DOUBLE_EQ(defaults().doubleForKey(std::string(keys::privacyStealthModeAlpha)), 0.5);
    menu().stealthModeRaise->activate();
    EXPECT_NEAR(defaults().doubleForKey(std::string(keys::privacyStealthModeAlpha)), 0.6, 1e-9);
    for (int i = 0; i < 12; ++i) menu().stealthModeLower->activate();
    EXPECT_DOUBLE_EQ(defaults().doubleForKey(std::string(keys::privacyStealthModeAlpha)), 0.0);
    menu().stealthModeActive->activate();
    EXPECT_FALSE(Trellik::shared().privacyStealthModeActive());
    EXPECT_EQ(menu().stealthModeActive->state(), tovak::ButtonState::off);
}

TEST_F(AppDelegateTest, PasteGoesToTheDropViewThenTheFocusedWidgetAndNeverPastTheLock) {
    auto drop = std::make_shared<FakePaste>();
    shared->setPasteDelegate(drop);
    const int before = host->controller->firstResponderPastes;
    drop->answer = true;
    menu().pasteMenuItem->activate();
    EXPECT_EQ(drop->asked, 1);
    EXPECT_EQ(host->controller->firstResponderPastes, before);
    drop->answer = false;  // sending switched off
    menu().pasteMenuItem->activate();
    EXPECT_EQ(drop->asked, 2);
    EXPECT_EQ(host->controller->firstResponderPastes, before + 1);

    Trellik::shared().setPrivacyLockdown(true);
    drop->answer = true;
    menu().pasteMenuItem->activate();
    EXPECT_EQ(drop->asked, 2);  // files never reach the hidden chat
    EXPECT_EQ(host->controller->firstResponderPastes, before + 2);
    Trellik::shared().setPrivacyLockdown(false);
    shared->setPasteDelegate({});
}

TEST_F(AppDelegateTest, PreferencesOpenOnceAreReusedAndComeBackAfterClosing) {
    host->preferences.clear();
    host->controller->level = floatingWindowLevel;
    menu().menuItemPreferences->activate();
    shared->showPreferencesWindow();
    ASSERT_EQ(host->preferences.size(), 1u);
    auto first = host->preferences[0];
    EXPECT_EQ(first->panes, (std::vector<std::string>{"General", "Privacy", "Sounds and Appearance"}));
    EXPECT_EQ(first->title, "Preferences");
    EXPECT_EQ(first->shown, 2);
    EXPECT_TRUE(first->light);
    EXPECT_EQ(first->level, floatingWindowLevel);
    EXPECT_EQ(shared->retainedWindowControllers().size(), 1u);
    EXPECT_TRUE(shared->isShowingPreferences());

    first->close();
    EXPECT_FALSE(shared->isShowingPreferences());
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return shared->retainedWindowControllers().empty(); }, 2.0));
    host->controller->level = normalWindowLevel;
    shared->showPreferencesWindow();
    ASSERT_EQ(host->preferences.size(), 2u);
    EXPECT_EQ(host->preferences[1]->level, normalWindowLevel);
    host->preferences[1]->close();
    testsupport::runLoopUntil([&] { return shared->retainedWindowControllers().empty(); }, 2.0);
}

TEST_F(AppDelegateTest, PreferencesWithoutAWindowDoNotBlockLaterRequests) {
    host->preferences.clear();
    host->preferencesHaveWindow = false;
    shared->showPreferencesWindow();
    EXPECT_FALSE(shared->isShowingPreferences());
    host->preferencesHaveWindow = true;
    shared->showPreferencesWindow();
    ASSERT_EQ(host->preferences.size(), 2u);
    EXPECT_EQ(host->preferences[1]->shown, 1);
    host->preferences[1]->close();
    testsupport::runLoopUntil([&] { return shared->retainedWindowControllers().empty(); }, 2.0);
}

TEST_F(AppDelegateTest, TheLockClosesOpenPreferencesAndRefusesEveryWayIn) {
    host->preferences.clear();
    shared->showPreferencesWindow();
    ASSERT_EQ(host->preferences.size(), 1u);
    Trellik::shared().setPrivacyLockdown(true);
    EXPECT_TRUE(host->preferences[0]->closed);
    EXPECT_FALSE(shared->isShowingPreferences());

    shared->showPreferencesWindow();           // a page request
    Trellik::shared().openPreferences();       // the settings model's way
    menu().menuItemPreferences->activate();    // the menu (disabled anyway)
    shared->menuPreferencesClicked(*menu().menuItemPreferences);  // the shortcut
    EXPECT_EQ(host->preferences.size(), 1u);

    Trellik::shared().setPrivacyLockdown(false);
    Trellik::shared().openPreferences();
    EXPECT_EQ(host->preferences.size(), 2u);
    host->preferences[1]->close();
    testsupport::runLoopUntil([&] { return shared->retainedWindowControllers().empty(); }, 2.0);
}

TEST_F(AppDelegateTest, EachAboutRequestMakesAFreshWindowWithTheCombinedVersion) {
    host->abouts.clear();
    menu().aboutMenuItem->activate();  // posts the about request, which the delegate observes
    menu().aboutMenuItem->activate();
    ASSERT_EQ(host->abouts.size(), 2u);
    EXPECT_NE(host->abouts[0], host->abouts[1]);
    EXPECT_EQ(shared->aboutWindowController(), host->abouts[1]);
    auto& about = *host->abouts[1];
    EXPECT_EQ(about.shown, 1);
    EXPECT_TRUE(about.textView);
    EXPECT_EQ(about.url, std::string(AppDelegate::productWebsite));
    // Before any configuration has loaded the configuration version is "0".
    EXPECT_EQ(about.version, "Version " + tovak::WQApplicationInfo::bundleVersionString() + " (" +
                                 tovak::WQApplicationInfo::bundleShortVersionString() + ".0)");
}

// The settings model reaches the windows through the application delegate: the support prompt,
// and word of an address no program opens, which names the address.
TEST_F(AppDelegateTest, TheSettingsModelsRequestsReachTheHost) {
    host->commands.clear();
    menu().supportMenuItem->activate();  // "Need help?"
    ASSERT_EQ(host->commands, std::vector<std::string>{"support prompt"});
    shared->couldNotOpenAddress("https://faq.example/page");
    ASSERT_EQ(host->commands.size(), 2u);
    EXPECT_TRUE(host->commands[1].starts_with("alert: "));
    EXPECT_NE(host->commands[1].find("https://faq.example/page"), std::string::npos);
}
