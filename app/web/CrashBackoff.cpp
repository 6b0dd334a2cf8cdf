#include "web/CrashBackoff.h"

#include <algorithm>

namespace parlivo {

CrashBackoff::Decision CrashBackoff::processEnded(Clock::time_point now) {
    while (!ends_.empty() && now - ends_.front() > settings_.window) ends_.pop_front();
    ends_.push_back(now);
    Decision decision;
    decision.endsInWindow = static_cast<int>(ends_.size());
    if (decision.endsInWindow > settings_.reloadsPerWindow) return decision;
    decision.reload = true;
    // 1, 2, 4, ... times the first delay; the shift stays small whatever the settings say.
    const int doublings = std::min(decision.endsInWindow - 1, 16);
    decision.delay = settings_.firstDelay * (1 << doublings);
    return decision;
}

}  // namespace parlivo
