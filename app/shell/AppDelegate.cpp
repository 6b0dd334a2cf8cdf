#include "shell/AppDelegate.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iostream>

#include "ButtonState.h"
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
    auto delegate = std::shared_ptr<AppDelegate>(new AppDelegate(host));
    delegate->connectMenuActions();
    return delegate;
}

AppDelegate::AppDelegate(ApplicationHost& host) : host_(host) {}

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

// Menu items call back through weak references: the menu may outlive the delegate in a view.
void AppDelegate::connectMenuActions() {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    auto bind = [weak](void (AppDelegate::*action)(MenuItem&)) {
        return [weak, action](MenuItem& sender) {
            if (auto self = weak.lock()) ((*self).*action)(sender);
        };
    };
    auto command = [weak](void (ApplicationHost::*call)()) {
        return [weak, call](MenuItem&) {
            if (auto self = weak.lock()) (self->host_.*call)();
        };
    };
    auto edit = [weak](std::string name) {
        return [weak, name](MenuItem&) {
            if (auto self = weak.lock()) self->host_.editCommand(name);
        };
    };

    MainMenu& m = menu_;
    m.aboutMenuItem->setAction(bind(&AppDelegate::aboutClicked));
    m.checkForUpdateMenuItem->setAction(bind(&AppDelegate::applicationMenuItemClicked));
    m.menuItemPreferences->setAction(bind(&AppDelegate::menuPreferencesClicked));
    m.hideMenuItem->setAction(command(&ApplicationHost::hideApplication));
    m.quitMenuItem->setAction(command(&ApplicationHost::terminate));
    for (auto& item : {m.fileNewChat, m.fileNewGroup, m.fileProfileAndStatus, m.showArchive, m.showActiveContacts,
                       m.fileDoNotDisturb})
        item->setAction(bind(&AppDelegate::fileMenuItemClicked));
    m.closeWindowMenuItem->setAction(command(&ApplicationHost::closeKeyWindow));
    m.logoutMenuItem->setAction(bind(&AppDelegate::menuLogoutClicked));
    m.undoMenuItem->setAction(edit("undo"));
    m.redoMenuItem->setAction(edit("redo"));
    m.cutMenuItem->setAction(edit("cut"));
    m.copyMenuItem->setAction(edit("copy"));
    m.pasteMenuItem->setAction(bind(&AppDelegate::pasteAction));
    m.selectAllMenuItem->setAction(edit("select-all"));
    m.reloadMenuItem->setAction(bind(&AppDelegate::menuReloadClicked));
    for (auto& item : {m.stealthModeActive, m.stealthModeRaise, m.stealthModeLower})
        item->setAction(bind(&AppDelegate::visualMenuItemClicked));
    m.fullScreenMenuItem->setAction(command(&ApplicationHost::toggleFullScreen));
    m.minimizeMenuItem->setAction(command(&ApplicationHost::minimizeKeyWindow));
    m.alwaysOnTop->setAction(bind(&AppDelegate::windowMenuItemClicked));
    m.supportMenuItem->setAction(bind(&AppDelegate::menuHelpClicked));
    m.helpMenuItem->setAction(bind(&AppDelegate::helpMenuItemClicked));
    m.debugReloadMenuItem->setAction(bind(&AppDelegate::menuReloadClicked));
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
    menu_.debugMenu->setHidden(true);
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

void AppDelegate::presentSupportAlert(std::function<void(int response)> onResponse) {
    host_.presentSupportAlert(std::move(onResponse));
}

void AppDelegate::couldNotOpenAddress(const std::string& address) {
    const auto text = openFailureText(address);
    host_.showAlert(text.title, text.message);
}

// ---- Menus ----

void AppDelegate::setupNotificationObservers() {
    auto& center = platform::NotificationCenter::defaultCenter();
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    auto call = [weak](void (AppDelegate::*update)()) {
        return [weak, update](const platform::Notification&) {
            if (auto self = weak.lock()) ((*self).*update)();
        };
    };
    observers_.push_back(center.addObserver(names::doNotDisturbModeChanged, call(&AppDelegate::updateFileMenu)));
    observers_.push_back(
        center.addObserver(names::visualizationStyleChanged, call(&AppDelegate::updateVisualizationMenu)));
    observers_.push_back(center.addObserver(names::stealthModeChanged, call(&AppDelegate::updateVisualizationMenu)));
    observers_.push_back(center.addObserver(names::windowModeChanged, call(&AppDelegate::updateWindowMenu)));
}

void AppDelegate::setupApplicationMenu() {
    const std::string name = tovak::WQApplicationInfo::applicationName();
    menu_.applicationMenuItem->setTitle(name);
    static constexpr std::string_view placeholder = "Ambrel for WhatsApp";
    for (auto& item : {menu_.aboutMenuItem, menu_.hideMenuItem, menu_.quitMenuItem, menu_.helpMenuItem}) {
        std::string title = item->title();
        for (auto at = title.find(placeholder); at != std::string::npos; at = title.find(placeholder, at + name.size()))
            title.replace(at, placeholder.size(), name);
        item->setTitle(title);
    }
    menu_.showActiveContacts->setHidden(true);

    const VisualStyle current = Trellik::shared().currentVisualStyle();
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    for (VisualStyle style : allCases<VisualStyle>()) {
        auto item = std::make_shared<MenuItem>(title(style));
        item->setCheckable(true);
        item->setAction([weak](MenuItem& sender) {
            if (auto self = weak.lock()) self->visualMenuItemClicked(sender);
        });
        item->setIdentifier(std::string(kVisualStyleIdentifier));
        item->setTag(static_cast<int>(style));
        if (style == current) item->setState(tovak::ButtonState::on);
        item->setEnabled(!privacyLockdownStored());
        menu_.visualizationStyleMenu->addItem(item);
    }
}

void AppDelegate::updateFileMenu() {
    const bool doNotDisturb = platform::UserDefaults::standard().boolForKey(keys::doNotDisturbEnabled);
    menu_.fileDoNotDisturb->setState(tovak::buttonState(doNotDisturb));
}

void AppDelegate::updateVisualizationMenu() {
    Trellik& trellik = Trellik::shared();
    menu_.stealthModeActive->setState(tovak::buttonState(trellik.privacyStealthModeActive()));
    const int current = static_cast<int>(trellik.currentVisualStyle());
    for (auto& item : menu_.visualizationStyleMenu->items()) {
        if (item->tag() < 0 || item->tag() > 3) continue;
        item->setState(tovak::buttonState(item->tag() == current));
    }
}

void AppDelegate::updateWindowMenu() {
    menu_.alwaysOnTop->setState(tovak::buttonState(Trellik::shared().windowMode() == WindowMode::alwaysOnTop));
}

bool AppDelegate::privacyLockdownStored() { return platform::UserDefaults::standard().boolForKey(keys::privacyLockdown); }

void AppDelegate::privacyChanged() {
    const bool locked = privacyLockdownStored();
    enablePageCommands(!locked);
    // Settings must not be reachable around the lock screen: an open preferences window goes.
    if (locked) closePreferencesWindows();
}

void AppDelegate::enablePageCommands(bool enabled) {
    // Behind the lock no command may reach the page or its data, whatever road it takes: a
    // disabled item runs neither from the menu nor from its keyboard shortcut.
    for (const auto& item : menu_.pageCommands()) item->setEnabled(enabled);
    for (const auto& item : menu_.visualizationStyleMenu->items()) item->setEnabled(enabled);
}

// ---- Menu actions ----

void AppDelegate::aboutClicked(MenuItem&) {
    platform::NotificationCenter::defaultCenter().post(names::showAbout, this);
}

void AppDelegate::menuReloadClicked(MenuItem&) {
    if (privacyLockdownStored()) return;
    if (auto web = Trellik::shared().webViewDelegate()) web->reloadWebApp();
}

void AppDelegate::menuLogoutClicked(MenuItem&) {
    // Logging out behind the lock is the lock screen's forgotten-password way, nobody else's.
    if (privacyLockdownStored()) return;
    if (auto web = Trellik::shared().webViewDelegate()) web->handleLogOut();
}

void AppDelegate::menuHelpClicked(MenuItem&) { Trellik::shared().showSupportAlert(); }

void AppDelegate::menuPreferencesClicked(MenuItem&) { Trellik::shared().openPreferences(); }

void AppDelegate::applicationMenuItemClicked(MenuItem& sender) {
    std::cout << "\"############################ CLICK APPLICAATION ITEM ####################################\""
              << std::endl;
    if (&sender == menu_.checkForUpdateMenuItem.get()) platform::VendorServices::shared().checkForUpdates();
}

void AppDelegate::fileMenuItemClicked(MenuItem& sender) {
    if (privacyLockdownStored()) return;
    Trellik& trellik = Trellik::shared();
    auto send = [&trellik](NativeAction action) {
        if (auto web = trellik.webViewDelegate()) web->sendMenuCommand(action);
    };
    if (&sender == menu_.fileNewChat.get()) {
        send(NativeAction::newChat);
    } else if (&sender == menu_.fileNewGroup.get()) {
        send(NativeAction::newGroup);
    } else if (&sender == menu_.fileProfileAndStatus.get()) {
        send(NativeAction::profileAndStatus);
    } else if (&sender == menu_.fileDoNotDisturb.get()) {
        trellik.setDoNotDisturbEnabled(!platform::UserDefaults::standard().boolForKey(keys::doNotDisturbEnabled));
    } else if (&sender == menu_.showArchive.get()) {
        send(NativeAction::archive);
    } else if (&sender == menu_.showActiveContacts.get()) {
        send(NativeAction::activeContacts);
    }
}

void AppDelegate::windowMenuItemClicked(MenuItem&) {
    Trellik& trellik = Trellik::shared();
    trellik.setWindowMode(trellik.windowMode() == WindowMode::defaultMode ? WindowMode::alwaysOnTop
                                                                          : WindowMode::defaultMode);
}

void AppDelegate::visualMenuItemClicked(MenuItem& sender) {
    if (privacyLockdownStored()) return;
    Trellik& trellik = Trellik::shared();
    auto step = [&](double delta) {
        if (trellik.privacyStealthModeActive()) {
            trellik.setPrivacyStealthModeAlpha(
                platform::UserDefaults::standard().doubleForKey(keys::privacyStealthModeAlpha) + delta);
        } else {
            trellik.setPrivacyStealthModeActive(true);
            menu_.stealthModeActive->setState(tovak::ButtonState::on);
        }
    };
    if (&sender == menu_.stealthModeActive.get()) {
        const bool value = !trellik.privacyStealthModeActive();
        sender.setState(tovak::buttonState(value));
        trellik.setPrivacyStealthModeActive(value);
    } else if (&sender == menu_.stealthModeRaise.get()) {
        step(0.1);
    } else if (&sender == menu_.stealthModeLower.get()) {
        step(-0.1);
    }
    if (sender.identifier() == kVisualStyleIdentifier && sender.tag() >= 0 && sender.tag() <= 3)
        trellik.setVisualStyle(static_cast<VisualStyle>(sender.tag()));
}

void AppDelegate::pasteAction(MenuItem&) {
    // Asking the clipboard for its types waits on its owner: only worth it for the debug log.
    if (tovak::WQDebugController::sharedInstance().debug()) {
        std::string types;
        for (const auto& type : host_.pasteboardTypes()) types += (types.empty() ? "" : ", ") + type;
        debugLog("PasteAction: [" + types + "]");
    }
    // While locked the chat is hidden: files must not reach it behind the lock screen. The
    // focused widget (the password field) may still paste text.
    if (!privacyLockdownStored()) {
        if (auto delegate = pasteDelegate_.lock()) {
            // The drop view answers once it has read the clipboard; what it did not send is
            // pasted by the focused widget then.
            std::weak_ptr<AppDelegate> weak = weak_from_this();
            delegate->paste([weak](bool handled) {
                auto self = weak.lock();
                if (!handled && self && self->mainWindowController_) self->mainWindowController_->firstResponderPaste();
            });
            return;
        }
    }
    if (mainWindowController_) mainWindowController_->firstResponderPaste();
}

// ---- Preferences and about ----

void AppDelegate::showPreferencesWindow() {
    // No path around the lock screen: menu, page request and shortcut all end here.
    if (privacyLockdownStored()) return;
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
