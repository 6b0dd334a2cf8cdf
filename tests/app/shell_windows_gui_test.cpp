// The real GTK windows of the shell: main window and its controller, menu bar, preferences
// and about windows.
#include <gtest/gtest.h>
#include <gtkmm/checkmenuitem.h>
#include <gtkmm/main.h>

#include "FakeStatusNotifierWatcher.h"
#include "RunLoop.h"
#include "ShellFakes.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"
#include "shell/MenuBarView.h"
#include "shell/PreferencesWindowController.h"
#include "shell/TrellikParts.h"
#include "shell/VEXAboutWindowController.h"
#include "shell/WQWindow.h"
#include "shell/WQWindowController.h"

#include <gtkmm/messagedialog.h>

using namespace parlivo;

namespace {

// A key press as the window gets it from the keyboard.
bool pressKey(Gtk::Window& window, guint keyval, guint state) {
    GdkEventKey event{};
    event.type = GDK_KEY_PRESS;
    event.window = window.get_window() ? window.get_window()->gobj() : nullptr;
    event.send_event = TRUE;
    event.keyval = keyval;
    event.state = state;
    return window.event(reinterpret_cast<GdkEvent*>(&event));
}

// Escape and Ctrl+W close a dialog-like window, as GTK's dialogs do; other keys do not.
void expectClosesWithEscapeAndControlW(Gtk::Window& window, const std::function<void()>& show) {
    const struct {
        const char* what;
        guint keyval, state;
        bool closes;
    } keys[] = {
        {"w alone", GDK_KEY_w, 0, false},
        {"Shift+Escape", GDK_KEY_Escape, GDK_SHIFT_MASK, false},
        {"Escape", GDK_KEY_Escape, 0, true},
        {"Ctrl+W", GDK_KEY_w, GDK_CONTROL_MASK, true},
        {"Ctrl+W with Caps Lock", GDK_KEY_W, GDK_CONTROL_MASK | GDK_LOCK_MASK, true},
    };
    for (const auto& key : keys) {
        show();
        ASSERT_TRUE(window.get_visible()) << key.what;
        pressKey(window, key.keyval, key.state);
        ASSERT_TRUE(testsupport::drainIdleWork()) << key.what;  // a close is carried out at idle time
        EXPECT_EQ(!window.get_visible(), key.closes) << key.what;
    }
}

// The dialogs on screen whose secondary text holds `text`.
std::vector<Gtk::MessageDialog*> dialogsSaying(const std::string& text) {
    std::vector<Gtk::MessageDialog*> found;
    for (auto* window : Gtk::Window::list_toplevels())
        if (auto* dialog = dynamic_cast<Gtk::MessageDialog*>(window); dialog && dialog->get_visible())
            if (dialog->property_secondary_text().get_value().find(text) != Glib::ustring::npos) found.push_back(dialog);
    return found;
}

class ShellWindowsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gtk_init(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
        // The windows follow the program's settings model, with the tray item the shell gives it.
        connectedSettingsModel();
    }
};

}  // namespace

TEST_F(ShellWindowsTest, MainWindowFollowsStealthAndWindowModeAndClosingOnlyHides) {
    auto menu = std::make_shared<MainMenu>();
    auto controller = WQWindowController::instantiate(menu->bar);
    ASSERT_TRUE(controller);
    WQWindow& window = *controller->window();
    EXPECT_EQ(Trellik::shared().windowDelegate().get(), static_cast<TrellikWindowDelegate*>(&window));
    EXPECT_EQ(window.frameAutosaveName(), "mainWindow");
    EXPECT_FALSE(window.get_title().empty());

    auto& trellik = Trellik::shared();
    trellik.setPrivacyStealthModeAlpha(0.5);  // switches stealth on
    EXPECT_NEAR(window.alphaValue(), 0.6, 1e-6);
    trellik.setPrivacyStealthModeActive(false);
    EXPECT_NEAR(window.alphaValue(), 1.0, 1e-6);

    trellik.setWindowMode(WindowMode::alwaysOnTop);
    EXPECT_EQ(window.level(), floatingWindowLevel);
    EXPECT_EQ(controller->windowLevel(), floatingWindowLevel);
    trellik.setWindowMode(WindowMode::defaultMode);
    EXPECT_EQ(window.level(), normalWindowLevel);

    // Closed while a tray host shows the item: hidden (the tray brings it back).
    auto trayHost = testsupport::FakeStatusNotifierWatcher::start();
    ASSERT_TRUE(trayHost);
    ASSERT_TRUE(testsupport::runLoopUntil([] { return WQWindow::trayCanBringBack(); }));
    controller->makeKeyAndOrderFront();
    EXPECT_TRUE(controller->isWindowVisible());
    GdkEventAny event{};
    event.type = GDK_DELETE;
    window.event(reinterpret_cast<GdkEvent*>(&event));
    EXPECT_FALSE(controller->isWindowVisible());
    EXPECT_TRUE(controller->hasWindow());

    // Quit state: frame, full-screen and on-screen flags.
    controller->storeWindowState();
    auto& defaults = platform::UserDefaults::standard();
    EXPECT_FALSE(defaults.boolForKey("mainWindow.isOnScreen"));
    EXPECT_FALSE(defaults.boolForKey("mainWindow.fullScreen"));
    EXPECT_TRUE(defaults.stringForKey("NSWindow Frame mainWindow.frame"));

    window.shake();
    EXPECT_TRUE(window.isShaking());
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return !window.isShaking(); }, 3.0));
    controller->destroyWindow();
    EXPECT_FALSE(Trellik::shared().windowDelegate());
}

// Without a tray host to show the item, closing only minimizes the window (nothing else could
// bring it back), and the window keeps its taskbar entry even in tray-only mode.
TEST_F(ShellWindowsTest, WithoutATrayHostClosingMinimizesAndTheTaskbarEntryStays) {
    ASSERT_TRUE(testsupport::runLoopUntil([] { return !WQWindow::trayCanBringBack(); }));
    ApplicationActivation::setPolicy(ActivationPolicy::accessory);
    auto controller = WQWindowController::instantiate(nullptr);
    ASSERT_TRUE(controller);
    WQWindow& window = *controller->window();
    EXPECT_FALSE(window.get_skip_taskbar_hint());
    controller->makeKeyAndOrderFront();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return window.get_mapped(); }));
    GdkEventAny event{};
    event.type = GDK_DELETE;
    window.event(reinterpret_cast<GdkEvent*>(&event));
    EXPECT_TRUE(controller->isWindowVisible()) << "minimized, not hidden";

    // A host comes and shows the item: tray-only mode takes the window off the taskbar.
    auto trayHost = testsupport::FakeStatusNotifierWatcher::start();
    ASSERT_TRUE(trayHost);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return window.get_skip_taskbar_hint(); }));
    EXPECT_TRUE(window.get_skip_pager_hint());
    // It goes: back on the taskbar.
    trayHost.reset();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !window.get_skip_taskbar_hint(); }));
    ApplicationActivation::setPolicy(ActivationPolicy::regular);
    controller->destroyWindow();
}

TEST_F(ShellWindowsTest, MainWindowStaysOffTheTaskbarWhenTrayOnlyModeWasSetBeforeIt) {
    auto trayHost = testsupport::FakeStatusNotifierWatcher::start();
    ASSERT_TRUE(trayHost);
    ASSERT_TRUE(testsupport::runLoopUntil([] { return WQWindow::trayCanBringBack(); }));
    ApplicationActivation::setPolicy(ActivationPolicy::accessory);  // the settings model's start
    auto controller = WQWindowController::instantiate(nullptr);
    ASSERT_TRUE(controller);
    EXPECT_TRUE(controller->window()->get_skip_taskbar_hint());
    EXPECT_TRUE(controller->window()->get_skip_pager_hint());
    ApplicationActivation::setPolicy(ActivationPolicy::regular);
    controller->destroyWindow();
    controller = WQWindowController::instantiate(nullptr);
    EXPECT_FALSE(controller->window()->get_skip_taskbar_hint());
    controller->destroyWindow();
}

TEST_F(ShellWindowsTest, MenuBarFollowsItsModel) {
    auto menu = std::make_shared<Menu>();
    auto item = std::make_shared<MenuItem>("Do Not Disturb");
    item->setCheckable(true);
    int runs = 0;
    item->setAction([&](MenuItem& sender) {
        ++runs;
        sender.setState(tovak::buttonState(sender.state() != tovak::ButtonState::on));
    });
    auto top = std::make_shared<MenuItem>("File");
    top->setSubmenu(std::make_shared<Menu>("File"));
    top->submenu()->addItem(item);
    menu->addItem(top);
    MenuBarView view(menu);

    auto* fileWidget = dynamic_cast<Gtk::MenuItem*>(view.widget().get_children().at(0));
    ASSERT_TRUE(fileWidget);
    auto* check = dynamic_cast<Gtk::CheckMenuItem*>(fileWidget->get_submenu()->get_children().at(0));
    ASSERT_TRUE(check);
    check->activate();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(check->get_active());
    item->setState(tovak::ButtonState::off);  // a notification changed the setting
    EXPECT_FALSE(check->get_active());
    EXPECT_EQ(runs, 1);  // showing the state does not run the action
    item->setTitle("Renamed");
    item->setHidden(true);
    EXPECT_EQ(check->get_label(), "Renamed");
    EXPECT_FALSE(check->get_visible());
    // Items added later (the visual styles) appear too.
    top->submenu()->addItem(std::make_shared<MenuItem>("Dark"));
    EXPECT_EQ(fileWidget->get_submenu()->get_children().size(), 2u);
}

TEST_F(ShellWindowsTest, PreferencesWindowHoldsThePanesInOrderAndTellsWhenItCloses) {
    std::vector<std::unique_ptr<PreferencesPane>> panes;
    for (const char* id : {"General", "Privacy", "Sounds and Appearance"}) panes.push_back(makePreferencesPane(id));
    PreferencesWindowController controller(std::move(panes), "Preferences");
    ASSERT_TRUE(controller.hasWindow());
    EXPECT_EQ(controller.panes().size(), 3u);
    EXPECT_EQ(controller.panes()[0]->toolbarItemLabel(), "General");
    EXPECT_EQ(controller.panes()[2]->paneIdentifier(), "Sounds and Appearance");
    EXPECT_EQ(controller.selectedPaneIdentifier(), "General");
    controller.selectPane("Privacy");
    EXPECT_EQ(controller.selectedPaneIdentifier(), "Privacy");
    EXPECT_EQ(controller.windowTitle(), "Preferences");
    controller.setLevel(floatingWindowLevel);
    EXPECT_EQ(controller.level(), floatingWindowLevel);

    int closes = 0;
    controller.setWillCloseHandler([&] { ++closes; });
    controller.showWindow();
    EXPECT_TRUE(controller.window()->get_visible());
    GdkEventAny event{};
    event.type = GDK_DELETE;
    controller.window()->event(reinterpret_cast<GdkEvent*>(&event));
    EXPECT_FALSE(controller.window()->get_visible());
    EXPECT_EQ(closes, 1);

    expectClosesWithEscapeAndControlW(*controller.window(), [&] { controller.showWindow(); });
}

TEST_F(ShellWindowsTest, AboutWindowFillsFromTheBundleAndTogglesItsPages) {
    VEXAboutWindowController about;
    about.setAppVersion("Version 9 (1.0)");
    about.setUseTextViewForAcknowledgments(true);
    about.showWindow();
    ASSERT_TRUE(about.window());
    EXPECT_EQ(about.versionLabel()->get_text(), "Version 9 (1.0)");  // the creator's wins
    EXPECT_TRUE(about.appName);
    EXPECT_EQ(about.activeView(), about.infoView());
    ASSERT_TRUE(about.acknowledgmentsPath());  // the bundle's document
    EXPECT_TRUE(about.acknowledgmentsString());
    EXPECT_FALSE(about.creditsTextView()->get_editable());
    EXPECT_FALSE(about.appCredits.value_or("").empty());
    ASSERT_TRUE(about.acknowledgmentsButton());
    EXPECT_EQ(about.acknowledgmentsButton()->get_label(), "Acknowledgments");

    about.showAcknowledgments();
    EXPECT_EQ(about.activeView(), about.acknowledgmentsView());
    EXPECT_EQ(about.acknowledgmentsButton()->get_label(), "Credits");
    about.showAcknowledgments();
    EXPECT_EQ(about.activeView(), about.infoView());
    EXPECT_EQ(about.acknowledgmentsButton()->get_label(), "Acknowledgments");
    about.showView(about.infoView());  // already shown: nothing added
    EXPECT_EQ(dynamic_cast<Gtk::Container*>(about.infoView()->get_parent())->get_children().size(), 1u);

    // The user closes the window: it only hides, and the controller can show it again.
    GdkEventAny event{};
    event.type = GDK_DELETE;
    about.window()->event(reinterpret_cast<GdkEvent*>(&event));
    ASSERT_TRUE(about.window()->gobj());
    EXPECT_FALSE(about.window()->get_visible());
    about.showWindow();
    EXPECT_TRUE(about.window()->get_visible());
    EXPECT_EQ(about.activeView(), about.infoView());

    expectClosesWithEscapeAndControlW(*about.window(), [&] { about.showWindow(); });

    about.setAcknowledgmentsPath(std::nullopt);  // no document: the button leaves the window
    EXPECT_FALSE(about.acknowledgmentsButton());
}

// An address that no program opens is not only a log line: the user is told, with the address.
TEST_F(ShellWindowsTest, AnAddressNoProgramOpensIsReportedWithTheAddress) {
    VEXAboutWindowController about;
    about.setAppWebsiteURL("x-parlivo-test-nothing-opens-this:page");
    about.showWindow();
    ASSERT_TRUE(about.window());
    about.visitWebsite();
    auto dialogs = dialogsSaying("x-parlivo-test-nothing-opens-this:page");
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0]->get_transient_for(), about.window());
    dialogs[0]->response(Gtk::RESPONSE_OK);
    EXPECT_TRUE(dialogsSaying("x-parlivo-test-nothing-opens-this:page").empty());
    ASSERT_TRUE(testsupport::drainIdleWork());  // the dialog goes on a later turn
}
