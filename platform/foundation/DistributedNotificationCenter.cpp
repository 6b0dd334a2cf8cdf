#include "DistributedNotificationCenter.h"

#include <gio/gio.h>

#include "Log.h"
#include "system/SessionBus.h"

namespace platform {

struct DistributedNotificationCenter::Connection {
    GDBusConnection* bus = nullptr;  // the process's session connection, borrowed
};

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
    auto subscription = std::make_shared<dbus::SignalSubscription>(
        connection_->bus, dbus::SignalMatch{.interface = kInterface, .member = kMember, .path = kPath, .arg0 = name.c_str()},
        [block = std::move(block)](const dbus::Signal& signal) {
            auto post = dbus::read<std::string, std::string>(signal.parameters);
            if (!post) return;  // someone else's malformed post
            const auto& [postedName, object] = *post;
            if (block) block(postedName, object);
        });
    return ObserverToken([subscription] { subscription->reset(); });
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
        // Written out before returning, as LaunchHelper posts and may quit right after. This
        // waits only for the local socket write, never for a peer's answer.
        g_dbus_connection_flush_sync(connection_->bus, nullptr, nullptr);
    }
    return sent;
}

}  // namespace platform
