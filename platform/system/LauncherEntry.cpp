#include "system/LauncherEntry.h"

#include <gio/gio.h>

#include "foundation/Log.h"

namespace platform {

namespace {

GDBusConnection* sessionBus() {
    static GDBusConnection* connection = [] {
        GError* error = nullptr;
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        if (!bus) {
            systemLog(std::string("LauncherEntry: no session bus, the launcher badge is not shown: ") +
                          (error ? error->message : "unknown error"),
                      LogLevel::warning);
            g_clear_error(&error);
        }
        return bus;
    }();
    return connection;
}

}  // namespace

LauncherEntry& LauncherEntry::shared() {
    static LauncherEntry entry(kDefaultAppURI);
    return entry;
}

LauncherEntry::LauncherEntry(std::string appURI) : appURI_(std::move(appURI)) {}

void LauncherEntry::setBadgeCount(std::optional<std::int64_t> count) {
    count_ = count;
    GDBusConnection* bus = sessionBus();
    if (!bus) return;
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&properties, "{sv}", "count", g_variant_new_int64(count.value_or(0)));
    g_variant_builder_add(&properties, "{sv}", "count-visible", g_variant_new_boolean(count.has_value()));
    GError* error = nullptr;
    if (!g_dbus_connection_emit_signal(bus, nullptr, kPath, kInterface, kMember,
                                       g_variant_new("(sa{sv})", appURI_.c_str(), &properties), &error)) {
        systemLog(std::string("LauncherEntry: could not send the badge: ") + error->message, LogLevel::warning);
        g_clear_error(&error);
    }
}

}  // namespace platform
