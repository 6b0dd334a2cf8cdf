#include "system/Workspace.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "PrivateSessionBus.h"
#include "RunLoop.h"

namespace fs = std::filesystem;
using platform::Workspace;

namespace {

// Names and broadcasts of this program's tests stay on a bus of their own.
[[maybe_unused]] const bool privateBus = testsupport::usePrivateSessionBus();

// A second client of the session bus, standing in for another program.
GDBusConnection* otherConnection() {
    return testsupport::newSessionBusConnection();
}

void requestName(GDBusConnection* bus, const char* name) {
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "RequestName", g_variant_new("(su)", name, 0u),
                                                  G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    ASSERT_NE(reply, nullptr);
    g_variant_unref(reply);
}

}  // namespace

TEST(Workspace, AProgramRunsWhileItsNameHasAnOwnerAndEveryInstanceIsCounted) {
    const std::string name = "net.vantreo.test.Workspace" + std::to_string(getpid());
    EXPECT_FALSE(Workspace::isRunning(name));
    EXPECT_TRUE(Workspace::runningInstances(name).empty());

    GDBusConnection* first = otherConnection();
    ASSERT_NE(first, nullptr);
    requestName(first, name.c_str());
    EXPECT_TRUE(Workspace::isRunning(name));
    EXPECT_EQ(Workspace::runningInstances(name), std::vector<std::string>{g_dbus_connection_get_unique_name(first)});

    // This process queues behind the first owner and is counted too.
    ASSERT_TRUE(Workspace::registerRunningApplication(name));
    EXPECT_EQ(Workspace::runningInstances(name).size(), 2u);

    g_dbus_connection_close_sync(first, nullptr, nullptr);
    g_object_unref(first);
    // The queued instance (us) takes over.
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return Workspace::runningInstances(name).size() == 1; }));
    EXPECT_TRUE(Workspace::isRunning(name));
}

TEST(Workspace, NamesThatAreNoBusNamesAreNeverRunning) {
    for (const char* name : {"", "no-dots", ":1.1", "trailing.", "a..b"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(Workspace::isRunning(name));
        EXPECT_TRUE(Workspace::runningInstances(name).empty());
        EXPECT_FALSE(Workspace::registerRunningApplication(name));
    }
}

TEST(Workspace, ALaunchedProgramRunsDetachedWithItsArguments) {
    const fs::path out = fs::path(g_get_tmp_dir()) / "launched.txt";
    fs::remove(out);
    // The program writes its arguments, its session and its parent once it runs.
    ASSERT_TRUE(Workspace::launchApplication(
        "/bin/sh", {"-c", "echo \"$0 $(ps -o sid= -p $$) $PPID\" > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"", "-launchedAtLogin",
                    out.string()}));
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return fs::exists(out); }));
    std::string argument;
    long session = 0, parent = 0;
    std::ifstream(out) >> argument >> session >> parent;
    EXPECT_EQ(argument, "-launchedAtLogin");
    EXPECT_NE(session, long(getsid(0)));  // its own session
    EXPECT_NE(parent, long(getpid()));    // not our child
}

TEST(Workspace, AProgramThatCannotStartIsReported) {
    const auto launched = Workspace::launchApplication("/nonexistent/parlivo-for-whatsapp", {});
    ASSERT_FALSE(launched);
    EXPECT_EQ(launched.error().domain, platform::WorkspaceErrorDomain);
    EXPECT_FALSE(launched.error().message.empty());
}
