#include "DistributedNotificationCenter.h"

#include <gio/gio.h>

#include "Log.h"
#include "system/SessionBus.h"

namespace platform {

struct DistributedNotificationCenter::Connection {
    GDBusConnection* bus = nullptr;  // the process's session connection, borrowed
};

namespace {

struct Subscription {
    std::string name;
    DistributedNotificationCenter::Block block;
};

void onSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
              gpointer data) {
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ss)"))) return;  // someone else's malformed post
    const gchar* name = nullptr;
    const gchar* object = nullptr;
    g_variant_get(parameters, "(&s&s)", &name, &object);
    auto* subscription = static_cast<Subscription*>(data);
    if (subscription->block) subscription->block(name, object);
}

}  // namespace

DistributedNotificationCenter::DistributedNotificationCenter() : connection_(std::make_shared<Connection>()) {
    connection_->bus = sessionBus();
}

DistributedNotificationCenter& DistributedNotificationCenter::defaultCenter() {
    static DistributedNotificationCenter* center = new DistributedNotificationCenter;  // lives until exit
    return *center;
}

ObserverToken DistributedNotificationCenter::addObserver(const std::string& name, Block block) {
    if (!connection_->bus) return {};
    // The signal's first argument is matched by the bus itself (arg0), so we only wake for ours.
    const guint id = g_dbus_connection_signal_subscribe(
        connection_->bus, nullptr, kInterface, kMember, kPath, name.c_str(), G_DBUS_SIGNAL_FLAGS_NONE, onSignal,
        new Subscription{name, std::move(block)}, [](gpointer p) { delete static_cast<Subscription*>(p); });
    std::weak_ptr<Connection> weak = connection_;
    return ObserverToken([weak, id] {
        if (auto connection = weak.lock(); connection && connection->bus)
            g_dbus_connection_signal_unsubscribe(connection->bus, id);
    });
}

bool DistributedNotificationCenter::post(const std::string& name, const std::string& object) {
    if (!connection_->bus) return false;
    // D-Bus strings must be UTF-8; GLib would refuse to build the message with a critical.
    if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr) ||
        !g_utf8_validate(object.data(), static_cast<gssize>(object.size()), nullptr)) {
        systemLog("DistributedNotificationCenter: not posting a name or object that is not UTF-8", LogLevel::warning);
        return false;
    }
    GError* error = nullptr;
    const bool sent = g_dbus_connection_emit_signal(connection_->bus, nullptr, kPath, kInterface, kMember,
                                                    g_variant_new("(ss)", name.c_str(), object.c_str()), &error);
    if (!sent) {
        systemLog(std::string("DistributedNotificationCenter: post failed: ") + error->message, LogLevel::warning);
        g_clear_error(&error);
    } else {
        g_dbus_connection_flush_sync(connection_->bus, nullptr, nullptr);
    }
    return sent;
}

}  // namespace platform
