#pragma once

#include <functional>
#include <string>

#include <gtkmm/applicationwindow.h>
#include <gtkmm/builder.h>

#include "foundation/ObserverToken.h"
#include "foundation/Timer.h"
#include "privacy/ShakableWindow.h"
#include "settings/TrellikWindowDelegate.h"
#include "shell/MainWindowLogic.h"
#include "shell/TouchBarWindow.h"

namespace parlivo {

// The one main window. Closing hides it (minimizes it while no tray can bring it back); it
// follows the settings model as its window delegate (tray and launcher clicks, shortcut, stealth
// opacity, always on top, taskbar hints), clears the unread state when it becomes active and
// saves its frame under its autosave name.
class WQWindow : public Gtk::ApplicationWindow,
                 public TrellikWindowDelegate,
                 public TouchBarWindow,
                 public ShakableWindow {
public:
    static constexpr std::string_view kClassName = "WQWindow";

    WQWindow(BaseObjectType* object, const Glib::RefPtr<Gtk::Builder>& builder);
    ~WQWindow() override;

    bool windowWillCloseAfterExitingFullScreen = false;
    bool windowIsVisibleBeforePolicyChange = true;

    // TrellikWindowDelegate
    void handleStatusButtonClick() override;
    void handleDockButtonClick() override;
    void showWindow() override;
    void handleShortcut() override;
    void applyStealthMode() override;
    void willChangeActivationPolicy(ActivationPolicy current, ActivationPolicy next) override;
    void didChangeActivationPolicy(ActivationPolicy current, ActivationPolicy set) override;
    void applyWindowMode() override;

    // TouchBarWindow
    bool isFullScreen() const override { return fullScreen_; }
    void toggleFullScreen() override;

    // "Key window": the window has the focus.
    bool isKeyWindow() const { return is_active(); }
    // What the tray click and the global shortcut go by: the window is in front of the user,
    // shown (not minimized) and the one the keyboard went to just before the click or press.
    bool isFrontForUser() const;
    // Whether a tray host shows the program's item, which can bring a hidden window back.
    static bool trayCanBringBack();
    bool isWindowVisible() const { return get_visible(); }
    // Shows the window, raises it, gives it the focus and announces it.
    void makeKeyAndOrderFront();
    // Takes the window out of sight, the program running on: hidden while the tray shows the
    // program's item, else minimized (so the taskbar can bring it back).
    void closeWindow();
    // The level the window mode set: 0 normal, 3 floating (keep above).
    int level() const { return level_; }
    void setLevel(int level);
    double alphaValue() const { return get_opacity(); }

    // Frame autosave: from now on the frame is saved under `name` whenever it changes; a frame
    // saved earlier under it is applied at once. Returns whether one was applied.
    bool setFrameAutosaveName(const std::string& name);
    const std::string& frameAutosaveName() const { return autosaveName_; }
    bool setFrameUsingName(const std::string& name);
    void saveFrameUsingName(const std::string& name);
    WindowFrame frame() const;

    // The shake after a wrong password.
    void shake() override;
    bool isShaking() const { return shakeTimer_ && shakeTimer_->isValid(); }

    // The controller's hooks: the window became active / left full screen.
    std::function<void()> onDidBecomeKey;
    std::function<void()> onDidExitFullScreen;

protected:
    bool on_delete_event(GdkEventAny* event) override;
    bool on_window_state_event(GdkEventWindowState* event) override;
    bool on_configure_event(GdkEventConfigure* event) override;
    void on_hide() override;

private:
    void becomeKeyWindow();
    void applyActivationPolicyHints(ActivationPolicy policy);
    void scheduleFrameSave();
    void activateIgnoringOtherApps();

    bool fullScreen_ = false;
    int level_ = 0;
    std::string autosaveName_;
    WindowFrame lastFrame_;
    std::shared_ptr<platform::Timer> frameSaveTimer_;
    std::shared_ptr<platform::Timer> shakeTimer_;
    sigc::connection activeConnection_;
    platform::ObserverToken trayObserver_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace parlivo
