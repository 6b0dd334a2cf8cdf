// The privacy lock against the page and against other roads in, with the real program and the
// stand-in page: behind the lock nothing the page asks for shows (its alerts wait, its own
// dialogs are dismissed unseen, its HTML panel waits) and no menu command reaches the page
// (keyboard shortcuts, menu items chosen through the accessibility bus, actions over D-Bus).
// After the right password, what waited comes.
#include <gio/gio.h>

#include "DesktopSession.h"
#include "WebHostRun.h"

using namespace e2e;

namespace {

// An earlier version's record of "secret": its plain SHA-256.
constexpr const char* kLegacyRecord = "2bb80d537b1da3e38bd30361aa855686bde0eacd7162fef6a25fe97bf527a25b";

bool isAlert(const Accessibility::Element& e) { return e.showing && (e.role == "alert" || e.role == "dialog"); }

bool isMenuItem(const Accessibility::Element& e, std::string_view name) {
    return (e.role == "menu item" || e.role == "check menu item") && e.name == name;
}

// Whether anything on screen carries `text`, the way a screen reader reads it.
bool showsText(Accessibility& a11y, std::string_view text) {
    for (const auto& e : a11y.elements())
        if (e.showing && (e.name.find(text) != std::string::npos || e.text.find(text) != std::string::npos)) return true;
    return false;
}

class LockedProgram : public ::testing::Test {
protected:
    void SetUp() override {
        PropertyList settings = PropertyList::dictionary();
        settings.set("privacyModeEnabled", true);
        settings.set("WQPassowrdHandler.privacyPassword", kLegacyRecord);
        run.home.writeSettings(settings);
        ASSERT_TRUE(run.start());
        auto lock = run.server.waitForCall("wqLockDown", 30, run.startMark);
        ASSERT_TRUE(lock) << run.program->output();
        ASSERT_EQ(lock->args(), list({"true"}));
    }

    // The password typed into the lock screen, as the user does.
    void unlock() {
        const std::string window = run.mainWindow();
        ASSERT_FALSE(window.empty());
        const size_t from = run.server.mark();
        ASSERT_EQ(std::system(("xdotool windowfocus --sync " + window + " type --delay 30 secret").c_str()), 0);
        ASSERT_EQ(std::system(("xdotool windowfocus --sync " + window + " key Return").c_str()), 0);
        auto released = run.server.waitForCall("wqLockDown", 60, from);
        ASSERT_TRUE(released) << run.program->output();
        ASSERT_EQ(released->args(), list({"false"}));
    }

    WebHostRun run;
};

// The GApplication's actions as another program on the desktop sees them over D-Bus: their names
// on the application's path and on each of its windows' paths.
std::vector<std::pair<std::string, std::string>> actionsOnTheBus() {
    std::vector<std::pair<std::string, std::string>> found;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return found;
    std::vector<std::string> paths{"/net/vantreo/mac/WhatsApp"};
    for (int window = 1; window <= 8; ++window) paths.push_back("/net/vantreo/mac/WhatsApp/window/" + std::to_string(window));
    for (const auto& path : paths) {
        GVariant* reply = g_dbus_connection_call_sync(bus, "net.vantreo.mac.WhatsApp", path.c_str(), "org.gtk.Actions",
                                                      "List", nullptr, G_VARIANT_TYPE("(as)"),
                                                      G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, nullptr);
        if (!reply) continue;
        GVariantIter* names = nullptr;
        g_variant_get(reply, "(as)", &names);
        for (const gchar* name = nullptr; g_variant_iter_loop(names, "&s", &name);) found.emplace_back(path, name);
        g_variant_iter_free(names);
        g_variant_unref(reply);
    }
    g_object_unref(bus);
    return found;
}

// Activates an action over D-Bus as another program could (org.gtk.Actions.Activate); whether
// the program accepted the call.
bool activateOverTheBus(const std::string& path, const std::string& action) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return false;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "net.vantreo.mac.WhatsApp", path.c_str(), "org.gtk.Actions", "Activate",
        g_variant_new("(sava{sv})", action.c_str(), nullptr, nullptr), nullptr, G_DBUS_CALL_FLAGS_NONE, 10000, nullptr,
        nullptr);
    const bool accepted = reply != nullptr;
    if (reply) g_variant_unref(reply);
    g_object_unref(bus);
    return accepted;
}

}  // namespace

TEST_F(LockedProgram, NothingThePageAsksForShowsBehindTheLockAndWhatWaitedComesAfter) {
    auto& server = run.server;
    auto& a11y = run.accessibility();
    ASSERT_TRUE(a11y.waitFor(Accessibility::named("push button", "Forgot password?"))) << a11y.describe();
    const std::string window = run.mainWindow();
    const std::string size = windowSize(window);
    const size_t from = server.mark();

    // A chat's words in an alert, in the page's own dialogs and in an HTML panel.
    server.post("WQAlertHandler", dictionary({{"id", 5},
                                              {"title", "Anna Berger"},
                                              {"message", "See you at 8 at the station"},
                                              {"buttonTitles", list({"Reply", "Later"})}}));
    EXPECT_EQ(run.eval("window.alert('Anna Berger: see you at 8'), 'after alert'"), PropertyList("after alert"));
    EXPECT_EQ(run.eval("window.confirm('Delete the chat with Anna Berger?')"), PropertyList(false));
    EXPECT_EQ(run.eval("window.prompt('Anna Berger', 'draft')"), PropertyList());
    const std::string panel =
        "<html><body>Anna Berger<script>webkit.messageHandlers.WQNotificationCallbackHandler.postMessage('seen')"
        "</script></body></html>";
    server.post("WQNotificationHandler", dictionary({{"id", 9},
                                                     {"url", server.origin() + "/"},
                                                     {"html", panel},
                                                     {"minSize", list({1200, 800})}}));
    run.roundTrip();
    // The keyboard goes to the lock screen: Return answers no alert.
    ASSERT_EQ(std::system(("xdotool windowfocus --sync " + window + " key Return").c_str()), 0);
    run.roundTrip();

    EXPECT_FALSE(a11y.waitFor(isAlert, 0)) << a11y.describe();
    EXPECT_FALSE(showsText(a11y, "Anna")) << a11y.describe();
    EXPECT_TRUE(run.calls("wqAlertCenter.callback", from).empty());
    EXPECT_TRUE(run.calls("wqNotificationCenter.callback", from).empty());
    EXPECT_EQ(windowSize(window), size) << "the panel grew the window behind the lock";

    unlock();
    // Now the alert comes, and it is answered as usual; the panel is shown and answers.
    ASSERT_TRUE(a11y.waitFor(Accessibility::named("label", "Anna Berger"))) << a11y.describe();
    ASSERT_TRUE(a11y.press("Later")) << a11y.describe();
    auto answer = server.waitForCall("wqAlertCenter.callback", 30, from);
    ASSERT_TRUE(answer) << run.program->output();
    EXPECT_EQ(answer->args(), list({5, 1}));
    auto panelAnswer = server.waitForCall("wqNotificationCenter.callback", 60, from);
    ASSERT_TRUE(panelAnswer) << run.program->output();
    EXPECT_EQ(panelAnswer->args(), list({9, "seen"}));
    EXPECT_EQ(run.stop(), 0);
}

TEST_F(LockedProgram, NoMenuCommandReachesThePageBehindTheLock) {
    auto& server = run.server;
    auto& a11y = run.accessibility();
    ASSERT_TRUE(a11y.waitFor(Accessibility::named("push button", "Forgot password?"))) << a11y.describe();
    const size_t from = server.mark();

    // Keyboard shortcuts: New Chat, Archive, Do Not Disturb, Stealth Mode, Reload.
    for (const char* keys : {"ctrl+n", "ctrl+shift+a", "ctrl+shift+d", "ctrl+shift+s", "ctrl+r"})
        ASSERT_TRUE(run.pressKeys(keys)) << keys;
    // Menu items chosen as a click or a screen reader does.
    for (const char* item : {"Log Out", "Reload", "New Chat", "Dark"})
        a11y.activate([item](const Accessibility::Element& e) { return isMenuItem(e, item); }, 2);
    // Another program on the desktop: no action of the program is on the bus to be activated, and
    // one named after a command does nothing.
    for (const auto& [path, name] : actionsOnTheBus()) {
        ADD_FAILURE() << "an action on the bus: " << path << " " << name;
        activateOverTheBus(path, name);
    }
    for (const char* name : {"logout", "log-out", "reload", "new-chat", "preferences", "quit"})
        EXPECT_FALSE(activateOverTheBus("/net/vantreo/mac/WhatsApp", name)) << name;
    run.roundTrip();

    for (const char* call : {"wqHandleLogOut", "wqOpenNewChat", "wqShowArchive", "wqSetDoNotDisturb", "wqSetStyle",
                             "wqSetStealthModeShowContentOnMouseOver"})
        EXPECT_TRUE(run.calls(call, from).empty()) << call;
    EXPECT_FALSE(server.waitForEvent("didStartup", 0, from)) << "the page was reloaded";
    EXPECT_TRUE(run.program->process().started());

    // Unlocked, the same shortcut reaches the page again.
    unlock();
    const size_t after = server.mark();
    ASSERT_TRUE(run.pressKeys("ctrl+n"));
    EXPECT_TRUE(server.waitForCall("wqOpenNewChat", 30, after)) << run.program->output();
    EXPECT_EQ(run.stop(), 0);
}
