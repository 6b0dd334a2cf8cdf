#include "shell/MainMenu.h"

#include "foundation/Localized.h"

namespace parlivo {

namespace {

std::shared_ptr<MenuItem> item(const char* key, const char* title, const char* accelerator = "") {
    return std::make_shared<MenuItem>(platform::localized(key, title), accelerator);
}

std::shared_ptr<MenuItem> checkItem(const char* key, const char* title, const char* accelerator = "") {
    auto made = item(key, title, accelerator);
    made->setCheckable(true);
    return made;
}

std::shared_ptr<MenuItem> submenu(const char* key, const char* title,
                                  std::initializer_list<std::shared_ptr<MenuItem>> items) {
    auto menuItem = item(key, title);
    auto menu = std::make_shared<Menu>(menuItem->title());
    for (auto& entry : items) menu->addItem(entry);
    menuItem->setSubmenu(menu);
    return menuItem;
}

}  // namespace

MainMenu::MainMenu() {
    bar = std::make_shared<Menu>();

    aboutMenuItem = item("MENU_ABOUT", "About Ambrel for WhatsApp");
    checkForUpdateMenuItem = item("MENU_CHECK_FOR_UPDATES", "Check for Updates…");
    menuItemPreferences = item("MENU_PREFERENCES", "Preferences…", "<Primary>comma");
    hideMenuItem = item("MENU_HIDE", "Hide Ambrel for WhatsApp", "<Primary>h");
    quitMenuItem = item("MENU_QUIT", "Quit Ambrel for WhatsApp", "<Primary>q");
    applicationMenuItem = submenu("MENU_APPLICATION", "Ambrel for WhatsApp",
                                  {aboutMenuItem, checkForUpdateMenuItem, MenuItem::separator(),
                                   menuItemPreferences, MenuItem::separator(), hideMenuItem,
                                   MenuItem::separator(), quitMenuItem});

    fileNewChat = item("MENU_NEW_CHAT", "New Chat", "<Primary>n");
    fileNewGroup = item("MENU_NEW_GROUP", "New Group", "<Primary><Shift>n");
    fileProfileAndStatus = item("MENU_PROFILE_AND_STATUS", "Profile and Status", "<Primary><Shift>p");
    showArchive = item("MENU_ARCHIVE", "Archive", "<Primary><Shift>a");
    showActiveContacts = item("MENU_ACTIVE_CONTACTS", "Active Contacts");
    fileDoNotDisturb = checkItem("MENU_DO_NOT_DISTURB", "Do Not Disturb", "<Primary><Shift>d");
    closeWindowMenuItem = item("MENU_CLOSE_WINDOW", "Close Window", "<Primary>w");
    logoutMenuItem = item("MENU_LOG_OUT", "Log Out");
    fileMenu = submenu("MENU_FILE", "File",
                       {fileNewChat, fileNewGroup, fileProfileAndStatus, showArchive, showActiveContacts,
                        MenuItem::separator(), fileDoNotDisturb, MenuItem::separator(), closeWindowMenuItem,
                        logoutMenuItem});

    undoMenuItem = item("MENU_UNDO", "Undo", "<Primary>z");
    redoMenuItem = item("MENU_REDO", "Redo", "<Primary><Shift>z");
    cutMenuItem = item("MENU_CUT", "Cut", "<Primary>x");
    copyMenuItem = item("MENU_COPY", "Copy", "<Primary>c");
    pasteMenuItem = item("MENU_PASTE", "Paste", "<Primary>v");
    selectAllMenuItem = item("MENU_SELECT_ALL", "Select All", "<Primary>a");
    editMenu = submenu("MENU_EDIT", "Edit",
                       {undoMenuItem, redoMenuItem, MenuItem::separator(), cutMenuItem, copyMenuItem,
                        pasteMenuItem, selectAllMenuItem});

    reloadMenuItem = item("MENU_RELOAD", "Reload", "<Primary>r");
    stealthModeActive = checkItem("MENU_STEALTH_MODE", "Stealth Mode", "<Primary><Shift>s");
    stealthModeRaise = item("MENU_STEALTH_RAISE", "Increase Opacity", "<Primary><Shift>Up");
    stealthModeLower = item("MENU_STEALTH_LOWER", "Decrease Opacity", "<Primary><Shift>Down");
    visualStyleMenuItem = submenu("MENU_VISUAL_STYLE", "Visual Style", {});
    visualizationStyleMenu = visualStyleMenuItem->submenu();
    fullScreenMenuItem = item("MENU_FULL_SCREEN", "Toggle Full Screen", "F11");
    viewMenu = submenu("MENU_VIEW", "View",
                       {reloadMenuItem, MenuItem::separator(), stealthModeActive, stealthModeRaise,
                        stealthModeLower, MenuItem::separator(), visualStyleMenuItem, MenuItem::separator(),
                        fullScreenMenuItem});

    minimizeMenuItem = item("MENU_MINIMIZE", "Minimize", "<Primary>m");
    alwaysOnTop = checkItem("MENU_ALWAYS_ON_TOP", "Always on Top", "<Primary><Shift>t");
    windowMenu = submenu("MENU_WINDOW", "Window", {minimizeMenuItem, MenuItem::separator(), alwaysOnTop});

    supportMenuItem = item("MENU_NEED_HELP", "Need Help?");
    helpMenuItem = item("MENU_HELP", "Ambrel for WhatsApp Help");
    helpMenu = submenu("MENU_HELP_MENU", "Help", {supportMenuItem, helpMenuItem});

    debugReloadMenuItem = item("MENU_DEBUG_RELOAD", "Reload Web Client");
    debugMenu = submenu("MENU_DEBUG", "Debug", {debugReloadMenuItem});

    for (auto& top : {applicationMenuItem, fileMenu, editMenu, viewMenu, windowMenu, helpMenu, debugMenu})
        bar->addItem(top);
}

std::vector<std::shared_ptr<MenuItem>> MainMenu::pageCommands() const {
    return {menuItemPreferences, fileNewChat,       fileNewGroup,        fileProfileAndStatus, showArchive,
            showActiveContacts,  fileDoNotDisturb,  logoutMenuItem,      reloadMenuItem,       stealthModeActive,
            stealthModeRaise,    stealthModeLower,  visualStyleMenuItem, debugReloadMenuItem};
}

}  // namespace parlivo
