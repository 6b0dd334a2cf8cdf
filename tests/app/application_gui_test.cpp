// The GTK application itself, registered on the test's own session bus: the window commands act
// on the key window, and the dialogs it shows are single, titled and never a nested main loop.
#include <gtest/gtest.h>
#include <gtkmm/entry.h>
#include <gtkmm/main.h>
#include <gtkmm/messagedialog.h>

#include "FakeStatusNotifierWatcher.h"
#include "RunLoop.h"
#include "settings/Trellik.h"
#include "shell/Application.h"
#include "shell/PreferencesWindowController.h"
#include "shell/SupportAlert.h"
#include "shell/TrellikStatusItem.h"
#include "shell/WQWindowController.h"

using namespace parlivo;

namespace {

// What the application shows right now, of one kind.
template <class W>
std::vector<W*> visible() {
    std::vector<W*> found;
    for (auto* window : Gtk::Window::list_toplevels())
        if (auto* w = dynamic_cast<W*>(window); w && w->get_visible()) found.push_back(w);
    return found;
}

class ApplicationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        app = Application::create().release();  // lives as long as the process, like the program's
        app->register_application();  // "startup": GTK and the application delegate are up
        ASSERT_TRUE(app->is_registered());
        Gtk::Main::init_gtkmm_internals();
        auto controller = app->instantiateMainWindowController();
        ASSERT_TRUE(controller);
        app->delegate()->setMainWindowController(controller);
        // A tray host shows the program's item, so closing the main window hides it.
        trayHost = testsupport::FakeStatusNotifierWatcher::start().release();
        ASSERT_TRUE(trayHost);
        ASSERT_TRUE(testsupport::runLoopUntil([] {
            auto* item = Trellik::shared().statusItem();
            return item && item->isShownInTray();
        }));
    }

    static Gtk::Window& mainWindow() {
        return *dynamic_cast<WQWindowController&>(*app->delegate()->mainWindowController()).window();
    }

    static inline Application* app = nullptr;
    static inline testsupport::FakeStatusNotifierWatcher* trayHost = nullptr;
};

}  // namespace

// After the preferences window had been open and the main window closed to the tray and brought
// back, Close Window and Minimize did nothing: they acted on GTK's "active window", and gtkmm
// takes a hidden window out of the application's list without putting it back when it shows.
TEST_F(ApplicationTest, WindowCommandsActOnTheKeyWindow) {
    Gtk::Window& main = mainWindow();
    main.present();
    PreferencesWindowController preferences({}, "Preferences");
    app->add_window(*preferences.window());
    preferences.showWindow();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return preferences.window()->get_mapped(); }));
    preferences.window()->get_window()->focus(GDK_CURRENT_TIME);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return preferences.window()->is_active(); }));
    preferences.close();
    ASSERT_TRUE(testsupport::drainIdleWork());
    main.hide();  // closed to the tray
    main.present();  // and back from it
    ASSERT_TRUE(testsupport::drainIdleWork());
    // What hid the fault: GTK's list names no window now.
    ASSERT_EQ(app->get_active_window(), nullptr);
    ASSERT_TRUE(main.get_visible());

    app->closeKeyWindow();
    ASSERT_TRUE(testsupport::drainIdleWork());
    EXPECT_FALSE(main.get_visible()) << "Close Window closed the visible window";
    main.present();
    app->hideApplication();
    EXPECT_FALSE(main.get_visible()) << "Hide reaches it too";
}

TEST_F(ApplicationTest, TheUpdateAnswerIsOneTitledDialogOverTheMainWindow) {
    mainWindow().present();
    app->showInformation("first answer");
    app->showInformation("second answer");  // a second choice of the menu item
    auto dialogs = visible<Gtk::MessageDialog>();
    ASSERT_EQ(dialogs.size(), 1u);
    Gtk::MessageDialog* dialog = dialogs[0];
    EXPECT_EQ(dialog, app->informationDialog());
    EXPECT_FALSE(dialog->get_title().empty());
    EXPECT_EQ(dialog->property_text().get_value(), "second answer");
    EXPECT_EQ(dialog->get_transient_for(), &mainWindow());
    EXPECT_TRUE(dialog->get_modal());

    // Answering it lets it go, after its own response handler has returned.
    dialog->response(Gtk::RESPONSE_OK);
    EXPECT_EQ(app->informationDialog(), nullptr);
    ASSERT_TRUE(testsupport::drainIdleWork());
    EXPECT_TRUE(visible<Gtk::MessageDialog>().empty());
    app->showInformation("again");
    EXPECT_EQ(visible<Gtk::MessageDialog>().size(), 1u);
    app->informationDialog()->response(Gtk::RESPONSE_DELETE_EVENT);
    ASSERT_TRUE(testsupport::drainIdleWork());
}

// The "Need help?" prompt never runs a main loop of its own, whatever window is up; closing it
// is going back.
TEST_F(ApplicationTest, TheSupportPromptAnswersThroughItsCallback) {
    for (bool withWindow : {true, false}) {
        SCOPED_TRACE(withWindow ? "over the main window" : "with no window up");
        if (withWindow)
            mainWindow().present();
        else
            mainWindow().hide();
        std::vector<int> responses;
        app->presentSupportAlert([&](int response) { responses.push_back(response); });
        auto dialogs = visible<Gtk::MessageDialog>();
        ASSERT_EQ(dialogs.size(), 1u) << "returned with the prompt up";
        EXPECT_EQ(dialogs[0]->get_transient_for(), withWindow ? &mainWindow() : nullptr);
        dialogs[0]->response(withWindow ? SupportAlert::readFAQ : Gtk::RESPONSE_DELETE_EVENT);
        EXPECT_EQ(responses, std::vector<int>{withWindow ? SupportAlert::readFAQ : SupportAlert::back});
        ASSERT_TRUE(testsupport::drainIdleWork());
    }
}

TEST_F(ApplicationTest, AFailureIsShownOverTheKeyWindow) {
    mainWindow().present();
    app->showAlert("The address could not be opened", "x-test:page");
    auto dialogs = visible<Gtk::MessageDialog>();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0]->property_secondary_text().get_value(), "x-test:page");
    EXPECT_EQ(dialogs[0]->get_transient_for(), &mainWindow());
    dialogs[0]->response(Gtk::RESPONSE_OK);
    ASSERT_TRUE(testsupport::drainIdleWork());
    EXPECT_TRUE(visible<Gtk::MessageDialog>().empty());
}
