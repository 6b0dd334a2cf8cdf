#include "settings/Trellik.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "DebugPrint.h"
#include "WQDirectory.h"
#include "WQIdleTimer.h"
#include "WQLaunchAtLoginManager.h"
#include "WQTemporaryDirectory.h"
#include "foundation/Bundle.h"
#include "foundation/FileManager.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "foundation/NotificationCenter.h"
#include "foundation/PropertyList.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "settings/PrivacyGate.h"
#include "settings/ShareHandoff.h"

namespace parlivo {

namespace {

constexpr std::string_view kClassName = "Trellik";

// The tray item is made on a later turn of the main loop, not inside the model's construction,
// while the application that shows it is still starting: the shortest delay there is (the main
// loop rounds it to a zero-length timeout), not a wait for anything in particular.
constexpr double kStatusItemDelaySeconds = 1e-7;

platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }
bool storedBool(std::string_view key) { return defaults().boolForKey(std::string(key)); }
void store(std::string_view key, platform::PropertyList value) { defaults().set(std::string(key), std::move(value)); }

void post(std::string_view name, const void* object) {
    platform::NotificationCenter::defaultCenter().post(name, object);
}

void log(std::string_view message) { tovak::debugPrint(kClassName, message); }

// Standing notifications remembered for the count; past this many the oldest are forgotten (they
// would count again if the page notified with their tag).
constexpr std::size_t kMaximumStandingNotifications = 512;

bool eraseIdentifier(std::deque<std::string>& list, const std::string& identifier) {
    auto found = std::find(list.begin(), list.end(), identifier);
    if (found == list.end()) return false;
    list.erase(found);
    return true;
}

}  // namespace

Trellik& Trellik::shared() {
    // Never destroyed: windows and services may still call it while the process exits. The shell
    // hands it its status item, shortcut and notification delivery at start-up.
    static Trellik* instance = new Trellik();
    return *instance;
}

Trellik::Trellik() : Trellik(tovak::WQIdleTimer::defaultEnvironment()) {}

Trellik::Trellik(tovak::WQIdleTimer::Environment idleTimerEnvironment)
    : idleTimer_(std::make_unique<tovak::WQIdleTimer>(std::move(idleTimerEnvironment))) {
    // Launch at login: the manager learns its helper (which also counts this launch); on the
    // very first launch an older "launchAtLogin" choice is carried over through the manager's
    // setter, so the stored state matches a login item that really exists.
    auto& launchManager = tovak::WQLaunchAtLoginManager::shared();
    launchManager.setLaunchAtLoginHelperBundleId(std::string(launchHelperBundleIdentifier));
    if (launchManager.firstLaunch()) {
        if (storedBool(keys::launchAtLogin))
            launchManager.setLaunchAtLogin(true);
        else
            store(keys::tovakLaunchAtLoginManager, false);
    }

    registerDefaultPreferences();

    std::weak_ptr<bool> alive = alive_;
    if (storedBool(keys::showMenuBarIcon)) {
        platform::MainQueue::after(kStatusItemDelaySeconds, [this, alive] {
            if (alive.lock()) createStatusItem();
        });
    }
    platform::MainQueue::async([this, alive] {
        if (alive.lock()) setShowDockIcon(storedBool(keys::showDockIcon));
    });

    idleObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
        tovak::kWQIdleTimerNotification, [this](const platform::Notification&) { idleTimerFired(); });

    // With privacy on, every start is locked; the web view shows the lock screen as it loads.
    if (storedBool(keys::privacyModeEnabled)) store(keys::privacyLockdown, true);
    updatePrivacyIdleTimer();
}

Trellik::~Trellik() {
    *alive_ = false;
    alive_.reset();
    idleObserver_.reset();
}

void Trellik::setShortCut(std::unique_ptr<GlobalShortcut> shortcut) {
    shortCut_ = std::move(shortcut);
    if (shortCut_)
        shortCut_->setAction([this] {
            if (auto window = windowDelegate()) window->handleShortcut();
        });
}

// --- Setters ---

void Trellik::tellSettings() {
    if (auto settings = settingsDelegate()) settings->settingsDidChange();
}

void Trellik::setDoNotDisturbEnabled(bool value) {
    store(keys::doNotDisturbEnabled, value);
    tellSettings();
    if (auto web = webViewDelegate()) web->updateDoNotDisturb();
    post(names::doNotDisturbModeChanged, this);
}

void Trellik::setDesktopNotificationsEnabled(bool value) {
    store(keys::desktopNotificationsEnabled, value);
    tellSettings();
}

void Trellik::setShowMenuBarIcon(bool value) {
    store(keys::showMenuBarIcon, value);
    tellSettings();
    if (!statusItem_) return;
    if (value) {
        statusItem_->createStatusItem();
        statusItem_->update();
    } else {
        statusItem_->removeStatusItem();
    }
}

void Trellik::setShowDockIcon(bool value) {
    store(keys::showDockIcon, value);
    tellSettings();
    const ActivationPolicy wanted = value ? ActivationPolicy::regular : ActivationPolicy::accessory;
    const ActivationPolicy current = ApplicationActivation::policy();
    if (current == wanted) return;
    auto window = windowDelegate();
    if (window) window->willChangeActivationPolicy(current, wanted);
    ApplicationActivation::setPolicy(wanted);
    if (window) window->didChangeActivationPolicy(ApplicationActivation::policy(), wanted);
}

void Trellik::setPrivacyModeEnabled(bool value) {
    store(keys::privacyModeEnabled, value);
    updatePrivacyIdleTimer();
    tellSettings();
}

void Trellik::setPrivacyLockAfter(PrivacyTimeInterval value) {
    store(keys::privacyLockAfter, rawValue(value));
    // Restarts the timer with the new interval, but only where the lock is armed.
    updatePrivacyIdleTimer();
}

void Trellik::setPrivacyDesktopNotificationsEnabled(bool value) {
    store(keys::privacyDesktopNotificationsEnabled, value);
    tellSettings();
}

void Trellik::setPrivacyStealthModeAlpha(double value) {
    // NaN would make the window's opacity undefined; fully opaque is the safe reading.
    const double clamped = std::isnan(value) ? 1.0 : std::clamp(value, 0.0, 1.0);
    store(keys::privacyStealthModeAlpha, clamped);
    if (auto window = windowDelegate()) window->applyStealthMode();
    if (auto web = webViewDelegate()) web->updateStealthMode();
    setPrivacyStealthModeActive(true);
    post(names::stealthModeChanged, this);
}

void Trellik::setPrivacyStealthModeActive(bool value) {
    privacyStealthModeActive_ = value;
    if (auto window = windowDelegate()) window->applyStealthMode();
    if (auto web = webViewDelegate()) web->updateStealthMode();
    tellSettings();
    post(names::stealthModeChanged, this);
}

void Trellik::setPrivacyStealthModeShowContentOnMouseOver(bool value) {
    store(keys::privacyStealthModeShowContentOnMouseOver, value);
    if (auto web = webViewDelegate()) web->updateStealthMode();
    post(names::stealthModeChanged, this);
}

void Trellik::setMonochromeMenuBar(bool value) {
    store(keys::kMonochromeMenuBar, value);
    if (statusItem_) statusItem_->update();
}

void Trellik::setVisualStyle(VisualStyle value) {
    store(keys::kVisualStyle, rawValue(value));
    if (auto web = webViewDelegate()) web->applyAppearance();
    tellSettings();
    post(names::visualizationStyleChanged, this);
}

void Trellik::setFontSize(int value) {
    store(keys::kFontSize, value);
    if (auto web = webViewDelegate()) web->applyAppearance();
}

void Trellik::setWindowMode(WindowMode value) {
    windowMode_ = value;
    if (auto window = windowDelegate()) window->applyWindowMode();
    post(names::windowModeChanged, nullptr);
}

void Trellik::setUnreadMessages(int value) { unreadMessages_ = std::max(0, value); }

// --- Privacy lock ---

void Trellik::setPrivacyLockdown(bool value) {
    if (storedBool(keys::privacyLockdown) != value) {
        store(keys::privacyLockdown, value);
        post(names::privacyChanged, this);
    }
    // Every unlock re-arms the timer (when privacy mode is on).
    if (!value) updatePrivacyIdleTimer();
}

void Trellik::updatePrivacyIdleTimer() {
    const bool enabled = storedBool(keys::privacyModeEnabled);
    log(std::string("TOGGLE PRIVACY MODE: ") + (enabled ? "true" : "false"));
    if (!enabled) {
        idleTimer_->stop();
        return;
    }
    if (storedBool(keys::privacyLockdown)) return;
    runIdleTimer();
}

void Trellik::runIdleTimer() { idleTimer_->run(static_cast<int>(rawValue(currentLockAfter()))); }

void Trellik::idleTimerFired() {
    // A timer that was running when privacy mode went off must not lock the program.
    if (!storedBool(keys::privacyModeEnabled)) {
        idleTimer_->stop();
        return;
    }
    setPrivacyLockdown(true);
}

// --- Forwarders ---

void Trellik::handleLogOut() {
    if (auto web = webViewDelegate()) web->handleLogOut();
}

void Trellik::reloadWebApp() {
    if (auto web = webViewDelegate()) web->reloadWebApp();
}

void Trellik::stopAudioRecording(bool send) {
    if (auto web = webViewDelegate()) web->stopAudioRecording(send);
}

void Trellik::sendMenuCommand(NativeAction action) {
    if (auto web = webViewDelegate()) web->sendMenuCommand(action);
}

// --- Typed readers ---

VisualStyle Trellik::currentVisualStyle() const {
    return fromRaw<VisualStyle>(defaults().integerForKey(std::string(keys::kVisualStyle))).value_or(VisualStyle::automatic);
}

bool Trellik::showSenderImage() const {
    if (auto value = defaults().object(std::string(keys::desktopNotificationsShowSenderImage)))
        if (auto flag = value->asBool()) return *flag;
    return storedBool(keys::desktopNotificationsShowSender);
}

bool Trellik::privacyShowSenderImage() const {
    if (auto value = defaults().object(std::string(keys::privacyDesktopNotificationsShowSenderImage)))
        if (auto flag = value->asBool()) return *flag;
    return storedBool(keys::privacyDesktopNotificationsShowSender);
}

ReturnKeyAction Trellik::currentReturnKeyAction() const {
    return defaults().integerForKey(std::string(keys::returnKeyAction)) == rawValue(ReturnKeyAction::newLine)
               ? ReturnKeyAction::newLine
               : ReturnKeyAction::send;
}

PrivacyTimeInterval Trellik::currentLockAfter() const {
    return fromRaw<PrivacyTimeInterval>(defaults().integerForKey(std::string(keys::privacyLockAfter)))
        .value_or(PrivacyTimeInterval::oneHour);
}

// --- Start-up pieces ---

void Trellik::registerDefaultPreferences() {
    auto path = platform::Bundle::main().pathForResource("DefaultPreferences", "plist");
    if (!path) return;
    const std::string bytes = platform::FileManager::contentsAtPath(*path, platform::PropertyList::maxParseBytes).value_or("");
    auto preferences = platform::PropertyList::parse(bytes);
    if (!preferences || !preferences->isDictionary()) {
        const std::string error = preferences ? std::string() : preferences.error().message;
        platform::systemLog("DefaultPreferences.plist is not a dictionary; no defaults registered: " + error,
                            platform::LogLevel::error);
        return;
    }
    defaults().registerDefaults(*preferences);
}

void Trellik::createStatusItem() {
    if (!statusItem_) return;
    statusItem_->createStatusItem();
    statusItem_->update();
}

// --- Desktop notifications ---

bool Trellik::notificationsAllowedNow() const {
    if (storedBool(keys::doNotDisturbEnabled)) return false;
    return storedBool(keys::privacyLockdown) ? storedBool(keys::privacyDesktopNotificationsEnabled)
                                             : storedBool(keys::desktopNotificationsEnabled);
}

void Trellik::clearDeliveredNotifications() {
    unreadMessages_ = 0;
    standingNotifications_.clear();
    if (auto delivery = notificationDelivery_) delivery->removeAllDelivered();
    if (statusItem_) statusItem_->update();
}

void Trellik::showDesktopNotification(const IncomingMessage& message) {
    // The Notifications API: a notification with the tag of one still standing replaces it, on
    // screen (the delivery's identifier) and in the count.
    const bool replaces = !message.id.empty() && eraseIdentifier(standingNotifications_, message.id);
    if (!message.id.empty()) {
        standingNotifications_.push_back(message.id);
        if (standingNotifications_.size() > kMaximumStandingNotifications) standingNotifications_.pop_front();
    }
    if (!replaces) ++unreadMessages_;
    if (notificationsAllowedNow())
        if (auto delivery = notificationDelivery_) delivery->deliver(message, storedBool(keys::privacyLockdown));
    if (statusItem_) statusItem_->update();
}

void Trellik::showDesktopNotification(const platform::PropertyList& messageBody) {
    showDesktopNotification(IncomingMessage::fromMessageBody(messageBody));
}

void Trellik::withdrawNotification(const std::string& identifier) {
    if (identifier.empty()) return;
    eraseIdentifier(standingNotifications_, identifier);
    if (auto delivery = notificationDelivery_) delivery->removeDelivered(identifier);
}

void Trellik::didActivateNotification(const UserNotification& notification) {
    // Only a standing notification takes the count down: one activated after the list was
    // cleared (or after it was already activated) would otherwise hide the next message's badge.
    // Never below zero.
    if (notification.identifier.empty() || eraseIdentifier(standingNotifications_, notification.identifier))
        unreadMessages_ = std::max(0, unreadMessages_ - 1);
    if (statusItem_) statusItem_->update();
    const bool reply = notification.activationType == UserNotification::ActivationType::replied;
    if (reply && storedBool(keys::privacyLockdown)) {
        // The reply field was offered before the lock engaged; nothing goes into a chat while the
        // program is locked. The text is the user's: it is kept for them.
        platform::systemLog("A reply from a notification arrived while the program is locked; it was not sent",
                            platform::LogLevel::notice);
        if (auto web = webViewDelegate()) web->keepReply(notification);
        return;
    }
    if (auto web = webViewDelegate()) web->openChatOrReply(notification);
    if (!reply)
        if (auto window = windowDelegate()) window->showWindow();
}

void Trellik::didDeliverNotification(const UserNotification& notification) {
    log("Playing custom sound!");
    if (notification.soundName) {
        // The notification system plays a named sound itself.
        log("Playing custom sound: 2");
        return;
    }
    if (storedBool(keys::doNotDisturbEnabled)) {
        log("Playing custom sound: 3");
        return;
    }
    if (!storedBool(keys::privacyLockdown) && !storedBool(keys::desktopNotificationsPlayAudio)) {
        log("Playing custom sound: 4");
        return;
    }
    if (storedBool(keys::privacyLockdown) && !storedBool(keys::privacyDesktopNotificationsPlayAudio)) {
        log("Playing custom sound: 5");
        return;
    }
    if (auto delivery = notificationDelivery_) delivery->playSound(notification);
}

// --- Services ---

void Trellik::setWallpaper(const std::optional<std::vector<std::uint8_t>>& jpegData) {
    const std::filesystem::path file = tovak::WQDirectory::userContentDirectory() / "wallpaper.jpg";
    if (!jpegData) {
        std::error_code error;
        if (!std::filesystem::remove(file, error) || error) log("Could not delete wallpaper file");
    } else {
        const auto written = platform::FileManager::writeAtomically(
            file, std::string_view(reinterpret_cast<const char*>(jpegData->data()), jpegData->size()), 0600);
        if (!written)
            platform::systemLog("Could not write wallpaper file, the previous one is kept: " + written.error().message,
                                platform::LogLevel::warning);
    }
    if (auto web = webViewDelegate()) web->updateWallpaper();
}

void Trellik::showSupportAlert() {
    if (auto application = applicationDelegate()) application->showSupportAlert();
}

void Trellik::openPreferences() {
    if (storedBool(keys::privacyLockdown)) return;
    if (auto application = applicationDelegate()) application->showPreferencesWindow();
}

// --- Share hand-off ---

void Trellik::processShare(std::string_view url) {
    std::string bundleIdentifier = platform::Bundle::main().bundleIdentifier();
    if (bundleIdentifier.empty()) bundleIdentifier = "net.vantreo.mac.WhatsApp";
    auto archive = ShareHandoff::archivePath(url, bundleIdentifier);
    if (!archive) {
        platform::systemLog("Share refused: the URL names no archive", platform::LogLevel::warning);
        return;
    }
    log("Begin share: " + archive->string());

    auto root = shareRoot_ ? shareRoot_ : platform::FileManager::groupContainer();
    if (!root) {
        platform::systemLog("Share refused: there is no share folder", platform::LogLevel::warning);
        return;
    }
    std::string reason;
    auto folder = ShareHandoff::acceptedShareFolder(*archive, *root, &reason);
    if (!folder) {
        // Nothing outside the share root is ever moved or deleted.
        platform::systemLog("Share refused (" + reason + "): " + archive->string(), platform::LogLevel::warning);
        return;
    }

    auto temporary = std::make_shared<tovak::WQTemporaryDirectory>();
    std::error_code error;
    std::filesystem::remove(temporary->url(), error);
    if (!error) std::filesystem::rename(*folder, temporary->url(), error);
    if (error) {
        log("Error: " + error.message());
        std::error_code ignored;
        std::filesystem::remove_all(*folder, ignored);
        return;
    }

    if (auto bytes = ShareHandoff::readArchiveFile(temporary->url(), archive->filename().string()))
        if (auto content = ShareHandoff::readArchive(*bytes, temporary->url()))
            share(temporary, std::move(content->fileUrls), std::move(content->text));

    std::error_code ignored;
    std::filesystem::remove_all(*folder, ignored);
}

void Trellik::share(std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory,
                    std::optional<std::vector<std::filesystem::path>> fileUrls, std::optional<std::string> text) {
    auto web = webViewDelegate();
    if (!web) {
        pendingShare_ = PendingShare{std::move(tempDirectory), std::move(fileUrls), std::move(text)};
        return;
    }
    web->showShareView(std::move(tempDirectory), std::move(fileUrls), std::move(text));
    pendingShare_.reset();
}

// --- Settings the preference panes show and change ---

void Trellik::setReturnKeyAction(ReturnKeyAction value) { store(keys::returnKeyAction, rawValue(value)); }

void Trellik::setBoolSetting(std::string_view key, bool value) { store(key, value); }

bool Trellik::boolSetting(std::string_view key) const { return storedBool(key); }

bool Trellik::privacyLockdown() const { return PrivacyGate::isLocked(); }

}  // namespace parlivo
