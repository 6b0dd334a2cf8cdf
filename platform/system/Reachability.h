#pragma once

#include <functional>
#include <memory>

namespace platform {

// Watches whether the machine can reach the network, through GIO's network monitor (NetworkManager,
// netlink routes or the portal, whichever GIO picks). Main thread only.
class Reachability {
public:
    // None when GIO offers no network monitor.
    static std::unique_ptr<Reachability> create();
    ~Reachability();
    Reachability(const Reachability&) = delete;
    Reachability& operator=(const Reachability&) = delete;

    // Whether the network was available at the monitor's last report.
    bool isReachable() const { return reachable_; }

    // Starts following the monitor's reports; false when it cannot. While notifying, every report
    // that the network is available calls `whenReachable` on the main loop.
    bool startNotifier();
    void stopNotifier();
    bool isNotifying() const { return signal_ != 0; }

    std::function<void(Reachability&)> whenReachable;

private:
    Reachability(void* monitor);
    void networkChanged(bool available);

    void* monitor_;  // GNetworkMonitor, owned by GIO
    bool reachable_ = false;
    unsigned long signal_ = 0;
};

}  // namespace platform
