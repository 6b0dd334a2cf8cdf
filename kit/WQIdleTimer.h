#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/ObserverToken.h"

namespace platform {
class Timer;
}

namespace tovak {

// The name of the notification the idle timer posts (object: the timer).
inline constexpr std::string_view kWQIdleTimerNotification = "kWQIdleTimerNotification";

// Posts kWQIdleTimerNotification once the user has not used this program for a number of
// seconds. Input counts only when it reaches the program's own windows; it is sampled every
// 5 seconds. The notification comes once per run: the timer stops itself before posting.
// Main thread only; destroying the timer stops it.
class WQIdleTimer {
public:
    static constexpr std::string_view kClassName = "WQIdleTimer";
    using Clock = std::chrono::steady_clock;

    // Left mouse down, right mouse down, mouse moved, left mouse dragged, mouse entered,
    // key down, key up (platform::UserEventType bits).
    static constexpr std::uint64_t kDefaultEventMask = 0xD6A;

    // Where time and input come from; the default is the steady clock, the program's own
    // windows and a 5-second tick. Tests put in their own.
    struct Environment {
        std::function<Clock::time_point()> now;
        std::function<platform::ObserverToken(std::uint64_t mask, std::function<void()> onInput)> addMonitor;
        double tickInterval = 5.0;
    };
    static Environment defaultEnvironment();

    WQIdleTimer();
    explicit WQIdleTimer(Environment environment);
    ~WQIdleTimer();
    WQIdleTimer(const WQIdleTimer&) = delete;
    WQIdleTimer& operator=(const WQIdleTimer&) = delete;

    // Starts (or restarts) watching; the notification comes once `seconds` idle seconds are reached.
    void run(int notifyAfterSeconds);
    // Starts a new idle period and watching with the interval already set.
    void start();
    // Begins a new idle period now.
    void reset();
    // Stops watching; the measured values stay until the next tick.
    void stop();
    // One sample of the idle time; the tick timer calls it.
    void tick();

    // Idle seconds as of the last tick; none while stopped.
    std::optional<int> secondsPassed() const;
    // Seconds left as of the last tick; none while stopped or without an interval.
    std::optional<int> secondsLeft() const;
    bool isRunning() const;

    std::optional<std::string> title;

private:
    Environment environment_;
    std::shared_ptr<platform::Timer> timer_;
    std::optional<int> secondsNotify_;
    Clock::time_point beginDate_;
    int secondsPassed_ = 0;
    std::uint64_t eventMask_ = kDefaultEventMask;
    platform::ObserverToken eventMonitor_;
};

}  // namespace tovak
