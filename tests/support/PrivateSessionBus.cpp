#include "PrivateSessionBus.h"

#include <glib.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace testsupport {
namespace {

GPid daemonPid = 0;

void stopDaemon() {
    if (daemonPid > 0) kill(daemonPid, SIGTERM);
}

bool startDaemon() {
    // The tests' own bus configuration: nothing installed on the machine is started on it.
    const gchar* argv[] = {"dbus-daemon", "--config-file=" PARLIVO_SOURCE_DIR "/tests/dbus/session.conf", "--nofork",
                           "--print-address=1", nullptr};
    gint out = -1;
    GError* error = nullptr;
    // The daemon ends with this test program however it ends (a sanitizer's abort or a time-out's
    // kill runs no exit handler): it is this program's own child (not reaped through an
    // intermediate process, which would leave the daemon's parent gone at once), told to end when
    // its parent does. It keeps none of the test's output channels: ctest waits for a test's
    // output to close, so a daemon left holding it would hold the whole run up until its time-out.
    const GSpawnChildSetupFunc endWithParent = [](gpointer) { prctl(PR_SET_PDEATHSIG, SIGTERM); };
    if (!g_spawn_async_with_pipes(nullptr, const_cast<gchar**>(argv), nullptr,
                                  GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDERR_TO_DEV_NULL), endWithParent, nullptr,
                                  &daemonPid, nullptr, &out, nullptr, &error)) {
        g_clear_error(&error);
        return false;
    }
    std::string address;
    char c = 0;
    while (read(out, &c, 1) == 1 && c != '\n') address += c;
    close(out);
    if (address.empty()) return false;
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    std::atexit(stopDaemon);
    return true;
}

}  // namespace

bool usePrivateSessionBus() {
    static const bool started = startDaemon();
    return started;
}

GDBusConnection* newSessionBusConnection() {
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!address) return nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address,
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    g_free(address);
    return bus;
}

}  // namespace testsupport
