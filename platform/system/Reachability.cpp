#include "system/Reachability.h"

#include <gio/gio.h>

namespace platform {

std::unique_ptr<Reachability> Reachability::create() {
    GNetworkMonitor* monitor = g_network_monitor_get_default();
    if (!monitor) return nullptr;
    return std::unique_ptr<Reachability>(new Reachability(monitor));
}

Reachability::Reachability(void* monitor)
    : monitor_(monitor), reachable_(g_network_monitor_get_network_available(G_NETWORK_MONITOR(monitor))) {}

Reachability::~Reachability() { stopNotifier(); }

bool Reachability::startNotifier() {
    if (signal_ != 0) return true;
    signal_ = g_signal_connect(monitor_, "network-changed", G_CALLBACK(+[](GNetworkMonitor*, gboolean available, gpointer data) {
                                   static_cast<Reachability*>(data)->networkChanged(available);
                               }),
                               this);
    return signal_ != 0;
}

void Reachability::stopNotifier() {
    if (signal_ == 0) return;
    g_signal_handler_disconnect(monitor_, signal_);
    signal_ = 0;
}

void Reachability::networkChanged(bool available) {
    reachable_ = available;
    if (!available || !whenReachable) return;
    // The callback may let go of this observer.
    auto callback = whenReachable;
    callback(*this);
}

}  // namespace platform
