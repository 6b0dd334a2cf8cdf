// The page's HTML panel with the real program and the stand-in page: the page asks for a panel
// with a size, the main window grows to it, the panel page has its start script, and its answer
// (quotes and all) comes back to the page as wqNotificationCenter.callback; a malformed request
// shows nothing.
#include <gtest/gtest.h>

#include "DesktopSession.h"
#include "Standin.h"

using platform::PropertyList;
using testsupport::HostedProgram;
using testsupport::StandinServer;

namespace {

// A panel page that answers at once with what its start script defined and a text that would
// break a script built without escaping.
const std::string kPanel =
    "<html><body><script>webkit.messageHandlers.WQNotificationCallbackHandler.postMessage("
    "wqStyle + '|' + typeof wqPlatform + \"|it's \\\\ done\");</script></body></html>";

}  // namespace

TEST(HtmlPanel, ThePanelResizesTheWindowAndItsAnswerReachesThePage) {
    StandinServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    auto windowManager = e2e::startWindowManager();
    ASSERT_TRUE(windowManager);
    e2e::writeSettings("<key>kVisualStyle</key><integer>2</integer>");  // dark
    auto program = HostedProgram::parlivo(server);
    ASSERT_TRUE(server.waitForEvent("didStartup")) << program->output();
    const std::string window = e2e::waitForWindow("Parlivo");
    ASSERT_FALSE(window.empty());
    ASSERT_EQ(e2e::windowSize(window), "1000x700");

    // Malformed: an "id" that is no integer. Nothing is shown, nothing answers.
    PropertyList bad = PropertyList::dictionary();
    bad.set("id", "1");
    bad.set("url", server.origin() + "/");
    bad.set("html", kPanel);
    size_t mark = server.mark();
    auto posted = server.waitForCommand(server.post("WQNotificationHandler", bad));
    ASSERT_TRUE(posted && posted->type == "posted");

    PropertyList request = PropertyList::dictionary();
    request.set("id", 7);
    request.set("url", server.origin() + "/");
    request.set("html", kPanel);
    request.set("minSize", PropertyList::Array{1200, 800});
    posted = server.waitForCommand(server.post("WQNotificationHandler", request));
    ASSERT_TRUE(posted && posted->type == "posted");
    auto callback = server.waitForCall("wqNotificationCenter.callback", 60, mark);
    ASSERT_TRUE(callback) << program->output();
    EXPECT_EQ(callback->args(), PropertyList(PropertyList::Array{7, "Dark|object|it's \\ done"}));
    // Only the valid request answered.
    EXPECT_EQ(server.calls("wqNotificationCenter.callback", mark).size(), 1u);
    EXPECT_TRUE(e2e::eventually([&] { return e2e::windowSize(window) == "1200x800"; }))
        << e2e::windowSize(window);
    e2e::screenshot("html-panel-answered");
    EXPECT_EQ(program->stop(), 0) << program->output();
}
