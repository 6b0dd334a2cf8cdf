#include "system/SessionBus.h"

#include <mutex>
#include <string>

#include "foundation/Log.h"

namespace platform {
namespace {

// One reference is held for good: GLib closes its shared connection when the last one goes,
// and a later g_bus_get would open a new connection without our names and subscriptions.
std::mutex connectionMutex;
GDBusConnection* heldConnection = nullptr;
bool reportedNoBus = false;

// Holds a reference to `bus` (GLib's shared connection, or null) unless one is held already.
void keep(GDBusConnection* bus) {
    std::lock_guard lock(connectionMutex);
    if (bus && !heldConnection) heldConnection = G_DBUS_CONNECTION(g_object_ref(bus));
}

}  // namespace

GDBusConnection* sessionBus() {
    {
        std::lock_guard lock(connectionMutex);
        if (heldConnection || reportedNoBus) return heldConnection;
    }
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    keep(bus);
    if (bus) g_object_unref(bus);  // held above
    std::lock_guard lock(connectionMutex);
    if (!bus && !reportedNoBus) {
        reportedNoBus = true;
        systemLog(std::string("No session bus: ") + (error ? error->message : "unknown error"), LogLevel::warning);
    }
    g_clear_error(&error);
    return heldConnection;
}

void sessionBusAsync(GCancellable* cancellable, std::function<void(GDBusConnection*, const GError*)> ready) {
    using Ready = std::function<void(GDBusConnection*, const GError*)>;
    g_bus_get(
        G_BUS_TYPE_SESSION, cancellable,
        [](GObject*, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Ready> ready(static_cast<Ready*>(data));
            GError* error = nullptr;
            GDBusConnection* bus = g_bus_get_finish(result, &error);
            if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
                // Without a bus the caller tells its own story: what it cannot do without one.
                keep(bus);
                if (*ready) (*ready)(bus, error);
            }
            if (bus) g_object_unref(bus);
            g_clear_error(&error);
        },
        new Ready(std::move(ready)));
}

namespace dbus {

void call(GDBusConnection* bus, const Target& to, const char* method, GVariant* parameters,
          const GVariantType* replyType, Reply reply, const CallOptions& options) {
    if (!reply) {
        g_dbus_connection_call(bus, to.name, to.path, to.interface, method, parameters, replyType, options.flags,
                               options.timeoutMs, options.cancellable, nullptr, nullptr);
        return;
    }
    g_dbus_connection_call(
        bus, to.name, to.path, to.interface, method, parameters, replyType, options.flags, options.timeoutMs,
        options.cancellable,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Reply> reply(static_cast<Reply*>(data));
            GError* error = nullptr;
            Variant answer(g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error));
            (*reply)(answer.get(), error);
            g_clear_error(&error);
        },
        new Reply(std::move(reply)));
}

Variant callSync(GDBusConnection* bus, const Target& to, const char* method, GVariant* parameters,
                 const GVariantType* replyType, int timeoutMs, GError** error) {
    return Variant(g_dbus_connection_call_sync(bus, to.name, to.path, to.interface, method, parameters, replyType,
                                               G_DBUS_CALL_FLAGS_NONE, timeoutMs, nullptr, error));
}

SignalSubscription::SignalSubscription(GDBusConnection* bus, const SignalMatch& match, Handler handler) {
    if (!bus) return;
    registerBox(
        bus, {std::move(handler)}, [](GDBusConnection* bus, guint id) { g_dbus_connection_signal_unsubscribe(bus, id); },
        [&](GDBusConnection* bus, gpointer data, GDestroyNotify destroy) {
            return g_dbus_connection_signal_subscribe(
                bus, match.sender, match.interface, match.member, match.path, match.arg0, G_DBUS_SIGNAL_FLAGS_NONE,
                [](GDBusConnection*, const gchar* sender, const gchar* path, const gchar*, const gchar* member,
                   GVariant* parameters, gpointer data) {
                    if (auto handler = boxOf(data)->handler) handler(Signal{sender, path, member, parameters});
                },
                data, destroy);
        });
}

NameWatch::NameWatch(GDBusConnection* bus, const char* name, Appeared appeared, Vanished vanished) {
    if (!bus || !name || !g_dbus_is_name(name)) return;
    registerBox(
        bus, {std::move(appeared), std::move(vanished)}, [](GDBusConnection*, guint id) { g_bus_unwatch_name(id); },
        [&](GDBusConnection* bus, gpointer data, GDestroyNotify destroy) {
            return g_bus_watch_name_on_connection(
                bus, name, G_BUS_NAME_WATCHER_FLAGS_NONE,
                [](GDBusConnection*, const gchar*, const gchar* owner, gpointer data) {
                    if (auto appeared = boxOf(data)->appeared) appeared(owner ? owner : "");
                },
                [](GDBusConnection*, const gchar*, gpointer data) {
                    if (auto vanished = boxOf(data)->vanished) vanished();
                },
                data, destroy);
        });
}

namespace detail {

bool isOfType(GVariant* value, const std::string& type) {
    return value && g_variant_type_string_is_valid(type.c_str()) &&
           g_variant_is_of_type(value, G_VARIANT_TYPE(type.c_str()));
}

void take(GVariant* value, bool& out) { out = g_variant_get_boolean(value); }
void take(GVariant* value, std::uint32_t& out) { out = g_variant_get_uint32(value); }
void take(GVariant* value, std::int32_t& out) { out = g_variant_get_int32(value); }
void take(GVariant* value, std::int64_t& out) { out = g_variant_get_int64(value); }
void take(GVariant* value, std::string& out) { out = g_variant_get_string(value, nullptr); }
void take(GVariant* value, ObjectPath& out) { out.path = g_variant_get_string(value, nullptr); }
void take(GVariant* value, Variant& out) { out = Variant(g_variant_get_variant(value)); }

void take(GVariant* value, std::vector<std::string>& out) {
    out.clear();
    const gsize count = g_variant_n_children(value);
    out.reserve(count);
    for (gsize i = 0; i < count; ++i) {
        Variant child(g_variant_get_child_value(value, i));
        out.emplace_back(g_variant_get_string(child.get(), nullptr));
    }
}

}  // namespace detail

std::optional<std::uint32_t> readUint32(GVariant* value) {
    if (!value) return std::nullopt;
    Variant current(g_variant_ref(value));
    while (g_variant_is_of_type(current.get(), G_VARIANT_TYPE_VARIANT)) current = Variant(g_variant_get_variant(current.get()));
    if (!g_variant_is_of_type(current.get(), G_VARIANT_TYPE_UINT32)) return std::nullopt;
    return g_variant_get_uint32(current.get());
}

}  // namespace dbus
}  // namespace platform
