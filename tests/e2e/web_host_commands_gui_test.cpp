// Commands reaching the page through what the user uses: the menus' keyboard shortcuts and menu
// items chosen (through the accessibility bus, as a click or a screen reader does), and the
// privacy lock's state.
#include "WebHostRun.h"

using namespace e2e;

namespace {

bool isMenuItem(const Accessibility::Element& e, std::string_view name) {
    return (e.role == "menu item" || e.role == "check menu item" || e.role == "radio menu item") && e.name == name;
}

}  // namespace

TEST(WebHostCommands, MenuCommandsReachThePage) {
    WebHostRun run;
    ASSERT_TRUE(run.start());
    auto& server = run.server;

    // Keyboard shortcuts of the File and View menus.
    struct Shortcut {
        const char* keys;
        const char* call;
        PropertyList args;
    };
    const Shortcut shortcuts[] = {
        {"ctrl+n", "wqOpenNewChat", PropertyList::array()},
        {"ctrl+shift+n", "wqOpenNewGroup", PropertyList::array()},
        {"ctrl+shift+p", "wqShowProfileAndStatus", PropertyList::array()},
        {"ctrl+shift+a", "wqShowArchive", PropertyList::array()},
        {"ctrl+shift+d", "wqSetDoNotDisturb", list({true})},
        {"ctrl+shift+d", "wqSetDoNotDisturb", list({false})},
        // Stealth mode on: the page may show content under the pointer (the default), then off.
        {"ctrl+shift+s", "wqSetStealthModeShowContentOnMouseOver", list({true})},
        {"ctrl+shift+s", "wqSetStealthModeShowContentOnMouseOver", list({false})},
    };
    for (const auto& s : shortcuts) {
        SCOPED_TRACE(s.keys);
        const size_t from = server.mark();
        ASSERT_TRUE(run.pressKeys(s.keys));
        auto call = server.waitForCall(s.call, 30, from);
        ASSERT_TRUE(call) << run.program->output();
        EXPECT_EQ(call->args(), s.args);
    }

    // Menu items without a shortcut, chosen as a click does (Active Contacts is hidden).
    auto& a11y = run.accessibility();
    auto choose = [&](std::string_view name) {
        return a11y.activate([name](const Accessibility::Element& e) { return isMenuItem(e, name); });
    };
    size_t from = server.mark();
    // A visual style: zoom, then the style's word; the windows follow too.
    for (const auto& [item, word] : {std::pair{"Dark", "Dark"}, std::pair{"Mixed", "Mixed"}, std::pair{"Light", "Light"}}) {
        SCOPED_TRACE(item);
        from = server.mark();
        ASSERT_TRUE(choose(item)) << a11y.describe();
        auto style = server.waitForCall("wqSetStyle", 30, from);
        ASSERT_TRUE(style);
        EXPECT_EQ(style->args(), list({word}));
        auto zoom = server.calls("wqSetZoom", from);
        ASSERT_EQ(zoom.size(), 1u);
        EXPECT_LT(zoom[0].index, style->index) << "zoom goes before style";
    }
    // Reload from the View menu, then Log Out from the File menu.
    from = server.mark();
    ASSERT_TRUE(run.pressKeys("ctrl+r"));
    ASSERT_TRUE(run.startedUp(from));
    from = server.mark();
    ASSERT_TRUE(choose("Log Out"));
    ASSERT_TRUE(server.waitForCall("wqHandleLogOut", 30, from));
    ASSERT_TRUE(run.startedUp(from));
    EXPECT_EQ(run.stop(), 0);
}

// A page made behind the privacy lock, at a locked start and again after a reload, is told the
// lock state once it has started up, and stays hidden.
TEST(WebHostCommands, APageMadeBehindTheLockIsToldOfIt) {
    WebHostRun run;
    PropertyList settings = PropertyList::dictionary();
    settings.set("privacyModeEnabled", true);
    // The plain SHA-256 of "secret", as an earlier version stored it.
    settings.set("WQPassowrdHandler.privacyPassword", "2bb80d537b1da3e38bd30361aa855686bde0eacd7162fef6a25fe97bf527a25b");
    run.home.writeSettings(settings);
    ASSERT_TRUE(run.start());
    auto& server = run.server;
    auto lock = server.waitForCall("wqLockDown", 30, run.startMark);
    ASSERT_TRUE(lock) << run.program->output();
    EXPECT_EQ(lock->args(), list({"true"}));
    EXPECT_EQ(run.eval("document.visibilityState"), PropertyList("hidden"));

    const size_t from = server.mark();
    server.post("eventHandler", "reload");
    ASSERT_TRUE(run.startedUp(from));
    lock = server.waitForCall("wqLockDown", 30, from);
    ASSERT_TRUE(lock) << run.program->output();
    EXPECT_EQ(lock->args(), list({"true"}));
    EXPECT_EQ(run.eval("document.visibilityState"), PropertyList("hidden"));
    run.roundTrip();
    EXPECT_EQ(run.calls("wqLockDown", from).size(), 1u);
    EXPECT_EQ(run.stop(), 0);
}
