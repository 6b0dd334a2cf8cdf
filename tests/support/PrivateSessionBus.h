#pragma once

#include <gio/gio.h>

namespace testsupport {

// Gives this test program a session bus of its own: starts a dbus-daemon with the tests' bus
// configuration (tests/dbus/session.conf, which starts no service of the machine) and points DBUS_SESSION_BUS_ADDRESS at it (the daemon ends with the program).
// Tests that own well-known names (the program's, the helper's, the portal's) or count
// broadcast notifications use it, so test programs running side by side do not see each other.
// Call it before anything connects to the session bus; later calls do nothing.
// Returns false when no daemon could be started.
bool usePrivateSessionBus();

// A connection of its own to the session bus, apart from GLib's shared one, standing in for
// another program (a fake service, a listener, an impostor). The caller closes and unrefs it.
// Null without a session bus.
GDBusConnection* newSessionBusConnection();

}  // namespace testsupport
