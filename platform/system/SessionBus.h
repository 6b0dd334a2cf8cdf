#pragma once

#include <gio/gio.h>

namespace platform {

// The process's connection to the session bus: GLib's shared connection, opened on first use and
// kept open for the life of the process, so a name owned or a signal subscribed through it stays.
// Every part of the platform layer that talks on the session bus uses this one. Callers borrow it:
// they never unref it. Null without a session bus (logged once).
GDBusConnection* sessionBus();

}  // namespace platform
