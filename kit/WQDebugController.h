#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace tovak {

// The process-wide debug and beta switches, read once from the launch arguments when the
// shared instance is first used: "-de" turns debug logging on, "-beta" the beta update
// channel. Only exact, case-sensitive matches count.
class WQDebugController {
public:
    static WQDebugController& sharedInstance();

    // Reads the saved launch arguments (platform::ProcessInfo).
    WQDebugController();
    // Reads the given argument list (argv[0] included, as the launch arguments).
    explicit WQDebugController(const std::vector<std::string>& arguments);

    WQDebugController(const WQDebugController&) = delete;
    WQDebugController& operator=(const WQDebugController&) = delete;

    bool debug() const { return debug_.load(std::memory_order_relaxed); }
    void setDebug(bool on) { debug_.store(on, std::memory_order_relaxed); }
    bool beta() const { return beta_.load(std::memory_order_relaxed); }
    void setBeta(bool on) { beta_.store(on, std::memory_order_relaxed); }

private:
    // Atomic so that any thread may log while another flips the switch.
    std::atomic<bool> debug_{false};
    std::atomic<bool> beta_{false};
};

}  // namespace tovak
