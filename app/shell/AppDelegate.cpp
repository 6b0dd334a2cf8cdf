#include "shell/AppDelegate.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iostream>

#include "DebugPrint.h"
#include "WQApplicationInfo.h"
#include "WQDebugController.h"
#include "WQLaunchAtLoginManager.h"
#include "WQTouchID.h"
#include "config/DynamicData.h"
#include "foundation/Localized.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "foundation/NotificationCenter.h"
#include "foundation/URL.h"
#include "foundation/UserDefaults.h"
#include "settings/Enums.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "settings/Trellik.h"
#include "notifications/SettingsWriteFailureNotice.h"
#include "shell/OpenFailure.h"
#include "shell/SupportAlertResponse.h"

namespace parlivo {

namespace {

std::weak_ptr<AppDelegate>& currentDelegate() {
    static auto* delegate = new std::weak_ptr<AppDelegate>;  // never destroyed
    return *delegate;
}

void debugLog(const std::string& message) { tovak::debugPrint(AppDelegate::kClassName, message); }


// A number of seconds as a decimal that always shows a fractional part ("86400.0"), whatever
// the process locale.
std::string intervalText(double seconds) {
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, seconds);
    std::string text = error == std::errc() ? std::string(buffer, end) : std::string("0");
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

}  // namespace

std::shared_ptr<AppDelegate> AppDelegate::create(ApplicationHost& host) {
    return std::shared_ptr<AppDelegate>(new AppDelegate(host));
}

// The menu controller is ours alone: it never outlives the delegate whose window it asks for.
AppDelegate::AppDelegate(ApplicationHost& host)
    : host_(host), menus_(MainMenuController::create(host, [this] { return mainWindowController_; }, this)) {}

AppDelegate::~AppDelegate() {
    // Observers go first, so no notification reaches a half-destroyed delegate.
    observers_.clear();
    auto& updater = platform::VendorServices::shared();
    if (updater.updaterDelegate() == this) updater.setUpdaterDelegate(nullptr);
}

std::shared_ptr<AppDelegate> AppDelegate::current() { return currentDelegate().lock(); }

void AppDelegate::setCurrent(std::shared_ptr<AppDelegate> delegate) { currentDelegate() = delegate; }

void AppDelegate::setMainWindowController(std::shared_ptr<MainWindowControllerHandle> controller) {
    mainWindowController_ = std::move(controller);
}

// ---- Start-up ----

void AppDelegate::applicationWillFinishLaunching() {
    // Share URLs arrive through the application's "open" signal, which the GTK application
    // routes to handleURLEvent; nothing needs registering with the system here.
    watchSettingsWrites();
}

void AppDelegate::watchSettingsWrites() {
    // Settings that cannot be saved (a full disk, a read-only folder) are told in the window.
    if (!settingsWriteNotice_)
        settingsWriteNotice_ = std::make_unique<SettingsWriteFailureNotice>(platform::UserDefaults::standard());
}

// The start-up, in its fixed order: the vendor stand-ins first, then the settings model, the main
// window, the observers and the menus.
void AppDelegate::applicationDidFinishLaunching() {
    // With privacy on, the lock screen comes with the first window: the fingerprint service is
    // asked now so its answer is in by then (it is never waited for).
    if (platform::UserDefaults::standard().boolForKey(keys::privacyModeEnabled)) tovak::WQTouchID::startFollowingSupport();
    startVendorServices();
    connectToSettingsModel();
    if (!mainWindowController_) makeMainWindow();
    observePrivacyAndAboutRequests();
    privacyChanged();
    mainMenu().debugMenu->setHidden(true);
    enableTouchBarCustomization();
    setupNotificationObservers();
    updateFileMenu();
    setupApplicationMenu();
}

void AppDelegate::startVendorServices() {
    auto& vendor = platform::VendorServices::shared();
    vendor.sendTrackingReport();
    vendor.setUpdaterDelegate(this);
    vendor.setAutomaticallyChecksForUpdates(true);
    debugLog("Initialized SUUpdater: Interval -> " + intervalText(vendor.updateCheckInterval()));
    vendor.setupIssuesController(true);
}

void AppDelegate::connectToSettingsModel() {
    Trellik& trellik = Trellik::shared();
    trellik.setApplicationDelegate(weak_from_this());
    platform::VendorServices::shared().setUpdateCheckPresenter([weak = weak_from_this()](const std::string& text) {
        if (auto self = weak.lock()) self->host_.showInformation(text);
    });
}

void AppDelegate::makeMainWindow() {
    auto controller = host_.instantiateMainWindowController();
    if (!controller) {
        platform::systemLog("Error getting main window controller", platform::LogLevel::error);
        std::cerr << "Fatal error: Error getting main window controller" << std::endl;
        std::abort();
    }
    mainWindowController_ = controller;
    showMainWindowAfterLaunch();
}

void AppDelegate::observePrivacyAndAboutRequests() {
    auto& center = platform::NotificationCenter::defaultCenter();
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    observers_.push_back(center.addObserver(names::privacyChanged, [weak](const platform::Notification&) {
        if (auto self = weak.lock()) self->privacyChanged();
    }));
    observers_.push_back(center.addObserver(names::showAbout, [weak](const platform::Notification&) {
        if (auto self = weak.lock()) self->showAbout();
    }));
}

void AppDelegate::enableTouchBarCustomization() {
    host_.setAutomaticCustomizeTouchBarMenuItemEnabled(true);
    debugLog(std::string("Automatic TouchBar Customization: ") +
             (host_.isAutomaticCustomizeTouchBarMenuItemEnabled() ? "true" : "false"));
}

void AppDelegate::showMainWindowAfterLaunch() {
    // Whether this start came from the login item is known once the launch-at-login manager
    // has heard from the bus (it asks without waiting); the window waits for that answer.
    // Weak: a delegate let go meanwhile (shutdown) must not be kept alive to show its window.
    tovak::WQLaunchAtLoginManager::shared().whenLaunchIsKnown([weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self || !self->mainWindowController_) return;
        if (tovak::WQLaunchAtLoginManager::shared().automaticallyLaunched()) {
            platform::systemLog("Started at login: the main window stays hidden");
            return;
        }
        if (platform::UserDefaults::standard().boolForKey(keys::showDockIcon)) {
            self->mainWindowController_->makeKeyAndOrderFront();
            return;
        }
        // Tray-only mode: the window comes one turn later, once the activation policy is applied.
        platform::MainQueue::after(0.1, [weak] {
            auto self = weak.lock();
            if (self && self->mainWindowController_ && self->mainWindowController_->hasWindow())
                self->mainWindowController_->makeKeyAndOrderFront();
        });
    });
}

bool AppDelegate::applicationOpenUntitledFile() {
    platform::systemLog("Open Untitled File!");
    return true;
}

bool AppDelegate::applicationShouldHandleReopen(bool) {
    platform::systemLog("Should handle reopen!");
    if (auto window = Trellik::shared().windowDelegate()) window->handleDockButtonClick();
    return false;
}

void AppDelegate::handleURLEvent(const std::optional<std::string>& directObject) {
    if (!directObject) return;
    // Schemes are case-insensitive, and the desktop hands them over in lower case.
    if (!platform::hasURLScheme(*directObject, tovak::WQApplicationInfo::bundleIdentifier() + ".share")) return;
    Trellik::shared().processShare(*directObject);
}

void AppDelegate::applicationWillTerminate() {
    if (mainWindowController_ && mainWindowController_->isWQWindowController())
        mainWindowController_->storeWindowState();
}

bool AppDelegate::updaterShouldCheckForBetaUpdates() { return tovak::WQDebugController::sharedInstance().beta(); }

void AppDelegate::showSupportAlert() {
    host_.presentSupportAlert([weak = weak_from_this()](int response) {
        // An answer after the delegate went reaches nothing.
        auto self = weak.lock();
        if (!self) return;
        handleSupportAlertResponse(response, [&self](const std::string& address) { self->couldNotOpenAddress(address); });
    });
}

void AppDelegate::couldNotOpenAddress(const std::string& address) {
    const auto text = openFailureText(address);
    host_.showAlert(text.title, text.message);
}

// ---- Privacy ----

void AppDelegate::privacyChanged() {
    const bool locked = Trellik::shared().privacyLockdown();
    menus_->enablePageCommands(!locked);
    // Settings must not be reachable around the lock screen: an open preferences window goes.
    if (locked) closePreferencesWindows();
}

// ---- Preferences and about ----

void AppDelegate::showPreferencesWindow() {
    // No path around the lock screen: menu, page request and shortcut all end here.
    if (Trellik::shared().privacyLockdown()) return;
    const std::string title = platform::localized("PREFERENCES", "Preferences");
    if (isShowingPreferences_) {
        for (auto& controller : retainedWindowControllers_) {
            if (controller->hasWindow() && controller->windowTitle() == title) {
                controller->showWindow();
                break;
            }
        }
        return;
    }

    auto controller = host_.makePreferencesWindowController({"General", "Privacy", "Sounds and Appearance"}, title);
    // Only a real window counts as showing; otherwise the next request tries again.
    if (!controller || !controller->hasWindow()) return;
    std::erase(retainedWindowControllers_, controller);
    retainedWindowControllers_.push_back(controller);
    controller->useLightAppearance();
    controller->setLevel(mainWindowController_ && mainWindowController_->hasWindow()
                             ? mainWindowController_->windowLevel()
                             : normalWindowLevel);
    isShowingPreferences_ = true;

    std::weak_ptr<AppDelegate> weakSelf = weak_from_this();
    std::weak_ptr<PreferencesWindowHandle> weakController = controller;
    controller->setWillCloseHandler([weakSelf, weakController] {
        // The flag drops at once, so a request right after the close builds a new window; the
        // controller is let go on the next turn, outside the window's own signal handler.
        if (auto self = weakSelf.lock()) self->isShowingPreferences_ = false;
        platform::MainQueue::async([weakSelf, weakController] {
            auto self = weakSelf.lock();
            auto closed = weakController.lock();
            if (self && closed) std::erase(self->retainedWindowControllers_, closed);
        });
    });
    controller->showWindow();
}

void AppDelegate::closePreferencesWindows() {
    // A copy: closing runs the will-close handlers, which edit the list later.
    auto controllers = retainedWindowControllers_;
    for (auto& controller : controllers) controller->close();
    isShowingPreferences_ = false;
}

std::string AppDelegate::aboutVersionText() {
    return "Version " + tovak::WQApplicationInfo::bundleVersionString() + " (" +
           tovak::WQApplicationInfo::bundleShortVersionString() + "." + DynamicData::shared().version() + ")";
}

void AppDelegate::showAbout() {
    aboutWindowController_ = host_.makeAboutWindowController();
    if (!aboutWindowController_) return;
    aboutWindowController_->setAppWebsiteURL(std::string(productWebsite));
    aboutWindowController_->setUseTextViewForAcknowledgments(true);
    aboutWindowController_->setAppVersion(aboutVersionText());
    aboutWindowController_->showWindow();
}

}  // namespace parlivo
