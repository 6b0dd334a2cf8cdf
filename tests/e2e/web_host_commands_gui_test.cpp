// Commands reaching the page through what the user uses: the menus' keyboard shortcuts, menu
// items chosen (through the accessibility bus, as a click or a screen reader does), and the main
// window becoming and ceasing to be the key window.
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
    EXPECT_EQ(run.home.settings()["kVisualStyle"].asInt(), 1);

    // The main window as the key window and not: the page hears both, and the sending state
    // with each.
    from = server.mark();
    ASSERT_TRUE(run.pressKeys("ctrl+comma"));  // the preferences window comes forward
    const std::string preferences =
        WebHostRun::run("xdotool search --sync --onlyvisible --pid " + std::to_string(run.program->pid()) + " --name Preferences | head -1");
    ASSERT_FALSE(preferences.empty());
    ASSERT_EQ(std::system(("xdotool windowfocus --sync " + preferences).c_str()), 0);
    ASSERT_TRUE(server.waitFor([](const PageRecord& r) { return r.name == "wqWindowStatusDidChange" && r.args() == list({false}); },
                               30, from))
        << run.program->output();
    from = server.mark();
    ASSERT_TRUE(run.pressKeys("Escape"));  // focuses the main window again first
    auto active = server.waitFor(
        [](const PageRecord& r) { return r.name == "wqWindowStatusDidChange" && r.args() == list({true}); }, 30, from);
    ASSERT_TRUE(active);
    auto sending = run.calls("wqEnableSending", from);
    ASSERT_FALSE(sending.empty());
    EXPECT_EQ(sending[0].args(), list({true}));
    EXPECT_LT(sending[0].index, active->index) << "the sending state goes first";

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
