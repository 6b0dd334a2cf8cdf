#include "shell/WQWindow.h"

#include <chrono>
#include <iostream>

#include <gdk/gdk.h>

#include "DebugPrint.h"
#include "foundation/MainQueue.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "settings/Trellik.h"
#include "shell/MainWindowNotifications.h"
#include "shell/TrellikStatusItem.h"
#include "system/VendorServices.h"
#include "ui/KeyboardFocus.h"

namespace parlivo {

namespace {

void debugLog(const std::string& message) { tovak::debugPrint(WQWindow::kClassName, message); }

const char* boolString(bool value) { return value ? "true" : "false"; }

}  // namespace

WQWindow::WQWindow(BaseObjectType* object, const Glib::RefPtr<Gtk::Builder>&) : Gtk::ApplicationWindow(object) {
    // The offer to move the program into an applications folder: a stand-in on Linux.
    platform::VendorServices::shared().moveToApplicationsFolderIfNecessary();
    debugLog("################ INIT WINDOW #################");
    debugLog("Rect: " + mainwindow::frameString(frame()) + " - " + autosaveName_);
    // The interface file has loaded the window; the controller names it afterwards.
    debugLog("AwakeFromNib with Autosave Name: " + autosaveName_);
    // The launcher-icon setting was applied before this window existed: follow it from the start.
    applyActivationPolicyHints(ApplicationActivation::policy());
    // "Key window" is GTK's is-active.
    activeConnection_ = property_is_active().signal_changed().connect([this] {
        if (is_active()) becomeKeyWindow();
    });
    trayObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
        names::statusItemDisplayChanged,
        [this](const platform::Notification&) { applyActivationPolicyHints(ApplicationActivation::policy()); });
}

WQWindow::~WQWindow() {
    *alive_ = false;
    frameSaveTimer_.reset();
    shakeTimer_.reset();
    activeConnection_.disconnect();
}

// ---- Window delegate ----

void WQWindow::handleStatusButtonClick() {
    std::cout << "Handle Status Button Click!" << std::endl;
    if (isFrontForUser()) {
        closeWindow();
    } else {
        makeKeyAndOrderFront();
        activateIgnoringOtherApps();
    }
}

void WQWindow::handleDockButtonClick() {
    std::cout << "Handle Dock Button Click!" << std::endl;
    if (isKeyWindow()) return;
    makeKeyAndOrderFront();
    activateIgnoringOtherApps();
}

void WQWindow::showWindow() {
    makeKeyAndOrderFront();
    activateIgnoringOtherApps();
}

void WQWindow::handleShortcut() { handleStatusButtonClick(); }

void WQWindow::applyStealthMode() {
    const double stored =
        platform::UserDefaults::standard().doubleForKey(keys::privacyStealthModeAlpha);
    set_opacity(mainwindow::stealthAlpha(Trellik::shared().privacyStealthModeActive(), stored));
}

void WQWindow::willChangeActivationPolicy(ActivationPolicy, ActivationPolicy) {
    windowIsVisibleBeforePolicyChange = get_visible();
}

void WQWindow::didChangeActivationPolicy(ActivationPolicy current, ActivationPolicy) {
    debugLog(std::string("IsVisible: ") + boolString(get_visible()) +
             " WasVisible: " + boolString(windowIsVisibleBeforePolicyChange));
    applyActivationPolicyHints(current);
    if (windowIsVisibleBeforePolicyChange) {
        platform::MainQueue::after(0.1, [this, alive = alive_] {
            if (!*alive) return;
            debugLog("Manually move to front!");
            show();
        });
    }
}

void WQWindow::applyActivationPolicyHints(ActivationPolicy policy) {
    // Without a launcher icon the window stays out of the taskbar and the pager, as long as the
    // tray shows its item: without one, the taskbar is the only way back to the window.
    const bool accessory = policy != ActivationPolicy::regular && trayCanBringBack();
    set_skip_taskbar_hint(accessory);
    set_skip_pager_hint(accessory);
}

void WQWindow::applyWindowMode() {
    setLevel(Trellik::shared().windowMode() == WindowMode::alwaysOnTop ? 3 : 0);
}

void WQWindow::setLevel(int level) {
    level_ = level;
    set_keep_above(level > 0);
}

// ---- Showing, hiding, focus ----

void WQWindow::makeKeyAndOrderFront() {
    present();
    platform::NotificationCenter::defaultCenter().post(names::notificationWindowDidBecomeKeyAndOrderedFront, this);
}

void WQWindow::activateIgnoringOtherApps() {
    // The X server time of "now" lets the window manager give us the focus.
    if (auto gdkWindow = get_window()) gdk_window_focus(gdkWindow->gobj(), GDK_CURRENT_TIME);
}

bool WQWindow::isFrontForUser() const {
    if (!get_visible()) return false;
    auto gdkWindow = const_cast<WQWindow*>(this)->get_window();
    if (!gdkWindow || (gdkWindow->get_state() & Gdk::WINDOW_STATE_ICONIFIED)) return false;
    // The shortcut's key grab (and a tray menu's) makes GTK count the window as inactive for the
    // press; the keyboard focus the window manager gave it stays where it was.
    return isKeyWindow() || platform::hasKeyboardFocus(gdkWindow->gobj());
}

bool WQWindow::trayCanBringBack() {
    auto* statusItem = Trellik::shared().statusItem();
    return statusItem && statusItem->isShownInTray();
}

void WQWindow::closeWindow() {
    // Out of sight only while the tray can bring the window back; otherwise it is minimized, so
    // the taskbar still can.
    if (trayCanBringBack()) {
        hide();
    } else {
        iconify();
    }
}

bool WQWindow::on_delete_event(GdkEventAny*) {
    // Closing never ends the program: the window goes out of sight (see closeWindow) and the
    // tray, the taskbar or the launcher brings it back.
    closeWindow();
    return true;
}

void WQWindow::on_hide() {
    if (frameSaveTimer_ && frameSaveTimer_->isValid()) {
        frameSaveTimer_->invalidate();
        if (!autosaveName_.empty()) saveFrameUsingName(autosaveName_);
    }
    Gtk::ApplicationWindow::on_hide();
}

void WQWindow::becomeKeyWindow() {
    // Being looked at clears the unread state: count, delivered notifications, tray and badge.
    Trellik::shared().clearDeliveredNotifications();
    if (onDidBecomeKey) onDidBecomeKey();
}

// ---- Full screen ----

void WQWindow::toggleFullScreen() {
    if (fullScreen_) {
        unfullscreen();
    } else {
        fullscreen();
    }
}

bool WQWindow::on_window_state_event(GdkEventWindowState* event) {
    const bool result = Gtk::ApplicationWindow::on_window_state_event(event);
    if (event->changed_mask & GDK_WINDOW_STATE_FULLSCREEN) {
        fullScreen_ = (event->new_window_state & GDK_WINDOW_STATE_FULLSCREEN) != 0;
        auto& center = platform::NotificationCenter::defaultCenter();
        if (fullScreen_) {
            center.post(windowDidEnterFullScreenNotification, this);
        } else {
            center.post(windowDidExitFullScreenNotification, this);
            if (onDidExitFullScreen) onDidExitFullScreen();
        }
    }
    return result;
}

// ---- Frame ----

WindowFrame WQWindow::frame() const {
    int x = 0, y = 0, width = 0, height = 0;
    auto* self = const_cast<WQWindow*>(this);
    self->get_position(x, y);
    self->get_size(width, height);
    return {x, y, width, height};
}

bool WQWindow::setFrameUsingName(const std::string& name) {
    bool success = false;
    if (auto text = platform::UserDefaults::standard().stringForKey(mainwindow::frameDefaultsKey(name))) {
        if (auto saved = mainwindow::parseFrameString(*text)) {
            resize(saved->width, saved->height);
            move(saved->x, saved->y);
            lastFrame_ = *saved;
            success = true;
        }
    }
    debugLog(std::string("Success: ") + boolString(success));
    debugLog("Frame: " + mainwindow::frameString(success ? lastFrame_ : frame()));
    return success;
}

void WQWindow::saveFrameUsingName(const std::string& name) {
    // A full-screen or maximized window keeps the frame it will return to.
    WindowFrame current = (fullScreen_ || is_maximized()) ? lastFrame_ : frame();
    if (current.width <= 0 || current.height <= 0) return;
    platform::UserDefaults::standard().setString(mainwindow::frameDefaultsKey(name), mainwindow::frameString(current));
}

bool WQWindow::setFrameAutosaveName(const std::string& name) {
    autosaveName_ = name;
    return !name.empty() && setFrameUsingName(name);
}

bool WQWindow::on_configure_event(GdkEventConfigure* event) {
    const bool result = Gtk::ApplicationWindow::on_configure_event(event);
    if (!fullScreen_ && !is_maximized() && get_visible()) {
        lastFrame_ = frame();
        scheduleFrameSave();
    }
    return result;
}

void WQWindow::scheduleFrameSave() {
    if (autosaveName_.empty()) return;
    // Moves come in bursts; the settings file is written once the window has settled.
    if (frameSaveTimer_) frameSaveTimer_->invalidate();
    frameSaveTimer_ = platform::Timer::scheduled(0.4, false, [this](platform::Timer&) { saveFrameUsingName(autosaveName_); });
}

// ---- Shake ----

void WQWindow::shake() {
    const WindowFrame start = frame();
    auto path = mainwindow::shakePath(start.x, start.y, start.width);
    const auto began = std::chrono::steady_clock::now();
    if (shakeTimer_) shakeTimer_->invalidate();
    shakeTimer_ = platform::Timer::scheduled(0.016, true, [this, path, began, start](platform::Timer& timer) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        const WindowPoint at = mainwindow::shakePosition(path, elapsed, mainwindow::shakeDuration);
        move(static_cast<int>(at.x), start.y);
        if (elapsed >= mainwindow::shakeDuration) timer.invalidate();
    });
}

}  // namespace parlivo
