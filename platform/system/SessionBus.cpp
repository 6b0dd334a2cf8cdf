#include "system/SessionBus.h"

#include <string>

#include "foundation/Log.h"

namespace platform {

GDBusConnection* sessionBus() {
    // One reference is held for good: GLib closes its shared connection when the last one goes,
    // and a later g_bus_get would open a new connection without our names and subscriptions.
    static GDBusConnection* connection = [] {
        GError* error = nullptr;
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        if (!bus) {
            systemLog(std::string("No session bus: ") + (error ? error->message : "unknown error"), LogLevel::warning);
            g_clear_error(&error);
        }
        return bus;
    }();
    return connection;
}

}  // namespace platform
