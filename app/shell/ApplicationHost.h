#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/WindowControllerHandles.h"

namespace parlivo {

// The windowing side the application delegate runs on: makes the windows the interface files
// describe and carries out the toolkit's standard commands. The GTK application implements it;
// tests give a recording fake.
class ApplicationHost {
public:
    virtual ~ApplicationHost() = default;

    // The main window controller from the interface file "Main", identifier
    // "MainWindowController"; null when the file does not hold one.
    virtual std::shared_ptr<MainWindowControllerHandle> instantiateMainWindowController() = 0;
    // A preferences window with the panes of the given identifiers, in that order.
    virtual std::shared_ptr<PreferencesWindowHandle> makePreferencesWindowController(
        const std::vector<std::string>& paneIdentifiers, const std::string& title) = 0;
    virtual std::shared_ptr<AboutWindowHandle> makeAboutWindowController() = 0;

    // Whether the user may customize touch bars (kept in the touch-bar model; nothing is drawn).
    virtual void setAutomaticCustomizeTouchBarMenuItemEnabled(bool enabled) = 0;
    virtual bool isAutomaticCustomizeTouchBarMenuItemEnabled() const = 0;

    // The general clipboard's offered types, for the paste log line.
    virtual std::vector<std::string> pasteboardTypes() const = 0;

    // Standard commands of the menus.
    virtual void hideApplication() = 0;
    virtual void terminate() = 0;
    virtual void closeKeyWindow() = 0;
    virtual void minimizeKeyWindow() = 0;
    virtual void toggleFullScreen() = 0;
    // "cut", "copy", "select-all", "undo", "redo" on the focused widget.
    virtual void editCommand(const std::string& command) = 0;
    // Tells the user something (the update check's answer).
    virtual void showInformation(const std::string& message) = 0;
    // Tells the user about a failure: `title` in bold, `message` below, over the main window.
    virtual void showAlert(const std::string& title, const std::string& message) {}
    // The "Need help?" prompt; `onResponse` gets the chosen button (SupportAlertResponse).
    virtual void presentSupportAlert(std::function<void(int response)> onResponse) {}
};

}  // namespace parlivo
