// The README's run command, twice: the first serves the configuration on a free port and the
// program asks it there; the second reaches the running program and leaves the first one running.
#include <gtest/gtest.h>
#include <gio/gio.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "RunLoop.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

bool programRuns() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return false;
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "NameHasOwner",
                                                  g_variant_new("(s)", "net.vantreo.mac.WhatsApp"),
                                                  G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    g_object_unref(bus);
    gboolean owned = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    return owned;
}

pid_t startRun(const fs::path& log) {
    const std::string command = "exec bash " PARLIVO_SOURCE_DIR "/scripts/run --no-build >" + log.string() + " 2>&1";
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t pid = -1;
    if (posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return -1;
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string contents(const fs::path& file) {
    std::stringstream text;
    text << std::ifstream(file).rdbuf();
    return text.str();
}

}  // namespace

TEST(RunScript, ASecondRunReachesTheRunningProgram) {
    setenv("PARLIVO_BUILD_DIR", PARLIVO_BUILD_DIR, 1);
    const fs::path folder = std::getenv("TMPDIR");
    const pid_t first = startRun(folder / "first.log");
    ASSERT_GT(first, 0);
    ASSERT_TRUE(testsupport::runLoopUntil(programRuns, 60)) << contents(folder / "first.log");
    // The program asks the run's own server, on the free port it took, for its configuration.
    EXPECT_TRUE(testsupport::runLoopUntil(
        [&] { return contents(folder / "first.log").find("POST /ParlivoForWhatsApp/") != std::string::npos; }, 60))
        << contents(folder / "first.log");

    const pid_t second = startRun(folder / "second.log");
    ASSERT_GT(second, 0);
    EXPECT_EQ(waitFor(second), 0) << contents(folder / "second.log");
    EXPECT_NE(contents(folder / "second.log").find("already running"), std::string::npos);
    EXPECT_EQ(kill(first, 0), 0) << "the first run goes on";
    EXPECT_TRUE(programRuns());

    kill(first, SIGTERM);
    waitFor(first);
    EXPECT_FALSE(programRuns());
}
