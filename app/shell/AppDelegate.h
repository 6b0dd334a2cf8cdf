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
#include "settings/PasteDelegate.h"
#include "shell/WindowControllerHandles.h"
#include "system/VendorServices.h"

namespace parlivo {

// The application's delegate: runs the start-up in its fixed order (vendor stand-ins, the
// settings model, the main window, observers, menus), receives share URLs, answers reopen and
// saves the window state at quit. It also owns the main menu's logic and actions, the
// preferences window and the about window. It knows no toolkit: the windows come from its
// ApplicationHost.
class SettingsWriteFailureNotice;

class AppDelegate : public TrellikApplicationDelegate,
                    public platform::UpdaterDelegate,
                    public std::enable_shared_from_this<AppDelegate> {
public:
    static constexpr std::string_view kClassName = "AppDelegate";
    static constexpr std::string_view kVisualStyleIdentifier = "VisualStyle";
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
    void setPasteDelegate(std::weak_ptr<PasteDelegate> delegate) override { pasteDelegate_ = std::move(delegate); }
    bool isShowingPreferences() const { return isShowingPreferences_; }
    const std::vector<std::shared_ptr<PreferencesWindowHandle>>& retainedWindowControllers() const {
        return retainedWindowControllers_;
    }
    const std::shared_ptr<AboutWindowHandle>& aboutWindowController() const { return aboutWindowController_; }
    MainMenu& mainMenu() { return menu_; }

    // Menu set-up and state.
    virtual void setupApplicationMenu();
    virtual void setupNotificationObservers();
    virtual void updateFileMenu();
    virtual void updateVisualizationMenu();
    virtual void updateWindowMenu();
    void privacyChanged();

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
    void helpMenuItemClicked(MenuItem& sender) {}

    // Preferences window and about request.
    void showPreferencesWindow() override;
    // Through the host: the "Need help?" prompt, and word that an address could not be opened.
    void presentSupportAlert(std::function<void(int response)> onResponse) override;
    void couldNotOpenAddress(const std::string& address) override;
    void showAbout();
    // "Version 1.2 (105.7)": marketing version, then build and configuration version.
    static std::string aboutVersionText();

protected:
    explicit AppDelegate(ApplicationHost& host);

private:
    void connectMenuActions();
    // The steps of applicationDidFinishLaunching.
    void startVendorServices();
    void connectToSettingsModel();
    void makeMainWindow();
    void observePrivacyAndAboutRequests();
    void enableTouchBarCustomization();
    void showMainWindowAfterLaunch();
    void closePreferencesWindows();
    void enablePageCommands(bool enabled);
    void watchSettingsWrites();
    static bool privacyLockdownStored();

    ApplicationHost& host_;
    MainMenu menu_;
    std::shared_ptr<MainWindowControllerHandle> mainWindowController_;
    std::vector<std::shared_ptr<PreferencesWindowHandle>> retainedWindowControllers_;
    bool isShowingPreferences_ = false;
    std::shared_ptr<AboutWindowHandle> aboutWindowController_;
    std::weak_ptr<PasteDelegate> pasteDelegate_;
    std::vector<platform::ObserverToken> observers_;
    std::unique_ptr<SettingsWriteFailureNotice> settingsWriteNotice_;
};

}  // namespace parlivo
