#pragma once

#include <functional>
#include <optional>
#include <string>

namespace parlivo {

// What the application delegate needs of the windows it owns. The GTK windows implement these;
// tests give fakes, so the delegate's logic runs without a display.

// Window levels, as the window mode sets them.
inline constexpr int normalWindowLevel = 0;
inline constexpr int floatingWindowLevel = 3;

class MainWindowControllerHandle {
public:
    virtual ~MainWindowControllerHandle() = default;
    // True for the program's own main window controller (the one that stores window state).
    virtual bool isWQWindowController() const { return true; }
    virtual bool hasWindow() const = 0;
    virtual bool isWindowVisible() const = 0;
    // Shows the window, brings it to the front and gives it the keyboard focus.
    virtual void makeKeyAndOrderFront() = 0;
    virtual int windowLevel() const = 0;
    // Frame, full-screen and on-screen flags, at quit.
    virtual void storeWindowState() = 0;
    // The focused widget of the main window pastes; false when there is none or it cannot.
    virtual bool firstResponderPaste() = 0;
};

class PreferencesWindowHandle {
public:
    virtual ~PreferencesWindowHandle() = default;
    virtual bool hasWindow() const = 0;
    virtual std::string windowTitle() const = 0;
    virtual void showWindow() = 0;
    virtual void setLevel(int level) = 0;
    // The preferences always use the light appearance, whatever the main window's style.
    virtual void useLightAppearance() = 0;
    // Called once when the window is about to close (by the user or by close()).
    virtual void setWillCloseHandler(std::function<void()> handler) = 0;
    virtual void close() = 0;
};

class AboutWindowHandle {
public:
    virtual ~AboutWindowHandle() = default;
    virtual void setAppWebsiteURL(std::optional<std::string> url) = 0;
    virtual void setUseTextViewForAcknowledgments(bool on) = 0;
    virtual void setAppVersion(std::string version) = 0;
    virtual void showWindow() = 0;
};

}  // namespace parlivo
