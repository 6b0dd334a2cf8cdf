#include "WQLaunchAtLoginManager.h"

#include <cstdlib>
#include <iostream>
#include <utility>

#include "DebugPrint.h"
#include "foundation/Bundle.h"
#include "foundation/DistributedNotificationCenter.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "foundation/ProcessInfo.h"
#include "foundation/PropertyList.h"
#include "foundation/UserDefaults.h"
#include "system/LoginItems.h"
#include "system/Workspace.h"

namespace tovak {
namespace {

// "No object" on the bus is the empty text.
std::string mainBundleIdentifier() {
    return platform::Bundle::main().bundleIdentifier();
}

const char* boolText(bool value) {
    return value ? "true" : "false";
}

}  // namespace

WQLaunchAtLoginManager& WQLaunchAtLoginManager::shared() {
    static WQLaunchAtLoginManager* manager =
        new WQLaunchAtLoginManager(platform::UserDefaults::standard());  // lives until exit
    return *manager;
}

WQLaunchAtLoginManager::WQLaunchAtLoginManager(platform::UserDefaults& defaults, LoginItemSwitch loginItemSwitch)
    : defaults_(defaults),
      loginItemSwitch_(loginItemSwitch ? std::move(loginItemSwitch) : LoginItemSwitch([](const std::string& id, bool on) {
          return platform::LoginItems::setEnabled(id, on);
      })) {
    platform::PropertyList::Dictionary reminderDefault;
    reminderDefault.emplace(kLaunchAtLoginShowReminder, platform::PropertyList(true));
    defaults_.registerDefaults(platform::PropertyList(std::move(reminderDefault)));
}

void WQLaunchAtLoginManager::helperIdentifierMissing() {
    constexpr const char* message = "launchAtLoginHelperBundleId must be set before using `WQLaunchAtLoginManager`";
    platform::systemLog(message, platform::LogLevel::error);
    std::cerr << "Fatal error: " << message << std::endl;
    std::abort();
}

void WQLaunchAtLoginManager::debug(std::string_view message) const {
    debugPrint(kClassName, message);
}

const std::string& WQLaunchAtLoginManager::launchAtLoginHelperBundleId() const {
    if (!launchAtLoginHelperBundleId_) helperIdentifierMissing();
    return *launchAtLoginHelperBundleId_;
}

void WQLaunchAtLoginManager::setLaunchAtLoginHelperBundleId(std::string identifier) {
    launchAtLoginHelperBundleId_ = std::move(identifier);
    setupHelperCommunication();
}

std::int64_t WQLaunchAtLoginManager::launchCount() const {
    return defaults_.integerForKey(kLaunchAtLoginLaunchCountUserDefaultsKey);
}

void WQLaunchAtLoginManager::setLaunchCount(std::int64_t count) {
    defaults_.setInteger(kLaunchAtLoginLaunchCountUserDefaultsKey, count);
}

bool WQLaunchAtLoginManager::firstLaunch() const {
    return launchCount() == 1;
}

bool WQLaunchAtLoginManager::showReminder() const {
    return defaults_.boolForKey(kLaunchAtLoginShowReminder);
}

void WQLaunchAtLoginManager::setShowReminder(bool show) {
    defaults_.setBool(kLaunchAtLoginShowReminder, show);
}

bool WQLaunchAtLoginManager::launchAtLogin() const {
    launchAtLoginHelperBundleId();  // stops when unset
    return defaults_.boolForKey(kLaunchAtLoginUserDefaultsKey);
}

bool WQLaunchAtLoginManager::automaticallyLaunched() const {
    launchAtLoginHelperBundleId();  // stops when unset
    return automaticallyLaunched_.value_or(false);
}

void WQLaunchAtLoginManager::setupHelperCommunication() {
    auto& center = platform::DistributedNotificationCenter::defaultCenter();
    // The answer holds nothing of the manager and is posted from the main loop, after whatever
    // the main thread is doing now.
    pingObservers_.push_back(center.addObserver(kPingNotification, [](const std::string&, const std::string&) {
        platform::MainQueue::async([] {
            platform::DistributedNotificationCenter::defaultCenter().post(kPongNotification, mainBundleIdentifier());
        });
    }));

    setLaunchCount(launchCount() + 1);

    // The helper quits 5 seconds after starting us; a slow start would find it gone. The launch
    // argument it passes tells the same thing without that race.
    automaticallyLaunched_ =
        platform::ProcessInfo::hasArgument(std::string(platform::LoginItems::kLaunchedAtLoginArgument));
    helperQuestionAnswered_ = false;
    // Asked without waiting: the main thread never waits for the bus.
    std::weak_ptr<bool> alive = alive_;
    platform::Workspace::runningInstances(launchAtLoginHelperBundleId(),
                                          [this, alive](std::vector<std::string> instances) {
                                              if (alive.lock()) helpersFound(instances.size());
                                          });
}

void WQLaunchAtLoginManager::helpersFound(std::size_t count) {
    auto& center = platform::DistributedNotificationCenter::defaultCenter();
    // Every running instance gets its own request to quit.
    for (std::size_t i = 0; i < count; ++i) center.post(kTerminateHelperAppNotification, mainBundleIdentifier());
    automaticallyLaunched_ = automaticallyLaunched_.value_or(false) || count > 0;
    helperQuestionAnswered_ = true;

    const std::string line = std::string("App Launched Automatically: ") + boolText(*automaticallyLaunched_);
    debug(line);
    platform::systemLog(line);
    for (auto& then : std::exchange(waitingForLaunch_, {}))
        if (then) then();
}

void WQLaunchAtLoginManager::whenLaunchIsKnown(std::function<void()> then) {
    launchAtLoginHelperBundleId();  // stops when unset
    if (!helperQuestionAnswered_) {
        waitingForLaunch_.push_back(std::move(then));
        return;
    }
    platform::MainQueue::async(std::move(then));
}

WQLaunchAtLoginManager::~WQLaunchAtLoginManager() { *alive_ = false; }

namespace {

// The log lines of one direction of the retry ladder.
struct LadderTexts {
    const char* done;
    const char* problem;
    const char* neither;
    const char* temporary;
    const char* givingUp;
};

constexpr LadderTexts kEnableTexts{
    "Launch at login: enabled", "Launch at login: Problem enabling... First trying to disable...",
    "Launch at Login: Could neither enable, nor disable...",
    "Launch at login: Temporary disabled... Now trying to enable...",
    "Launch at login: Not enabled on second try... Giving up"};

constexpr LadderTexts kDisableTexts{
    "Launch at login: disabled", "Launch at login: Problem disabling... First trying to enable...",
    "Launch at Login: Could neither disable, nor enable...",
    "Launch at login: Temporary enabled... Now trying to disable...",
    "Launch at login: Not disabled on second try... Giving up"};

}  // namespace

void WQLaunchAtLoginManager::setLaunchAtLogin(bool enabled) {
    // Each step asks the login items again with the identifier as it is now.
    auto change = [this](bool on) { return loginItemSwitch_(launchAtLoginHelperBundleId(), on); };
    auto store = [this](bool value) { defaults_.setBool(kLaunchAtLoginUserDefaultsKey, value); };
    const LadderTexts& say = enabled ? kEnableTexts : kDisableTexts;

    // Switch; on failure switch the other way first and try once more. The stored value always
    // says what the login items last agreed to.
    if (change(enabled)) {
        debug(say.done);
        store(enabled);
        return;
    }
    debug(say.problem);
    if (!change(!enabled)) {
        debug(say.neither);
        store(false);
        return;
    }
    debug(say.temporary);
    store(!enabled);
    if (change(enabled)) {
        debug(say.done);
        store(enabled);
    } else {
        debug(say.givingUp);
        store(!enabled);
    }
}

}  // namespace tovak
