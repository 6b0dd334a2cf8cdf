#include "system/LauncherEntry.h"

#include <gio/gio.h>

#include "foundation/Log.h"
#include "system/SessionBus.h"

namespace platform {

LauncherEntry& LauncherEntry::shared() {
    static LauncherEntry* entry = new LauncherEntry(kDefaultAppURI);  // never destroyed
    return *entry;
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
