#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/ObserverToken.h"
#include "settings/TrellikApplicationDelegate.h"
#include "shell/ApplicationHost.h"
#include "shell/MainMenu.h"
#include "shell/MainMenuController.h"
#include "settings/PasteDelegate.h"
#include "shell/WindowControllerHandles.h"
#include "system/VendorServices.h"

namespace parlivo {

// The application's delegate: runs the start-up in its fixed order (vendor stand-ins, the
// settings model, the main window, observers, menus), receives share URLs, answers reopen and
// saves the window state at quit. It also owns the main menu (whose logic and actions are its
// MainMenuController's), the preferences window and the about window. It knows no toolkit: the
// windows come from its ApplicationHost.
class SettingsWriteFailureNotice;

class AppDelegate : public TrellikApplicationDelegate,
                    public platform::UpdaterDelegate,
                    public std::enable_shared_from_this<AppDelegate> {
public:
    static constexpr std::string_view kClassName = "AppDelegate";
    static constexpr std::string_view kVisualStyleIdentifier = MainMenuController::kVisualStyleIdentifier;
    // The product's web page, shown by the about window.
    static constexpr std::string_view productWebsite = "https://www.vantreo.net/parlivo-for-whatsapp";

    static std::shared_ptr<AppDelegate> create(ApplicationHost& host);
    ~AppDelegate() override;

    // The program's delegate (null before the application made it); what other parts use to
    // reach it.
    static std::shared_ptr<AppDelegate> current();
    static void setCurrent(std::shared_ptr<AppDelegate> delegate);

    // Application life cycle.
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    bool applicationShouldOpenUntitledFile() const { return true; }
    bool applicationOpenUntitledFile();
    // Always false: the delegate did the reopen itself.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    // An open-URL event; `directObject` is the event's URL text, none when it had none.
    void handleURLEvent(const std::optional<std::string>& directObject);

    // Updater delegate.
    bool isUpdaterInTestMode() override { return false; }
    bool updaterShouldCheckForBetaUpdates() override;

    // Fields other parts use.
    const std::shared_ptr<MainWindowControllerHandle>& mainWindowController() const { return mainWindowController_; }
    void setMainWindowController(std::shared_ptr<MainWindowControllerHandle> controller);
    void setPasteDelegate(std::weak_ptr<PasteDelegate> delegate) override { menus_->setPasteDelegate(std::move(delegate)); }
    bool isShowingPreferences() const { return isShowingPreferences_; }
    const std::vector<std::shared_ptr<PreferencesWindowHandle>>& retainedWindowControllers() const {
        return retainedWindowControllers_;
    }
    const std::shared_ptr<AboutWindowHandle>& aboutWindowController() const { return aboutWindowController_; }
    MainMenu& mainMenu() { return menus_->menu(); }
    MainMenuController& menuController() { return *menus_; }

    // Menu set-up and state, by the menu controller.
    virtual void setupApplicationMenu() { menus_->setupApplicationMenu(); }
    virtual void setupNotificationObservers() { menus_->setupNotificationObservers(); }
    virtual void updateFileMenu() { menus_->updateFileMenu(); }
    virtual void updateVisualizationMenu() { menus_->updateVisualizationMenu(); }
    virtual void updateWindowMenu() { menus_->updateWindowMenu(); }
    void privacyChanged();

    // Menu actions, by the menu controller; the argument is the clicked item.
    void aboutClicked(MenuItem& sender) { menus_->aboutClicked(sender); }
    void menuReloadClicked(MenuItem& sender) { menus_->menuReloadClicked(sender); }
    void menuLogoutClicked(MenuItem& sender) { menus_->menuLogoutClicked(sender); }
    void menuHelpClicked(MenuItem& sender) { menus_->menuHelpClicked(sender); }
    void menuPreferencesClicked(MenuItem& sender) { menus_->menuPreferencesClicked(sender); }
    void visualMenuItemClicked(MenuItem& sender) { menus_->visualMenuItemClicked(sender); }
    void pasteAction(MenuItem& sender) { menus_->pasteAction(sender); }
    void applicationMenuItemClicked(MenuItem& sender) { menus_->applicationMenuItemClicked(sender); }
    void fileMenuItemClicked(MenuItem& sender) { menus_->fileMenuItemClicked(sender); }
    void windowMenuItemClicked(MenuItem& sender) { menus_->windowMenuItemClicked(sender); }
    void helpMenuItemClicked(MenuItem& sender) { menus_->helpMenuItemClicked(sender); }

    // Preferences window and about request.
    void showPreferencesWindow() override;
    // Through the host: the "Need help?" prompt, and word that an address could not be opened.
    void showSupportAlert() override;
    void couldNotOpenAddress(const std::string& address);
    void showAbout();
    // "Version 1.2 (105.7)": marketing version, then build and configuration version.
    static std::string aboutVersionText();

protected:
    explicit AppDelegate(ApplicationHost& host);

private:
    // The steps of applicationDidFinishLaunching.
    void startVendorServices();
    void connectToSettingsModel();
    void makeMainWindow();
    void observePrivacyAndAboutRequests();
    void enableTouchBarCustomization();
    void showMainWindowAfterLaunch();
    void closePreferencesWindows();
    void watchSettingsWrites();

    ApplicationHost& host_;
    std::shared_ptr<MainWindowControllerHandle> mainWindowController_;
    std::shared_ptr<MainMenuController> menus_;
    std::vector<std::shared_ptr<PreferencesWindowHandle>> retainedWindowControllers_;
    bool isShowingPreferences_ = false;
    std::shared_ptr<AboutWindowHandle> aboutWindowController_;
    std::vector<platform::ObserverToken> observers_;
    std::unique_ptr<SettingsWriteFailureNotice> settingsWriteNotice_;
};

}  // namespace parlivo
