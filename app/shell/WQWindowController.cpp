#include "shell/WQWindowController.h"

#include <gtkmm/editable.h>
#include <gtkmm/textview.h>
#include <webkit2/webkit2.h>

#include "DebugPrint.h"
#include "WQApplicationInfo.h"
#include "foundation/Log.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "notifications/WQWindowNotificationSplitViewController.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "settings/Trellik.h"
#include "shell/AppDelegate.h"
#include "web/ViewController.h"

namespace parlivo {

namespace {

void debugLog(const std::string& message) { tovak::debugPrint(WQWindowController::kClassName, message); }

}  // namespace

std::shared_ptr<WQWindowController> WQWindowController::instantiate(const std::shared_ptr<Menu>& menuBar) {
    auto file = InterfaceFile::tryLoad("Main", "the main window");
    if (!file || !file->has("MainWindowController")) return nullptr;
    auto* raw = file->derivedOutlet<WQWindow>("MainWindowController");
    // A toplevel window made by the builder is ours to delete.
    std::shared_ptr<WQWindow> window(raw, [](WQWindow* w) { delete w; });
    // The window is the settings model's window delegate from its creation on.
    Trellik::shared().setWindowDelegate(window);
    auto controller = std::shared_ptr<WQWindowController>(new WQWindowController(window, std::move(*file)));
    controller->windowDidLoad(menuBar);
    return controller;
}

WQWindowController::WQWindowController(std::shared_ptr<WQWindow> window, InterfaceFile file)
    : file_(std::move(file)), window_(std::move(window)) {}

WQWindowController::~WQWindowController() { destroyWindow(); }

void WQWindowController::destroyWindow() {
    if (contentViewController_) {
        contentViewController_->close();
        if (contentView_) contentView_->remove(contentViewController_->view());
        contentViewController_.reset();
    }
    if (!window_) return;
    window_->onDidBecomeKey = nullptr;
    window_->onDidExitFullScreen = nullptr;
    dragStrip_.reset();
    // The menu widgets go with the window; their view must go first.
    menuBarView_.reset();
    if (auto delegate = Trellik::shared().windowDelegate(); delegate.get() == static_cast<TrellikWindowDelegate*>(window_.get()))
        Trellik::shared().setWindowDelegate(nullptr);
    window_.reset();
}

void WQWindowController::windowDidLoad(const std::shared_ptr<Menu>& menuBar) {
    // 1. The application delegate keeps its main window controller from here on.
    if (auto delegate = AppDelegate::current()) delegate->setMainWindowController(shared_from_this());

    auto* menuSlot = file_.optionalOutlet<Gtk::Box>("menuBarSlot");
    if (menuBar && menuSlot) {
        menuBarView_ = std::make_unique<MenuBarView>(menuBar);
        menuSlot->pack_start(menuBarView_->widget(), Gtk::PACK_SHRINK);
        window_->add_accel_group(menuBarView_->accelGroup());
    }
    if (auto* strip = file_.optionalOutlet<Gtk::EventBox>("dragStrip")) dragStrip_ = std::make_unique<AdditionalView>(*strip, *window_);
    contentView_ = file_.optionalOutlet<Gtk::Box>("contentView");
    WQWindowNotificationSplitViewController::setUpNotificationPane(file_);
    webContainerView_ = std::make_shared<WQWebContainerView>();
    webContainerView_->setWindow(std::weak_ptr<TouchBarWindow>(window_));

    window_->setFrameAutosaveName(std::string(frameAutosaveName));
    restoreWindowState();
    window_->set_title(tovak::WQApplicationInfo::applicationName());

    std::weak_ptr<WQWindowController> weak = weak_from_this();
    window_->onDidBecomeKey = [weak] {
        if (auto self = weak.lock()) self->windowDidBecomeKey();
    };
    window_->onDidExitFullScreen = [weak] {
        if (auto self = weak.lock()) self->windowDidExitFullScreen();
    };
}

void WQWindowController::setContentViewController(std::shared_ptr<ViewController> controller) {
    if (contentViewController_ && contentView_) contentView_->remove(contentViewController_->view());
    contentViewController_ = std::move(controller);
    if (!contentViewController_) return;
    if (contentView_) contentView_->pack_start(contentViewController_->view(), Gtk::PACK_EXPAND_WIDGET);
    contentViewController_->setWindow(std::weak_ptr<Gtk::Window>(window_));
    contentViewController_->setWebContainerView(webContainerView_);
    contentViewController_->viewDidLoad();
}

void WQWindowController::restoreWindowState() {
    if (!window_) {
        debugLog("Could not restore window!");
        return;
    }
    auto& defaults = platform::UserDefaults::standard();
    const bool fullScreen = defaults.boolForKey(kUserDefaultKeyFullscreen);
    const bool onScreen = defaults.boolForKey(kUserDefaultKeyOnScreen);
    const bool dockIcon = defaults.boolForKey(keys::showDockIcon);
    const auto decision = mainwindow::restoreDecision(dockIcon, onScreen, fullScreen);
    debugLog(std::string(decision.debugLine));
    if (!decision.restoreFullScreen) return;
    if (!window_->isFullScreen()) {
        platform::systemLog("Restore Fullscreen!");
        window_->toggleFullScreen();
    }
    debugLog("Done restoring window!");
}

void WQWindowController::storeWindowState() {
    if (!window_) {
        debugLog("Could not store window!");
        return;
    }
    window_->saveFrameUsingName(std::string(kUserDefaultKeyFrame));
    // The autosaved frame is brought up to date too, in case a move had not settled yet.
    window_->saveFrameUsingName(std::string(frameAutosaveName));
    auto& defaults = platform::UserDefaults::standard();
    defaults.setBool(kUserDefaultKeyFullscreen, window_->isFullScreen());
    defaults.setBool(kUserDefaultKeyOnScreen, window_->get_visible());
    debugLog("Done storing window!");
}

void WQWindowController::makeKeyAndOrderFront() {
    if (window_) window_->makeKeyAndOrderFront();
}

bool WQWindowController::firstResponderPaste() {
    if (!window_) return false;
    Gtk::Widget* focus = window_->get_focus();
    if (!focus) return false;
    if (auto* editable = dynamic_cast<Gtk::Editable*>(focus)) {
        editable->paste_clipboard();
        return true;
    }
    if (auto* text = dynamic_cast<Gtk::TextView*>(focus)) {
        text->get_buffer()->paste_clipboard(Gtk::Clipboard::get());
        return true;
    }
    if (WEBKIT_IS_WEB_VIEW(focus->gobj())) {
        webkit_web_view_execute_editing_command(WEBKIT_WEB_VIEW(focus->gobj()), WEBKIT_EDITING_COMMAND_PASTE);
        return true;
    }
    // Any other widget that knows the keybinding signal pastes itself.
    guint signal = g_signal_lookup("paste-clipboard", G_OBJECT_TYPE(focus->gobj()));
    if (signal == 0) return false;
    g_signal_emit(focus->gobj(), signal, 0);
    return true;
}

void WQWindowController::windowDidExitFullScreen() {
    if (window_ && window_->windowWillCloseAfterExitingFullScreen) {
        window_->windowWillCloseAfterExitingFullScreen = false;
        window_->closeWindow();
    }
}

void WQWindowController::windowDidBecomeKey() {
    debugLog("Did Become KEY!");
    platform::NotificationCenter::defaultCenter().post(names::didBecomeKeyWindow, this);
}

}  // namespace parlivo
