#pragma once

#include <memory>
#include <string_view>

#include <gtkmm/box.h>

#include "controls/InterfaceFile.h"
#include "shell/AdditionalView.h"
#include "shell/MenuBarView.h"
#include "shell/WQWebContainerView.h"
#include "shell/WQWindow.h"
#include "shell/WindowControllerHandles.h"

namespace parlivo {

class ViewController;

// The main window's controller: made from the interface file "Main" under the identifier
// "MainWindowController". Names the window, saves its frame under "mainWindow", puts it back
// into full screen at start when it was there at the last quit (tray-only mode), records its
// state at quit and announces each time it becomes active.
class WQWindowController : public MainWindowControllerHandle,
                           public std::enable_shared_from_this<WQWindowController> {
public:
    static constexpr std::string_view kClassName = "WQWindowController";
    static constexpr std::string_view kUserDefaultKeyFrame = "mainWindow.frame";
    static constexpr std::string_view kUserDefaultKeyFullscreen = "mainWindow.fullScreen";
    static constexpr std::string_view kUserDefaultKeyOnScreen = "mainWindow.isOnScreen";
    static constexpr std::string_view frameAutosaveName = "mainWindow";

    // Loads the interface file and makes the controller; null when the file holds no main
    // window. `menuBar` (optional) is shown at the top of the window.
    static std::shared_ptr<WQWindowController> instantiate(const std::shared_ptr<Menu>& menuBar);
    ~WQWindowController() override;

    WQWindow* window() const { return window_.get(); }
    Gtk::Box* contentView() const { return contentView_; }
    AdditionalView* dragStrip() const { return dragStrip_.get(); }

    void restoreWindowState();

    // The view controller of the window's content (the web client host); its view fills the
    // content area and its start sequence runs at once.
    void setContentViewController(std::shared_ptr<ViewController> controller);

    // MainWindowControllerHandle
    bool hasWindow() const override { return static_cast<bool>(window_); }
    bool isWindowVisible() const override { return window_ && window_->get_visible(); }
    void makeKeyAndOrderFront() override;
    int windowLevel() const override { return window_ ? window_->level() : 0; }
    void storeWindowState() override;
    bool firstResponderPaste() override;

    // Closes the window for good (program shutdown).
    void destroyWindow();

private:
    WQWindowController(std::shared_ptr<WQWindow> window, InterfaceFile file);
    void windowDidLoad(const std::shared_ptr<Menu>& menuBar);
    void windowDidExitFullScreen();
    void windowDidBecomeKey();

    InterfaceFile file_;
    std::unique_ptr<MenuBarView> menuBarView_;
    std::unique_ptr<AdditionalView> dragStrip_;
    std::shared_ptr<WQWebContainerView> webContainerView_;
    Gtk::Box* contentView_ = nullptr;
    std::shared_ptr<ViewController> contentViewController_;
    std::shared_ptr<WQWindow> window_;
};

}  // namespace parlivo
