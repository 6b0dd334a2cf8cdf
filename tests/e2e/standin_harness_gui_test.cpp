// The end-to-end harness itself, driven through the bare WebKitGTK host: the stand-in page comes
// over TLS from parlivo-config serve, plays the start-up handshake, posts what a test asks on the
// handler it names, and records every page function the host calls, in order. And the session
// the tests run in: their own bus, which starts nothing installed on the machine.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "PrivateSessionBus.h"
#include "Standin.h"

using platform::PropertyList;
using testsupport::HostedProgram;
using testsupport::StandinServer;

namespace {

HostedProgram::Options hostOptions(std::vector<std::string> extra = {}) {
    HostedProgram::Options options;
    options.arguments = {"--handler", "eventHandler", "--handler", "logHandler", "--answer-init"};
    options.arguments.insert(options.arguments.end(), extra.begin(), extra.end());
    return options;
}

// The names the session bus can start a service for.
std::set<std::string> activatableNames() {
    std::set<std::string> names;
    GDBusConnection* bus = testsupport::newSessionBusConnection();
    if (!bus) return names;
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "ListActivatableNames", nullptr,
                                                  G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    if (reply) {
        GVariantIter* iter = nullptr;
        const gchar* name = nullptr;
        g_variant_get(reply, "(as)", &iter);
        while (g_variant_iter_next(iter, "&s", &name)) names.insert(name);
        g_variant_iter_free(iter);
        g_variant_unref(reply);
    }
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
    return names;
}

}  // namespace

TEST(StandinHarness, HandshakeMessagesAndCommandsTravelBothWays) {
    StandinServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    auto host = HostedProgram::host(server, hostOptions());

    // The page's start-up: didInit out, the host's answer back, then the two later events.
    auto ready = server.waitForReady();
    ASSERT_TRUE(ready) << host->output();
    EXPECT_EQ(ready->value["marker"].stringOr(), "unpatched");
    EXPECT_EQ(ready->value["handlers"], PropertyList(PropertyList::Array{"logHandler", "eventHandler"}));
    ASSERT_TRUE(server.waitForCall("wqInit.didFinishNativeInit"));
    ASSERT_TRUE(server.waitForEvent("didStartup")) << host->output();
    EXPECT_TRUE(host->waitForOutput(R"(message eventHandler "willStartup")"));

    // A message the test asks the page to post reaches the host whole, quotes and line breaks too.
    PropertyList body = PropertyList::dictionary();
    body.set("text", "a \"quoted\"\nline");
    body.set("count", 3);
    const auto command = server.post("logHandler", body);
    auto posted = server.waitForCommand(command);
    ASSERT_TRUE(posted);
    EXPECT_EQ(posted->type, "posted") << posted->json;
    ASSERT_TRUE(host->waitForOutput("message logHandler {")) << host->output();
    const std::string output = host->output();
    EXPECT_NE(output.find(R"("text":"a \"quoted\"\nline")"), std::string::npos) << output;
    EXPECT_NE(output.find(R"("count":3)"), std::string::npos) << output;

    // A page call the host makes is recorded with its arguments, in order.
    const size_t mark = server.mark();
    host->process().writeLine(R"(wqSetZoom(3); wqSetStyle("Dark"); wqAlertCenter.callback(7, 2);)");
    auto alert = server.waitForCall("wqAlertCenter.callback", 30, mark);
    ASSERT_TRUE(alert);
    auto calls = server.calls({}, mark);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].name, "wqSetZoom");
    EXPECT_EQ(calls[0].args(), PropertyList(PropertyList::Array{3}));
    EXPECT_EQ(calls[1].args(), PropertyList(PropertyList::Array{"Dark"}));
    EXPECT_EQ(alert->args(), PropertyList(PropertyList::Array{7, 2}));

    // A handler the host lacks, and a failing script, come back as the page's "error".
    auto missing = server.waitForCommand(server.post("audioHandler", "x"));
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->type, "error");
    auto thrown = server.waitForCommand(server.eval("undefinedFunction()"));
    ASSERT_TRUE(thrown);
    EXPECT_EQ(thrown->type, "error");
}

TEST(StandinHarness, AReloadedPageRunsOnlyNewCommands) {
    StandinServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    auto host = HostedProgram::host(server, hostOptions(), "index.html?startup=manual");
    ASSERT_TRUE(server.waitForReady());
    auto first = server.waitForCommand(server.eval("Standin.chatListWidth = 111; 'first'"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->value["value"].stringOr(), "first");

    const size_t beforeReload = server.mark();
    server.eval("location.reload()");
    // The reload's own "evaluated" record may be lost with the page that is going away: the new
    // page's "ready" can be the very next record.
    ASSERT_TRUE(server.waitForReady(60, beforeReload));
    auto second = server.waitForCommand(server.eval("'second'"));
    ASSERT_TRUE(second);
    // The reloaded page ran the new command and none of the old ones again.
    for (const auto& record : server.records()) {
        if (record.index > beforeReload) {
            EXPECT_NE(record.value["value"].stringOr(), "first") << record.json;
        }
    }
    // Manual start-up: the page posted no start-up event on either load.
    EXPECT_FALSE(server.waitFor([](const auto& r) { return r.type == "posted" && r["handler"].stringOr() == "eventHandler"; }, 0));
}

// The real program from the build tree, pointed at the server through its private resource
// folder: it runs with debug lines on, and a stop ends it the way a user's quit does.
TEST(StandinHarness, RealProgramStartsAgainstTheServerAndStopsCleanly) {
    StandinServer server;
    ASSERT_TRUE(server.ok()) << server.error();
    auto program = HostedProgram::parlivo(server);
    ASSERT_TRUE(program->process().started()) << program->process().startError();
    ASSERT_TRUE(program->waitForOutput("AppDelegate ===> ", 60)) << program->output();
    EXPECT_EQ(program->stop(), 0) << program->output();
}

// A notification daemon, a keyring or a tray host installed on the machine is never started on a
// test's bus: only the accessibility bus, which the tests read. So for the bus every test gets
// (tests/isolated) and for the one a test starts itself. Last in this file: it moves the program
// to a bus of its own.
TEST(TestSession, TheSessionBusStartsNothingInstalledOnTheMachine) {
    const std::set<std::string> ours{"org.freedesktop.DBus", "org.a11y.Bus"};
    EXPECT_EQ(activatableNames(), ours) << "the bus tests/isolated gave this test";
    ASSERT_TRUE(testsupport::usePrivateSessionBus());
    EXPECT_EQ(activatableNames(), ours) << "a bus of the test's own";
}
