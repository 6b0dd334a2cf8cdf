#include "WQIdleTimer.h"

#include <cmath>

#include "DebugPrint.h"
#include "foundation/NotificationCenter.h"
#include "foundation/Timer.h"
#include "ui/UserActivityMonitor.h"

namespace tovak {
namespace {

std::string optionalText(const std::optional<int>& value) {
    return value ? "Optional(" + std::to_string(*value) + ")" : "nil";
}

}  // namespace

WQIdleTimer::Environment WQIdleTimer::defaultEnvironment() {
    Environment environment;
    environment.now = [] { return Clock::now(); };
    environment.addMonitor = [](std::uint64_t mask, std::function<void()> onInput) {
        return platform::UserActivityMonitor::addLocalMonitor(
            mask, [onInput = std::move(onInput)](platform::UserEventType) { onInput(); });
    };
    return environment;
}

WQIdleTimer::WQIdleTimer() : WQIdleTimer(defaultEnvironment()) {}

// The idle period is measured on a steady clock, so a change of the wall clock neither locks
// at once nor postpones the lock.
WQIdleTimer::WQIdleTimer(Environment environment)
    : environment_(std::move(environment)), beginDate_(environment_.now()) {}

WQIdleTimer::~WQIdleTimer() {
    stop();
}

void WQIdleTimer::run(int notifyAfterSeconds) {
    secondsNotify_ = notifyAfterSeconds;
    start();
}

void WQIdleTimer::start() {
    if (timer_) {
        timer_->invalidate();
        timer_.reset();
    }
    beginDate_ = environment_.now();
    eventMonitor_.reset();
    if (environment_.addMonitor) {
        // Only stores the time: this runs for every mouse movement and key stroke.
        eventMonitor_ = environment_.addMonitor(eventMask_, [this] { beginDate_ = environment_.now(); });
    }
    timer_ = platform::Timer::scheduled(environment_.tickInterval, true, [this](platform::Timer&) { tick(); });
}

void WQIdleTimer::reset() {
    beginDate_ = environment_.now();
}

void WQIdleTimer::stop() {
    eventMonitor_.reset();
    if (timer_) {
        timer_->invalidate();
        timer_.reset();
    }
    beginDate_ = environment_.now();
}

void WQIdleTimer::tick() {
    const std::chrono::duration<double> idle = environment_.now() - beginDate_;
    secondsPassed_ = int(std::trunc(std::min(idle.count(), 2.0e9)));
    debugPrint(kClassName, "Tick: Passed " + optionalText(secondsPassed()) + " Left: " + optionalText(secondsLeft()));
    if (secondsNotify_ && secondsPassed_ >= *secondsNotify_) {
        debugPrint(kClassName, "WQIdleTimer: Sending Notification");
        stop();
        platform::NotificationCenter::defaultCenter().post(kWQIdleTimerNotification, this);
    }
}

std::optional<int> WQIdleTimer::secondsPassed() const {
    if (!timer_) return std::nullopt;
    return secondsPassed_;
}

std::optional<int> WQIdleTimer::secondsLeft() const {
    if (!timer_ || !secondsNotify_) return std::nullopt;
    return *secondsNotify_ - secondsPassed_;
}

bool WQIdleTimer::isRunning() const {
    return timer_ != nullptr;
}

}  // namespace tovak
