#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/ObserverToken.h"
#include "settings/PasteDelegate.h"
#include "shell/ApplicationHost.h"
#include "shell/MainMenu.h"
#include "shell/WindowControllerHandles.h"

namespace parlivo {

// The main menu's logic: connects every item to its action, keeps the items' titles, checks and
// enabled states in step with the settings, and carries out what the items ask for (through the
// settings model, the page and the host). Owned by the application delegate, which hands it the
// main window for paste. Main thread only.
class MainMenuController : public std::enable_shared_from_this<MainMenuController> {
public:
    static constexpr std::string_view kVisualStyleIdentifier = "VisualStyle";

    // `mainWindow` answers the current main window (may be null); `owner` is the object the
    // about request is posted with.
    static std::shared_ptr<MainMenuController> create(
        ApplicationHost& host, std::function<std::shared_ptr<MainWindowControllerHandle>()> mainWindow,
        const void* owner);
    MainMenuController(const MainMenuController&) = delete;
    MainMenuController& operator=(const MainMenuController&) = delete;

    MainMenu& menu() { return menu_; }
    void setPasteDelegate(std::weak_ptr<PasteDelegate> delegate) { pasteDelegate_ = std::move(delegate); }

    // Set-up and state.
    void setupApplicationMenu();
    void setupNotificationObservers();
    void updateFileMenu();
    void updateVisualizationMenu();
    void updateWindowMenu();
    // Behind the lock no command may reach the page or its data.
    void enablePageCommands(bool enabled);

    // Menu actions; the argument is the clicked item.
    void aboutClicked(MenuItem& sender);
    void menuReloadClicked(MenuItem& sender);
    void menuLogoutClicked(MenuItem& sender);
    void menuHelpClicked(MenuItem& sender);
    void menuPreferencesClicked(MenuItem& sender);
    void visualMenuItemClicked(MenuItem& sender);
    void pasteAction(MenuItem& sender);
    void applicationMenuItemClicked(MenuItem& sender);
    void fileMenuItemClicked(MenuItem& sender);
    void windowMenuItemClicked(MenuItem& sender);
    void helpMenuItemClicked(MenuItem&) {}

private:
    MainMenuController(ApplicationHost& host, std::function<std::shared_ptr<MainWindowControllerHandle>()> mainWindow,
                       const void* owner);
    void connectMenuActions();

    ApplicationHost& host_;
    std::function<std::shared_ptr<MainWindowControllerHandle>()> mainWindow_;
    const void* owner_;
    MainMenu menu_;
    std::weak_ptr<PasteDelegate> pasteDelegate_;
    std::vector<platform::ObserverToken> observers_;
};

}  // namespace parlivo
