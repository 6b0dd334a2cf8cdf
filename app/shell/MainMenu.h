#pragma once

#include <memory>
#include <vector>

#include "shell/MenuItem.h"

namespace parlivo {

// The main menu as the interface file would lay it out, with the items the application delegate
// works on by name. Titles carry the placeholder "Ambrel for WhatsApp", which start-up replaces
// with the application's name. Actions are connected by the application delegate.
struct MainMenu {
    MainMenu();

    // The commands that reach the page or its data (the page's own commands, log-out, reload,
    // the settings the page follows, the preferences): all off while the privacy lock is on.
    // What stays is what the lock screen needs (the edit commands on its field), the window
    // commands, About, Help and Quit.
    std::vector<std::shared_ptr<MenuItem>> pageCommands() const;

    std::shared_ptr<Menu> bar;  // the top-level menus, in order

    // Application menu.
    std::shared_ptr<MenuItem> applicationMenuItem;
    std::shared_ptr<MenuItem> aboutMenuItem;
    std::shared_ptr<MenuItem> checkForUpdateMenuItem;
    std::shared_ptr<MenuItem> menuItemPreferences;
    std::shared_ptr<MenuItem> hideMenuItem;
    std::shared_ptr<MenuItem> quitMenuItem;
    // File menu.
    std::shared_ptr<MenuItem> fileMenu;
    std::shared_ptr<MenuItem> fileNewChat;
    std::shared_ptr<MenuItem> fileNewGroup;
    std::shared_ptr<MenuItem> fileProfileAndStatus;
    std::shared_ptr<MenuItem> showArchive;
    std::shared_ptr<MenuItem> showActiveContacts;
    std::shared_ptr<MenuItem> fileDoNotDisturb;
    std::shared_ptr<MenuItem> closeWindowMenuItem;
    std::shared_ptr<MenuItem> logoutMenuItem;
    // Edit menu.
    std::shared_ptr<MenuItem> editMenu;
    std::shared_ptr<MenuItem> undoMenuItem;
    std::shared_ptr<MenuItem> redoMenuItem;
    std::shared_ptr<MenuItem> cutMenuItem;
    std::shared_ptr<MenuItem> copyMenuItem;
    std::shared_ptr<MenuItem> pasteMenuItem;
    std::shared_ptr<MenuItem> selectAllMenuItem;
    // View menu: reload, stealth items, visual styles, full screen.
    std::shared_ptr<MenuItem> viewMenu;
    std::shared_ptr<MenuItem> reloadMenuItem;
    std::shared_ptr<MenuItem> stealthModeActive;
    std::shared_ptr<MenuItem> stealthModeRaise;
    std::shared_ptr<MenuItem> stealthModeLower;
    std::shared_ptr<MenuItem> visualStyleMenuItem;
    std::shared_ptr<Menu> visualizationStyleMenu;
    std::shared_ptr<MenuItem> fullScreenMenuItem;
    // Window menu.
    std::shared_ptr<MenuItem> windowMenu;
    std::shared_ptr<MenuItem> minimizeMenuItem;
    std::shared_ptr<MenuItem> alwaysOnTop;
    // Help menu.
    std::shared_ptr<MenuItem> helpMenu;
    std::shared_ptr<MenuItem> helpMenuItem;
    std::shared_ptr<MenuItem> supportMenuItem;
    // Debug menu (hidden at every launch).
    std::shared_ptr<MenuItem> debugMenu;
    std::shared_ptr<MenuItem> debugReloadMenuItem;
};

}  // namespace parlivo
