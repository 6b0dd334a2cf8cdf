#include "shell/Application.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include <gdk/gdk.h>
#include <glib-unix.h>
#include <gtkmm/clipboard.h>
#include <gtkmm/editable.h>
#include <gtkmm/icontheme.h>
#include <gtkmm/messagedialog.h>
#include <gtkmm/textview.h>
#include <webkit2/webkit2.h>

#include "WQApplicationInfo.h"
#include "foundation/Bundle.h"
#include "foundation/Localized.h"
#include "foundation/Log.h"
#include "foundation/MainQueue.h"
#include "foundation/ProcessInfo.h"
#include "foundation/UserDefaults.h"
#include "system/LoginItems.h"
#include "system/URLSession.h"
#include "preferences/PreferencePanes.h"
#include "settings/Trellik.h"
#include "ui/Appearance.h"
#include "shell/CommandLine.h"
#include "shell/KeyWindow.h"
#include "shell/PreferencesWindowController.h"
#include "shell/SupportAlert.h"
#include "shell/TrellikParts.h"
#include "shell/VEXAboutWindowController.h"
#include "shell/WQWindow.h"
#include "shell/WQWindowController.h"
#include "web/ViewController.h"

namespace parlivo {

namespace {

// Help, the version and unknown options are answered before anything else: GTK itself needs a
// display before any option is read, and a program that only answers must neither open a window
// nor take the bus name from a running copy. An unknown option ends the program with status 2
// (a usage error) rather than starting a copy the user did not ask for: no launcher of ours
// passes one, so it is a typing mistake such as "-debug" for "-de".
std::optional<int> answerCommandLine(const std::vector<std::string>& arguments) {
    const CommandLine line(arguments);
    switch (line.request()) {
    case CommandLine::Request::help:
        std::fputs(CommandLine::helpText(tovak::WQApplicationInfo::applicationName()).c_str(), stdout);
        return 0;
    case CommandLine::Request::version:
        // The marketing version, then the build (the names are the platform's, crossed).
        std::printf("%s %s (%s)\n", tovak::WQApplicationInfo::applicationName().c_str(),
                    tovak::WQApplicationInfo::bundleVersionString().c_str(),
                    tovak::WQApplicationInfo::bundleShortVersionString().c_str());
        return 0;
    case CommandLine::Request::unknownOptions:
        std::fputs(line.unknownOptionsText().c_str(), stderr);
        return 2;
    case CommandLine::Request::start:
        break;
    }
    return std::nullopt;
}

// The program's icons (the tray's among them) are installed into the hicolor theme beside its
// resources. That share folder goes in front of XDG_DATA_DIRS, so the icon theme finds them in a
// build tree and under any prefix, for this process and the programs it starts.
void putOurShareFolderIntoDataDirs() {
    std::error_code error;
    const auto share = std::filesystem::weakly_canonical(platform::Bundle::main().resourcePath() / "..", error);
    if (error || !std::filesystem::is_directory(share / "icons", error)) return;
    const char* current = std::getenv("XDG_DATA_DIRS");
    const std::string dirs = current && *current ? current : "/usr/local/share/:/usr/share/";
    const std::string ours = share.string();
    for (std::size_t start = 0; start <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        std::string entry = dirs.substr(start, end - start);
        while (entry.size() > 1 && entry.back() == '/') entry.pop_back();
        if (entry == ours) return;
        start = end + 1;
    }
    g_setenv("XDG_DATA_DIRS", (ours + ":" + dirs).c_str(), TRUE);
}

}  // namespace

Application::Application() : Gtk::Application("net.vantreo.mac.WhatsApp", Gio::APPLICATION_HANDLES_OPEN) {
    signal_shutdown().connect([this] { shutdown(); }, false);
}

Glib::RefPtr<Application> Application::create() { return Glib::RefPtr<Application>(new Application()); }

int Application::runMain(int argc, char** argv) {
    // Our own launch arguments ("-de", "-beta", ...) are saved first; GApplication only sees
    // the program name and the URLs or files it should open.
    platform::ProcessInfo::saveArguments(argc, argv);
    if (auto status = answerCommandLine(platform::ProcessInfo::arguments())) return *status;
    std::vector<std::string> forGtk = platform::ProcessInfo::openableArguments();
    putOurShareFolderIntoDataDirs();
    std::vector<char*> gtkArgv;
    for (auto& arg : forGtk) gtkArgv.push_back(arg.data());
    gtkArgv.push_back(nullptr);
    // Keep-above, window placement, the drag strip, the global shortcut and the idle time all
    // need X11; in a Wayland session the program runs through XWayland.
    gdk_set_allowed_backends("x11,*");
    auto app = create();
    // The login item starts us without activation. When a copy already runs (it was slow to
    // answer the login item's ping), that start must not bring its window up as a user's second
    // start would: it just ends.
    if (platform::ProcessInfo::hasArgument(std::string(platform::LoginItems::kLaunchedAtLoginArgument))) {
        try {
            app->register_application();
        } catch (const Glib::Error&) {
            // No session bus: run() reports it.
        }
        if (app->is_registered() && app->is_remote()) {
            platform::systemLog("Started at login while already running: nothing to do");
            return 0;
        }
    }
    // A session that ends, or a kill, is a quit: the window state is saved on the way out.
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        g_unix_signal_add(signal, [](gpointer data) -> gboolean {
            static_cast<Application*>(data)->quit();
            return G_SOURCE_CONTINUE;
        }, app.get());
    }
    const int status = app->run(static_cast<int>(forGtk.size()), gtkArgv.data());
    // Downloads still under way (a configuration request, a page's file) stop before the exit
    // handlers tear down OpenSSL under them.
    platform::URLSession::endAllTransfers(3.0);
    return status;
}

void Application::on_startup() {
    Gtk::Application::on_startup();
    // Every window (taskbar, window switcher, about page) shows the icon the desktop file names.
    // The icon folder beside our resources comes first, so a build tree or a prefix outside
    // XDG_DATA_DIRS shows it too.
    const auto icons = platform::Bundle::main().resourcePath() / ".." / "icons";
    if (std::filesystem::is_directory(icons)) Gtk::IconTheme::get_default()->prepend_search_path(icons.string());
    Gtk::Window::set_default_icon_name(tovak::WQApplicationInfo::bundleIdentifier());
    // The desktop's light or dark preference is read now, without waiting, so that it is known
    // by the time the first window asks.
    platform::Appearance::startFollowingSystemAppearance();
    // The settings model gets its desktop parts before anything asks it for them.
    connectedSettingsModel();
    registerPreferencePanes();
    delegate_ = AppDelegate::create(*this);
    AppDelegate::setCurrent(delegate_);
    delegate_->applicationWillFinishLaunching();
}

void Application::finishLaunchingOnce() {
    if (launched_) return;
    launched_ = true;
    // The program lives on in the tray with every window hidden; only Quit ends it.
    hold();
    delegate_->applicationDidFinishLaunching();
    bool anyVisible = false;
    for (auto* window : programWindows(*this)) anyVisible = anyVisible || window->get_visible();
    if (!anyVisible && delegate_->applicationShouldOpenUntitledFile()) delegate_->applicationOpenUntitledFile();
}

void Application::on_activate() {
    if (!launched_) {
        finishLaunchingOnce();
        return;
    }
    // A second start, or the launcher clicked: the reopen.
    bool anyVisible = false;
    for (auto* window : programWindows(*this)) anyVisible = anyVisible || window->get_visible();
    delegate_->applicationShouldHandleReopen(anyVisible);
}

void Application::on_open(const type_vec_files& files, const Glib::ustring&) {
    finishLaunchingOnce();
    for (const auto& file : files) {
        if (!file) continue;
        delegate_->handleURLEvent(std::string(file->get_uri()));
    }
}

void Application::shutdown() {
    information_.reset();
    if (delegate_) {
        delegate_->applicationWillTerminate();
        // Windows go while GTK is still up.
        if (auto* controller = mainController()) controller->destroyWindow();
    }
    platform::UserDefaults::standard().synchronize();
}

WQWindowController* Application::mainController() const {
    if (!delegate_) return nullptr;
    return dynamic_cast<WQWindowController*>(delegate_->mainWindowController().get());
}

Gtk::Window* Application::mainWindow() const {
    auto* controller = mainController();
    return controller ? controller->window() : nullptr;
}

std::shared_ptr<MainWindowControllerHandle> Application::instantiateMainWindowController() {
    auto controller = WQWindowController::instantiate(delegate_->mainMenu().bar);
    if (controller && controller->window()) add_window(*controller->window());
    // The window's content: the web client.
    if (controller) controller->setContentViewController(ViewController::create(Trellik::shared()));
    return controller;
}

std::shared_ptr<PreferencesWindowHandle> Application::makePreferencesWindowController(
    const std::vector<std::string>& paneIdentifiers, const std::string& title) {
    std::vector<std::unique_ptr<PreferencesPane>> panes;
    for (const auto& identifier : paneIdentifiers) panes.push_back(makePreferencesPane(identifier));
    auto controller = std::make_shared<PreferencesWindowController>(std::move(panes), title);
    if (controller->window()) add_window(*controller->window());
    return controller;
}

std::shared_ptr<AboutWindowHandle> Application::makeAboutWindowController() {
    auto controller = std::make_shared<VEXAboutWindowController>();
    if (auto* window = controller->window()) add_window(*window);
    return controller;
}

std::vector<std::string> Application::pasteboardTypes() const {
    std::vector<std::string> types;
    for (const auto& target : Gtk::Clipboard::get()->wait_for_targets()) types.push_back(target);
    return types;
}

void Application::hideApplication() {
    for (auto* window : programWindows(*this)) {
        // The main window goes out of sight only as far as the tray or the taskbar can bring it back.
        if (auto* main = dynamic_cast<WQWindow*>(window); main && main->get_visible()) {
            main->closeWindow();
        } else {
            window->hide();
        }
    }
}

void Application::terminate() { quit(); }

void Application::closeKeyWindow() {
    if (auto* window = keyWindow(*this)) window->close();
}

void Application::minimizeKeyWindow() {
    if (auto* window = keyWindow(*this)) window->iconify();
}

void Application::toggleFullScreen() {
    if (auto* controller = mainController(); controller && controller->window()) controller->window()->toggleFullScreen();
}

void Application::editCommand(const std::string& command) {
    auto* window = keyWindow(*this);
    Gtk::Widget* focus = window ? window->get_focus() : nullptr;
    if (!focus) return;
    if (auto* editable = dynamic_cast<Gtk::Editable*>(focus)) {
        if (command == "cut") editable->cut_clipboard();
        if (command == "copy") editable->copy_clipboard();
        if (command == "select-all") editable->select_region(0, -1);
        return;
    }
    if (auto* text = dynamic_cast<Gtk::TextView*>(focus)) {
        auto buffer = text->get_buffer();
        if (command == "cut") buffer->cut_clipboard(Gtk::Clipboard::get(), true);
        if (command == "copy") buffer->copy_clipboard(Gtk::Clipboard::get());
        if (command == "select-all") buffer->select_range(buffer->begin(), buffer->end());
        return;
    }
    if (WEBKIT_IS_WEB_VIEW(focus->gobj())) {
        auto* web = WEBKIT_WEB_VIEW(focus->gobj());
        if (command == "cut") webkit_web_view_execute_editing_command(web, WEBKIT_EDITING_COMMAND_CUT);
        if (command == "copy") webkit_web_view_execute_editing_command(web, WEBKIT_EDITING_COMMAND_COPY);
        if (command == "select-all") webkit_web_view_execute_editing_command(web, WEBKIT_EDITING_COMMAND_SELECT_ALL);
        if (command == "undo") webkit_web_view_execute_editing_command(web, WEBKIT_EDITING_COMMAND_UNDO);
        if (command == "redo") webkit_web_view_execute_editing_command(web, WEBKIT_EDITING_COMMAND_REDO);
    }
}

void Application::disposeLater(std::unique_ptr<Gtk::MessageDialog> dialog) {
    if (!dialog) return;
    dialog->hide();
    platform::MainQueue::async([raw = dialog.release()] { delete raw; });
}

void Application::showInformation(const std::string& message) {
    // One dialog: a second request while it is up brings it forward with the new text.
    if (!information_) {
        information_ = std::make_unique<Gtk::MessageDialog>(message, false, Gtk::MESSAGE_INFO, Gtk::BUTTONS_OK, true);
        information_->set_title(tovak::WQApplicationInfo::applicationName());
        information_->signal_response().connect([this](int) { disposeLater(std::move(information_)); });
    } else {
        information_->set_message(message);
    }
    if (auto* window = mainWindow()) information_->set_transient_for(*window);
    information_->present();
}

void Application::showAlert(const std::string& title, const std::string& message) {
    auto dialog = std::make_unique<Gtk::MessageDialog>(title, false, Gtk::MESSAGE_WARNING, Gtk::BUTTONS_OK, true);
    dialog->set_secondary_text(message);
    dialog->set_title(tovak::WQApplicationInfo::applicationName());
    if (auto* window = keyWindow(*this)) dialog->set_transient_for(*window);
    auto* raw = dialog.release();
    raw->signal_response().connect([raw](int) { disposeLater(std::unique_ptr<Gtk::MessageDialog>(raw)); });
    raw->present();
}

void Application::presentSupportAlert(std::function<void(int response)> onResponse) {
    SupportAlert::present(std::move(onResponse));
}

}  // namespace parlivo
