#pragma once

#include <memory>

#include <gtkmm/application.h>
#include <gtkmm/messagedialog.h>

#include "shell/AppDelegate.h"
#include "shell/ApplicationHost.h"

namespace parlivo {

class WQWindowController;

// The program's Gtk::Application: owns the bus name "net.vantreo.mac.WhatsApp", so a second
// start reaches the running instance instead of starting another process. It maps the
// application's life to its delegate: "startup" is will-finish-launching, the first
// activation finishes launching, a later one is a reopen, "open" brings share URLs and
// "shutdown" is terminate. It also makes the windows the delegate asks for.
class Application : public Gtk::Application, public ApplicationHost {
public:
    static Glib::RefPtr<Application> create();

    // Saves the launch arguments, then runs the main loop. Returns the exit status.
    static int runMain(int argc, char** argv);

    const std::shared_ptr<AppDelegate>& delegate() const { return delegate_; }

    // ApplicationHost
    std::shared_ptr<MainWindowControllerHandle> instantiateMainWindowController() override;
    std::shared_ptr<PreferencesWindowHandle> makePreferencesWindowController(
        const std::vector<std::string>& paneIdentifiers, const std::string& title) override;
    std::shared_ptr<AboutWindowHandle> makeAboutWindowController() override;
    void setAutomaticCustomizeTouchBarMenuItemEnabled(bool enabled) override { touchBarCustomization_ = enabled; }
    bool isAutomaticCustomizeTouchBarMenuItemEnabled() const override { return touchBarCustomization_; }
    std::vector<std::string> pasteboardTypes() const override;
    void hideApplication() override;
    void terminate() override;
    void closeKeyWindow() override;
    void minimizeKeyWindow() override;
    void toggleFullScreen() override;
    void editCommand(const std::string& command) override;
    void showInformation(const std::string& message) override;
    void showAlert(const std::string& title, const std::string& message) override;
    void presentSupportAlert(std::function<void(int response)> onResponse) override;

    // The one information dialog (the update check's answer), while it is shown.
    Gtk::MessageDialog* informationDialog() const { return information_.get(); }

protected:
    Application();
    void on_startup() override;
    void on_activate() override;
    void on_open(const type_vec_files& files, const Glib::ustring& hint) override;
    void shutdown();

private:
    void finishLaunchingOnce();
    WQWindowController* mainController() const;
    Gtk::Window* mainWindow() const;
    // Lets go of a dialog on a later turn: it may be inside its own signal handler now.
    static void disposeLater(std::unique_ptr<Gtk::MessageDialog> dialog);

    std::shared_ptr<AppDelegate> delegate_;
    bool launched_ = false;
    bool touchBarCustomization_ = false;
    std::unique_ptr<Gtk::MessageDialog> information_;
};

}  // namespace parlivo
