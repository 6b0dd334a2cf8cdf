// The settings model: setters persist first, then tell their delegates in order, then post; the
// privacy lock's state machine; typed readers; notification counting; services.

#include <gtest/gtest.h>

#include <filesystem>
#include <cmath>
#include <fstream>

#include "RunLoop.h"
#include "TrellikTestSupport.h"
#include "WQDirectory.h"
#include "WQIdleTimer.h"
#include "foundation/PropertyList.h"
#include "settings/ActivationPolicy.h"

using namespace parlivo;
using namespace trelliktest;
namespace fs = std::filesystem;

namespace {

platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }

// A clock the test moves by hand, for the idle timer.
struct FakeClock {
    tovak::WQIdleTimer::Clock::time_point now = tovak::WQIdleTimer::Clock::time_point(std::chrono::hours(1));
};

class TrellikTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearSettings();
        ApplicationActivation::setPolicy(ActivationPolicy::regular);
    }

    // Makes the model and lets its queued start-up work run.
    void makeModel() {
        tovak::WQIdleTimer::Environment environment;
        environment.now = [clock = clock] { return clock->now; };
        environment.addMonitor = [](std::uint64_t, std::function<void()>) { return platform::ObserverToken(); };
        trellik = std::make_unique<Trellik>(std::move(environment));
        ASSERT_TRUE(testsupport::drainMainQueue());
        recorder = std::make_unique<NotificationRecorder>(log, trellik.get());
    }

    void attachDelegates() {
        window = std::make_shared<RecordingWindow>(log);
        web = std::make_shared<RecordingWebView>(log);
        settings = std::make_shared<RecordingSettings>(log);
        trellik->setWindowDelegate(window);
        trellik->setWebViewDelegate(web);
        trellik->setSettingsDelegate(settings);
    }

    void TearDown() override {
        recorder.reset();
        trellik.reset();
    }

    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    EventLog log;
    std::unique_ptr<Trellik> trellik;
    std::unique_ptr<NotificationRecorder> recorder;
    std::shared_ptr<RecordingWindow> window;
    std::shared_ptr<RecordingWebView> web;
    std::shared_ptr<RecordingSettings> settings;
};

struct SetterCase {
    const char* name;
    std::function<void(Trellik&)> set;
    std::string_view key;                 // empty: nothing is persisted
    platform::PropertyList stored;        // the value the key holds afterwards
    std::vector<std::string> withDelegates;
};

std::vector<SetterCase> setterCases() {
    const std::string dnd = "post kNotifyDoNotDisturbModeChanged(model)";
    const std::string stealth = "post kNotifyStealthModeChanged(model)";
    return {
        {"doNotDisturbEnabled", [](Trellik& t) { t.setDoNotDisturbEnabled(true); }, keys::doNotDisturbEnabled, true,
         {"settings", "web.updateDoNotDisturb", dnd}},
        {"desktopNotificationsEnabled", [](Trellik& t) { t.setDesktopNotificationsEnabled(false); },
         keys::desktopNotificationsEnabled, false, {"settings"}},
        {"showMenuBarIcon", [](Trellik& t) { t.setShowMenuBarIcon(false); }, keys::showMenuBarIcon, false, {"settings"}},
        {"showDockIcon", [](Trellik& t) { t.setShowDockIcon(false); }, keys::showDockIcon, false,
         {"settings", "window.willChange(0,1)", "window.didChange(1,1)"}},
        {"privacyModeEnabled", [](Trellik& t) { t.setPrivacyModeEnabled(false); }, keys::privacyModeEnabled, false,
         {"settings"}},
        {"privacyLockAfter", [](Trellik& t) { t.setPrivacyLockAfter(PrivacyTimeInterval::tenMinutes); },
         keys::privacyLockAfter, 600, {}},
        {"privacyDesktopNotificationsEnabled", [](Trellik& t) { t.setPrivacyDesktopNotificationsEnabled(false); },
         keys::privacyDesktopNotificationsEnabled, false, {"settings"}},
        {"privacyStealthModeAlpha", [](Trellik& t) { t.setPrivacyStealthModeAlpha(0.5); },
         keys::privacyStealthModeAlpha, 0.5,
         {"window.applyStealthMode", "web.updateStealthMode", "window.applyStealthMode", "web.updateStealthMode",
          "settings", stealth, stealth}},
        {"privacyStealthModeActive", [](Trellik& t) { t.setPrivacyStealthModeActive(false); }, {}, {},
         {"window.applyStealthMode", "web.updateStealthMode", "settings", stealth}},
        {"privacyStealthModeShowContentOnMouseOver",
         [](Trellik& t) { t.setPrivacyStealthModeShowContentOnMouseOver(false); },
         keys::privacyStealthModeShowContentOnMouseOver, false, {"web.updateStealthMode", stealth}},
        {"monochromeMenuBar", [](Trellik& t) { t.setMonochromeMenuBar(true); }, keys::kMonochromeMenuBar, true, {}},
        {"visualStyle", [](Trellik& t) { t.setVisualStyle(VisualStyle::dark); }, keys::kVisualStyle, 2,
         {"web.applyAppearance", "settings", "post kNotifyVisualizationStyleChanged(model)"}},
        {"fontSize", [](Trellik& t) { t.setFontSize(120); }, keys::kFontSize, 120, {"web.applyAppearance"}},
        {"windowMode", [](Trellik& t) { t.setWindowMode(WindowMode::alwaysOnTop); }, {}, {},
         {"window.applyWindowMode", "post kNotifyWindowModeChanged(none)"}},
    };
}

// Delegate calls and notifications are the only events; without delegates only posts remain.
std::vector<std::string> postsOnly(const std::vector<std::string>& events) {
    std::vector<std::string> posts;
    for (const auto& event : events)
        if (event.rfind("post ", 0) == 0) posts.push_back(event);
    return posts;
}

}  // namespace

TEST_F(TrellikTest, EverySetterPersistsFirstThenTellsDelegatesInOrderThenPosts) {
    for (bool withDelegates : {true, false}) {
        for (const auto& c : setterCases()) {
            SCOPED_TRACE(std::string(c.name) + (withDelegates ? " with delegates" : " without delegates"));
            clearSettings();
            ApplicationActivation::setPolicy(ActivationPolicy::regular);
            makeModel();
            if (withDelegates) attachDelegates();
            log.events.clear();
            // Every event notes whether the new value was already stored when it happened.
            log.probe = [&c] {
                if (c.key.empty()) return std::string();
                auto now = defaults().object(std::string(c.key));
                return now && *now == c.stored ? std::string() : std::string(" [not yet stored]");
            };
            c.set(*trellik);
            log.probe = nullptr;
            if (!c.key.empty()) {
                EXPECT_EQ(defaults().object(std::string(c.key)), c.stored);
            }
            EXPECT_EQ(log.events, withDelegates ? c.withDelegates : postsOnly(c.withDelegates));
            TearDown();
        }
    }
}

TEST_F(TrellikTest, StealthAlphaIsClampedAndWindowModeIsNotPersisted) {
    makeModel();
    for (auto [given, stored] : std::vector<std::pair<double, double>>{{1.1, 1.0}, {-0.1, 0.0}, {0.25, 0.25}, {std::nan(""), 1.0}}) {
        trellik->setPrivacyStealthModeAlpha(given);
        EXPECT_EQ(defaults().doubleForKey(std::string(keys::privacyStealthModeAlpha)), stored) << given;
    }
    EXPECT_TRUE(trellik->privacyStealthModeActive());

    trellik->setWindowMode(WindowMode::alwaysOnTop);
    TearDown();
    makeModel();
    EXPECT_EQ(trellik->windowMode(), WindowMode::defaultMode);
    EXPECT_FALSE(trellik->privacyStealthModeActive());
}

TEST_F(TrellikTest, DockIconAlreadyInPlaceOnlyPersistsAndTellsThePane) {
    makeModel();
    attachDelegates();
    ASSERT_EQ(ApplicationActivation::policy(), ActivationPolicy::regular);
    log.events.clear();
    trellik->setShowDockIcon(true);
    EXPECT_EQ(log.events, std::vector<std::string>{"settings"});
    EXPECT_TRUE(defaults().boolForKey(std::string(keys::showDockIcon)));
}

TEST_F(TrellikTest, StartUpAppliesTheStoredDockIconSettingOnALaterTurn) {
    defaults().setBool(std::string(keys::showDockIcon), false);
    makeModel();
    EXPECT_EQ(ApplicationActivation::policy(), ActivationPolicy::accessory);
}

TEST_F(TrellikTest, TypedReadersApplyTheirFallbacks) {
    makeModel();
    struct Case {
        std::int64_t stored;
        VisualStyle style;
        ReturnKeyAction returnKey;
        PrivacyTimeInterval lockAfter;
    };
    for (const Case& c : {Case{7, VisualStyle::automatic, ReturnKeyAction::send, PrivacyTimeInterval::oneHour},
                          Case{-1, VisualStyle::automatic, ReturnKeyAction::send, PrivacyTimeInterval::oneHour},
                          Case{2, VisualStyle::dark, ReturnKeyAction::newLine, PrivacyTimeInterval::oneHour},
                          Case{0, VisualStyle::automatic, ReturnKeyAction::send, PrivacyTimeInterval::oneHour},
                          Case{3, VisualStyle::mixed, ReturnKeyAction::send, PrivacyTimeInterval::oneHour},
                          Case{120, VisualStyle::automatic, ReturnKeyAction::send, PrivacyTimeInterval::oneHour},
                          Case{600, VisualStyle::automatic, ReturnKeyAction::send, PrivacyTimeInterval::tenMinutes}}) {
        defaults().setInteger(std::string(keys::kVisualStyle), c.stored);
        defaults().setInteger(std::string(keys::returnKeyAction), c.stored);
        defaults().setInteger(std::string(keys::privacyLockAfter), c.stored);
        EXPECT_EQ(trellik->currentVisualStyle(), c.style) << c.stored;
        EXPECT_EQ(trellik->currentReturnKeyAction(), c.returnKey) << c.stored;
        EXPECT_EQ(trellik->currentLockAfter(), c.lockAfter) << c.stored;
    }

    // The sender-image keys are used only when they hold a Bool.
    defaults().setBool(std::string(keys::desktopNotificationsShowSender), false);
    EXPECT_FALSE(trellik->showSenderImage());
    defaults().setString(std::string(keys::desktopNotificationsShowSenderImage), "yes");
    EXPECT_FALSE(trellik->showSenderImage());
    defaults().setBool(std::string(keys::desktopNotificationsShowSenderImage), true);
    EXPECT_TRUE(trellik->showSenderImage());
    defaults().setBool(std::string(keys::privacyDesktopNotificationsShowSender), true);
    EXPECT_TRUE(trellik->privacyShowSenderImage());
    defaults().setBool(std::string(keys::privacyDesktopNotificationsShowSenderImage), false);
    EXPECT_FALSE(trellik->privacyShowSenderImage());
}

TEST_F(TrellikTest, DefaultPreferencesSuitAFirstTimeUser) {
    std::ifstream file(fs::path(PARLIVO_SOURCE_DIR) / "app/resources/bundle/DefaultPreferences.plist");
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto plist = platform::PropertyList::parse(bytes);
    ASSERT_TRUE(plist && plist->isDictionary());
    const auto& d = *plist;
    for (std::string_view key : {keys::desktopNotificationsEnabled, keys::desktopNotificationsShowSender,
                                 keys::desktopNotificationsShowMessagePreview, keys::showMenuBarIcon, keys::showDockIcon})
        EXPECT_EQ(d[key].asBool(), true) << key;
    EXPECT_EQ(d[keys::privacyModeEnabled].asBool(), false);
    EXPECT_EQ(d[keys::privacyLockAfter].asInt(), 300);
    EXPECT_EQ(d[keys::privacyDesktopNotificationsShowSender].asBool(), false);
    EXPECT_EQ(d[keys::privacyDesktopNotificationsShowPreview].asBool(), false);
    EXPECT_EQ(d[keys::returnKeyAction].asInt(), 1);
    EXPECT_EQ(d[keys::kVisualStyle].asInt(), 0);
    // A font size in CSS pixels: the web's standard size, the page as designed.
    EXPECT_EQ(d[keys::kFontSize].asInt(), 16);
    for (std::string_view absent : {keys::desktopNotificationsShowSenderImage,
                                    keys::privacyDesktopNotificationsShowSenderImage, keys::privacyLockdown})
        EXPECT_FALSE(d.contains(absent)) << absent;
    for (const auto& [key, value] : *d.asDictionary()) {
        EXPECT_NE(key.rfind("Tovak.", 0), 0u) << key;
        EXPECT_NE(key.rfind("mainWindow.", 0), 0u) << key;
    }

    // The model registers them: with nothing stored, the defaults show through.
    makeModel();
    EXPECT_EQ(trellik->currentLockAfter(), PrivacyTimeInterval::fiveMinutes);
    EXPECT_TRUE(defaults().boolForKey(std::string(keys::showMenuBarIcon)));
}

// --- Privacy lock ---

TEST_F(TrellikTest, IdleLocksThenUnlockRestartsTheTimer) {
    defaults().setInteger(std::string(keys::privacyLockAfter), 60);
    makeModel();
    trellik->setPrivacyModeEnabled(true);
    ASSERT_TRUE(trellik->idleTimer().isRunning());
    EXPECT_EQ(trellik->idleTimer().secondsLeft(), 60);
    log.events.clear();

    // Idle for longer than the interval: the timer announces it and the model locks.
    clock->now += std::chrono::seconds(61);
    trellik->idleTimer().tick();
    EXPECT_TRUE(defaults().boolForKey(std::string(keys::privacyLockdown)));
    EXPECT_EQ(log.events, std::vector<std::string>{"post kPrivacyChanged(model)"});
    EXPECT_FALSE(trellik->idleTimer().isRunning());

    // Locking again posts nothing.
    trellik->setPrivacyLockdown(true);
    EXPECT_EQ(log.events.size(), 1u);

    // The lock screen unlocks: posted, and the timer runs again with the interval.
    trellik->setPrivacyLockdown(false);
    EXPECT_EQ(log.events.back(), "post kPrivacyChanged(model)");
    EXPECT_TRUE(trellik->idleTimer().isRunning());
    trellik->idleTimer().tick();  // the timer reports as of its last tick
    EXPECT_EQ(trellik->idleTimer().secondsLeft(), 60);

    // An unlock that changes nothing still restarts the timer, silently.
    clock->now += std::chrono::seconds(30);
    trellik->idleTimer().tick();
    trellik->setPrivacyLockdown(false);
    EXPECT_EQ(log.events.size(), 2u);
    trellik->idleTimer().tick();
    EXPECT_EQ(trellik->idleTimer().secondsLeft(), 60);

    // A new interval restarts it.
    trellik->setPrivacyLockAfter(PrivacyTimeInterval::halfHour);
    trellik->idleTimer().tick();
    EXPECT_EQ(trellik->idleTimer().secondsLeft(), 1800);

    // Forgotten password: unlock, then privacy off: the timer ends stopped.
    trellik->setPrivacyLockdown(true);
    trellik->setPrivacyLockdown(false);
    trellik->setPrivacyModeEnabled(false);
    EXPECT_FALSE(trellik->idleTimer().isRunning());
}

TEST_F(TrellikTest, PrivacyOffStaysOff) {
    makeModel();
    ASSERT_FALSE(trellik->idleTimer().isRunning());
    trellik->setPrivacyLockdown(false);
    trellik->setPrivacyLockAfter(PrivacyTimeInterval::oneMinute);
    EXPECT_FALSE(trellik->idleTimer().isRunning());

    // A stray idle notification does not lock while privacy mode is off.
    log.events.clear();
    platform::NotificationCenter::defaultCenter().post(tovak::kWQIdleTimerNotification);
    EXPECT_FALSE(defaults().boolForKey(std::string(keys::privacyLockdown)));
    EXPECT_TRUE(log.events.empty());

    // Turning privacy off while armed stops the timer; the lock state is left alone.
    trellik->setPrivacyModeEnabled(true);
    EXPECT_TRUE(trellik->idleTimer().isRunning());
    trellik->setPrivacyModeEnabled(false);
    EXPECT_FALSE(trellik->idleTimer().isRunning());
}

TEST_F(TrellikTest, StartingWithPrivacyOnStartsLockedWithoutANotification) {
    defaults().setBool(std::string(keys::privacyModeEnabled), true);
    defaults().setBool(std::string(keys::privacyLockdown), false);
    int posts = 0;
    auto token = platform::NotificationCenter::defaultCenter().addObserver(
        names::privacyChanged, [&](const platform::Notification&) { ++posts; });
    makeModel();
    EXPECT_TRUE(defaults().boolForKey(std::string(keys::privacyLockdown)));
    EXPECT_EQ(posts, 0);
    EXPECT_FALSE(trellik->idleTimer().isRunning());
}

// --- Desktop notifications ---

namespace {
struct RecordingDelivery : DesktopNotificationDelivery {
    std::vector<std::string> calls;
    void deliver(const IncomingMessage& m, bool privacy) override {
        calls.push_back("deliver " + m.id + (privacy ? " privacy" : ""));
    }
    void removeAllDelivered() override { calls.push_back("removeAll"); }
    void removeDelivered(const std::string& id) override { calls.push_back("remove " + id); }
    void playSound(const UserNotification& n) override { calls.push_back("sound " + n.identifier); }
};
}  // namespace

TEST_F(TrellikTest, DesktopNotificationsCountAndRespectTheSettings) {
    makeModel();
    attachDelegates();
    auto delivery = std::make_shared<RecordingDelivery>();
    trellik->setNotificationDelivery(delivery);
    auto message = [](std::string id) { return IncomingMessage{"Ann", "Hi", "", std::nullopt, std::move(id)}; };

    trellik->showDesktopNotification(message("chat-1"));  // defaults: notifications on
    defaults().setBool(std::string(keys::doNotDisturbEnabled), true);
    trellik->showDesktopNotification(message("chat-2"));  // counted, not shown
    defaults().setBool(std::string(keys::doNotDisturbEnabled), false);
    defaults().setBool(std::string(keys::privacyLockdown), true);
    trellik->showDesktopNotification(message("chat-3"));  // the privacy variant
    defaults().setBool(std::string(keys::privacyDesktopNotificationsEnabled), false);
    trellik->showDesktopNotification(message("chat-4"));  // off while locked
    EXPECT_EQ(trellik->unreadMessages(), 4);
    EXPECT_EQ(delivery->calls, (std::vector<std::string>{"deliver chat-1", "deliver chat-3 privacy"}));

    // Sound on delivery: the privacy switch counts while locked, do-not-disturb always.
    delivery->calls.clear();
    UserNotification shown;
    shown.identifier = "chat-1";
    shown.title = "Ann";
    shown.body = "Hi";
    trellik->didDeliverNotification(shown);
    defaults().setBool(std::string(keys::privacyDesktopNotificationsPlayAudio), false);
    trellik->didDeliverNotification(shown);
    defaults().setBool(std::string(keys::privacyLockdown), false);
    defaults().setBool(std::string(keys::doNotDisturbEnabled), true);
    trellik->didDeliverNotification(shown);
    EXPECT_EQ(delivery->calls, std::vector<std::string>{"sound chat-1"});

    // Activation: count down, open the chat, bring the window up unless it was a reply. A
    // second activation of the same notification counts nothing.
    log.events.clear();
    trellik->didActivateNotification(shown);
    UserNotification reply = shown;
    reply.identifier = "chat-2";
    reply.activationType = UserNotification::ActivationType::replied;
    reply.response = "ok";
    trellik->didActivateNotification(reply);
    trellik->didActivateNotification(shown);
    EXPECT_EQ(trellik->unreadMessages(), 2);
    EXPECT_EQ(log.events, (std::vector<std::string>{"web.openChatOrReply(chat-1)", "window.showWindow",
                                                    "web.openChatOrReply(chat-2)", "web.openChatOrReply(chat-1)",
                                                    "window.showWindow"}));

    // A reply while locked goes to no chat; the web view keeps it for the user.
    log.events.clear();
    defaults().setBool(std::string(keys::privacyLockdown), true);
    reply.identifier = "chat-3";
    trellik->didActivateNotification(reply);
    defaults().setBool(std::string(keys::privacyLockdown), false);
    EXPECT_EQ(log.events, std::vector<std::string>{"web.keepReply(chat-3)"});
    EXPECT_EQ(trellik->unreadMessages(), 1);

    // Clearing drops the count to zero, and a late activation does not take it below.
    trellik->clearDeliveredNotifications();
    trellik->didActivateNotification(shown);
    EXPECT_EQ(trellik->unreadMessages(), 0);
    trellik->setUnreadMessages(-5);
    EXPECT_EQ(trellik->unreadMessages(), 0);
}

TEST_F(TrellikTest, ANotificationWithTheTagOfAStandingOneReplacesItAndCountsOnce) {
    makeModel();
    auto delivery = std::make_shared<RecordingDelivery>();
    trellik->setNotificationDelivery(delivery);
    auto message = [](std::string id) { return IncomingMessage{"Ann", "Hi", "", std::nullopt, std::move(id)}; };

    trellik->showDesktopNotification(message("chat-1"));
    trellik->showDesktopNotification(message("chat-1"));  // replaces the first
    trellik->showDesktopNotification(message(""));        // no tag: never replaces
    trellik->showDesktopNotification(message(""));
    EXPECT_EQ(trellik->unreadMessages(), 3);

    // The page closed it: gone from the screen, still unread; the next one of its tag counts.
    trellik->withdrawNotification("chat-1");
    EXPECT_EQ(trellik->unreadMessages(), 3);
    trellik->showDesktopNotification(message("chat-1"));
    EXPECT_EQ(trellik->unreadMessages(), 4);
    EXPECT_EQ(delivery->calls, (std::vector<std::string>{"deliver chat-1", "deliver chat-1", "deliver ", "deliver ",
                                                         "remove chat-1", "deliver chat-1"}));

    // After clearing, the tag starts afresh.
    trellik->clearDeliveredNotifications();
    trellik->showDesktopNotification(message("chat-1"));
    EXPECT_EQ(trellik->unreadMessages(), 1);
}

// --- Forwarders and services ---

TEST_F(TrellikTest, ForwardersReachTheWebViewWhenThereIsOne) {
    makeModel();
    trellik->handleLogOut();  // no delegate: nothing happens
    attachDelegates();
    log.events.clear();
    trellik->handleLogOut();
    trellik->reloadWebApp();
    trellik->stopAudioRecording(true);
    trellik->sendMenuCommand(NativeAction::newGroup);
    EXPECT_EQ(log.events, (std::vector<std::string>{"web.handleLogOut", "web.reloadWebApp",
                                                    "web.stopAudioRecording(true)", "web.sendMenuCommand(3)"}));
}

TEST_F(TrellikTest, OpenPreferencesOnlyWhileUnlocked) {
    struct App : TrellikApplicationDelegate {
        int opened = 0;
        void showPreferencesWindow() override { ++opened; }
    };
    auto app = std::make_shared<App>();
    makeModel();
    trellik->setApplicationDelegate(app);
    defaults().setBool(std::string(keys::privacyLockdown), true);
    trellik->openPreferences();
    EXPECT_EQ(app->opened, 0);
    defaults().setBool(std::string(keys::privacyLockdown), false);
    trellik->openPreferences();
    EXPECT_EQ(app->opened, 1);
}

// The settings model keeps no window or view alive: its owners do. One that went is simply not
// told any more.
TEST_F(TrellikTest, DelegatesAreHeldWeakly) {
    makeModel();
    attachDelegates();
    std::weak_ptr<RecordingWindow> windowGone = window;
    std::weak_ptr<RecordingWebView> webGone = web;
    window.reset();
    web.reset();
    settings.reset();
    EXPECT_TRUE(windowGone.expired());
    EXPECT_TRUE(webGone.expired());
    EXPECT_FALSE(trellik->windowDelegate());
    EXPECT_FALSE(trellik->webViewDelegate());
    log.events.clear();
    trellik->setDoNotDisturbEnabled(true);
    trellik->setWindowMode(WindowMode::alwaysOnTop);
    EXPECT_EQ(postsOnly(log.events), log.events) << "nothing but the notifications remain";
}

// The settings model opens no window of its own: the "Need help?" prompt comes through the
// application delegate.
TEST_F(TrellikTest, TheSupportPromptGoesThroughTheApplicationDelegate) {
    struct App : TrellikApplicationDelegate {
        int prompts = 0;
        void showPreferencesWindow() override {}
        void showSupportAlert() override { ++prompts; }
    };
    makeModel();
    trellik->showSupportAlert();  // no application delegate: nothing
    auto app = std::make_shared<App>();
    trellik->setApplicationDelegate(app);
    trellik->showSupportAlert();
    EXPECT_EQ(app->prompts, 1);
}

TEST_F(TrellikTest, WallpaperIsWrittenReplacedRemovedAndAFailedWriteKeepsTheOldOne) {
    makeModel();
    attachDelegates();
    const fs::path file = tovak::WQDirectory::userContentDirectory() / "wallpaper.jpg";
    auto contents = [&] {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    log.events.clear();
    trellik->setWallpaper(std::vector<std::uint8_t>{'o', 'n', 'e'});
    EXPECT_EQ(contents(), "one");
    trellik->setWallpaper(std::vector<std::uint8_t>{'t', 'w', 'o'});
    EXPECT_EQ(contents(), "two");
    trellik->setWallpaper(std::nullopt);
    EXPECT_FALSE(fs::exists(file));
    trellik->setWallpaper(std::nullopt);  // nothing to delete: logged, the page is still told
    EXPECT_EQ(log.events, std::vector<std::string>(4, "web.updateWallpaper"));

    // Something that cannot be replaced stands in the way: it is left as it was.
    fs::create_directories(file / "keep");
    trellik->setWallpaper(std::vector<std::uint8_t>{'x'});
    EXPECT_TRUE(fs::is_directory(file / "keep"));
    EXPECT_EQ(log.events.size(), 5u);
    fs::remove_all(file);
    for (const auto& entry : fs::directory_iterator(file.parent_path()))
        EXPECT_EQ(entry.path().filename().string().find(".wallpaper.jpg."), std::string::npos) << "temporary file left";
}
