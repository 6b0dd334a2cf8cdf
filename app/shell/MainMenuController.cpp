#include "shell/MainMenuController.h"

#include <iostream>

#include "ButtonState.h"
#include "DebugPrint.h"
#include "WQApplicationInfo.h"
#include "WQDebugController.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "settings/Enums.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "settings/Trellik.h"
#include "system/VendorServices.h"

namespace parlivo {

namespace {

// The menus are the application delegate's to the user and in the log.
constexpr std::string_view kLogName = "AppDelegate";

void debugLog(const std::string& message) { tovak::debugPrint(kLogName, message); }


}  // namespace

std::shared_ptr<MainMenuController> MainMenuController::create(
    ApplicationHost& host, std::function<std::shared_ptr<MainWindowControllerHandle>()> mainWindow,
    const void* owner) {
    auto controller = std::shared_ptr<MainMenuController>(new MainMenuController(host, std::move(mainWindow), owner));
    controller->connectMenuActions();
    return controller;
}

MainMenuController::MainMenuController(ApplicationHost& host,
                                       std::function<std::shared_ptr<MainWindowControllerHandle>()> mainWindow,
                                       const void* owner)
    : host_(host), mainWindow_(std::move(mainWindow)), owner_(owner) {}

// Menu items call back through weak references: the menu may outlive its controller in a view.
void MainMenuController::connectMenuActions() {
    std::weak_ptr<MainMenuController> weak = weak_from_this();
    auto bind = [weak](void (MainMenuController::*action)(MenuItem&)) {
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
    m.aboutMenuItem->setAction(bind(&MainMenuController::aboutClicked));
    m.checkForUpdateMenuItem->setAction(bind(&MainMenuController::applicationMenuItemClicked));
    m.menuItemPreferences->setAction(bind(&MainMenuController::menuPreferencesClicked));
    m.hideMenuItem->setAction(command(&ApplicationHost::hideApplication));
    m.quitMenuItem->setAction(command(&ApplicationHost::terminate));
    for (auto& item : {m.fileNewChat, m.fileNewGroup, m.fileProfileAndStatus, m.showArchive, m.showActiveContacts,
                       m.fileDoNotDisturb})
        item->setAction(bind(&MainMenuController::fileMenuItemClicked));
    m.closeWindowMenuItem->setAction(command(&ApplicationHost::closeKeyWindow));
    m.logoutMenuItem->setAction(bind(&MainMenuController::menuLogoutClicked));
    m.undoMenuItem->setAction(edit("undo"));
    m.redoMenuItem->setAction(edit("redo"));
    m.cutMenuItem->setAction(edit("cut"));
    m.copyMenuItem->setAction(edit("copy"));
    m.pasteMenuItem->setAction(bind(&MainMenuController::pasteAction));
    m.selectAllMenuItem->setAction(edit("select-all"));
    m.reloadMenuItem->setAction(bind(&MainMenuController::menuReloadClicked));
    for (auto& item : {m.stealthModeActive, m.stealthModeRaise, m.stealthModeLower})
        item->setAction(bind(&MainMenuController::visualMenuItemClicked));
    m.fullScreenMenuItem->setAction(command(&ApplicationHost::toggleFullScreen));
    m.minimizeMenuItem->setAction(command(&ApplicationHost::minimizeKeyWindow));
    m.alwaysOnTop->setAction(bind(&MainMenuController::windowMenuItemClicked));
    m.supportMenuItem->setAction(bind(&MainMenuController::menuHelpClicked));
    m.helpMenuItem->setAction(bind(&MainMenuController::helpMenuItemClicked));
    m.debugReloadMenuItem->setAction(bind(&MainMenuController::menuReloadClicked));
}

// ---- Set-up and state ----

void MainMenuController::setupNotificationObservers() {
    auto& center = platform::NotificationCenter::defaultCenter();
    std::weak_ptr<MainMenuController> weak = weak_from_this();
    auto call = [weak](void (MainMenuController::*update)()) {
        return [weak, update](const platform::Notification&) {
            if (auto self = weak.lock()) ((*self).*update)();
        };
    };
    observers_.push_back(center.addObserver(names::doNotDisturbModeChanged, call(&MainMenuController::updateFileMenu)));
    observers_.push_back(
        center.addObserver(names::visualizationStyleChanged, call(&MainMenuController::updateVisualizationMenu)));
    observers_.push_back(
        center.addObserver(names::stealthModeChanged, call(&MainMenuController::updateVisualizationMenu)));
    observers_.push_back(center.addObserver(names::windowModeChanged, call(&MainMenuController::updateWindowMenu)));
}

void MainMenuController::setupApplicationMenu() {
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
    std::weak_ptr<MainMenuController> weak = weak_from_this();
    for (VisualStyle style : allCases<VisualStyle>()) {
        auto item = std::make_shared<MenuItem>(title(style));
        item->setCheckable(true);
        item->setAction([weak](MenuItem& sender) {
            if (auto self = weak.lock()) self->visualMenuItemClicked(sender);
        });
        item->setIdentifier(std::string(kVisualStyleIdentifier));
        item->setTag(static_cast<int>(style));
        if (style == current) item->setState(tovak::ButtonState::on);
        item->setEnabled(!Trellik::shared().privacyLockdown());
        menu_.visualizationStyleMenu->addItem(item);
    }
}

void MainMenuController::updateFileMenu() {
    menu_.fileDoNotDisturb->setState(tovak::buttonState(platform::UserDefaults::standard().boolForKey(keys::doNotDisturbEnabled)));
}

void MainMenuController::updateVisualizationMenu() {
    Trellik& trellik = Trellik::shared();
    menu_.stealthModeActive->setState(tovak::buttonState(trellik.privacyStealthModeActive()));
    const int current = static_cast<int>(trellik.currentVisualStyle());
    for (auto& item : menu_.visualizationStyleMenu->items()) {
        if (item->tag() < 0 || item->tag() > 3) continue;
        item->setState(tovak::buttonState(item->tag() == current));
    }
}

void MainMenuController::updateWindowMenu() {
    menu_.alwaysOnTop->setState(tovak::buttonState(Trellik::shared().windowMode() == WindowMode::alwaysOnTop));
}

void MainMenuController::enablePageCommands(bool enabled) {
    // Behind the lock no command may reach the page or its data, whatever road it takes: a
    // disabled item runs neither from the menu nor from its keyboard shortcut.
    for (const auto& item : menu_.pageCommands()) item->setEnabled(enabled);
    for (const auto& item : menu_.visualizationStyleMenu->items()) item->setEnabled(enabled);
}

// ---- Menu actions ----

void MainMenuController::aboutClicked(MenuItem&) {
    platform::NotificationCenter::defaultCenter().post(names::showAbout, owner_);
}

void MainMenuController::menuReloadClicked(MenuItem&) {
    if (Trellik::shared().privacyLockdown()) return;
    if (auto web = Trellik::shared().webViewDelegate()) web->reloadWebApp();
}

void MainMenuController::menuLogoutClicked(MenuItem&) {
    // Logging out behind the lock is the lock screen's forgotten-password way, nobody else's.
    if (Trellik::shared().privacyLockdown()) return;
    if (auto web = Trellik::shared().webViewDelegate()) web->handleLogOut();
}

void MainMenuController::menuHelpClicked(MenuItem&) { Trellik::shared().showSupportAlert(); }

void MainMenuController::menuPreferencesClicked(MenuItem&) { Trellik::shared().openPreferences(); }

void MainMenuController::applicationMenuItemClicked(MenuItem& sender) {
    std::cout << "\"############################ CLICK APPLICAATION ITEM ####################################\""
              << std::endl;
    if (&sender == menu_.checkForUpdateMenuItem.get()) platform::VendorServices::shared().checkForUpdates();
}

void MainMenuController::fileMenuItemClicked(MenuItem& sender) {
    if (Trellik::shared().privacyLockdown()) return;
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

void MainMenuController::windowMenuItemClicked(MenuItem&) {
    Trellik& trellik = Trellik::shared();
    trellik.setWindowMode(trellik.windowMode() == WindowMode::defaultMode ? WindowMode::alwaysOnTop
                                                                          : WindowMode::defaultMode);
}

void MainMenuController::visualMenuItemClicked(MenuItem& sender) {
    if (Trellik::shared().privacyLockdown()) return;
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

void MainMenuController::pasteAction(MenuItem&) {
    // Asking the clipboard for its types waits on its owner: only worth it for the debug log.
    if (tovak::WQDebugController::sharedInstance().debug()) {
        std::string types;
        for (const auto& type : host_.pasteboardTypes()) types += (types.empty() ? "" : ", ") + type;
        debugLog("PasteAction: [" + types + "]");
    }
    // While locked the chat is hidden: files must not reach it behind the lock screen. The
    // focused widget (the password field) may still paste text.
    if (!Trellik::shared().privacyLockdown()) {
        if (auto delegate = pasteDelegate_.lock()) {
            // The drop view answers once it has read the clipboard; what it did not send is
            // pasted by the focused widget then.
            std::weak_ptr<MainMenuController> weak = weak_from_this();
            delegate->paste([weak](bool handled) {
                auto self = weak.lock();
                if (handled || !self) return;
                if (auto window = self->mainWindow_()) window->firstResponderPaste();
            });
            return;
        }
    }
    if (auto window = mainWindow_()) window->firstResponderPaste();
}

}  // namespace parlivo
