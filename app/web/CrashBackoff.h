#pragma once

#include <chrono>
#include <deque>

namespace parlivo {

// When the page comes back after its web or network process ended. The first ends within a
// short time reload it after a growing delay (so a process that dies at every start is not
// started again and again at full speed); one more gives up, and the caller shows the
// connection-error screen, whose Try Again starts over. Ends older than the window are
// forgotten. No timers of its own: the caller passes the time.
class CrashBackoff {
public:
    using Clock = std::chrono::steady_clock;

    struct Settings {
        std::chrono::milliseconds firstDelay{1000};  // doubled for each further end in the window
        int reloadsPerWindow = 3;                     // ends in the window that still reload
        std::chrono::seconds window{120};
    };

    struct Decision {
        bool reload = false;                  // false: give up, show the error screen
        std::chrono::milliseconds delay{0};   // before the reload
        int endsInWindow = 0;                 // this one included
    };

    CrashBackoff() = default;
    explicit CrashBackoff(Settings settings) : settings_(settings) {}

    // A process ended at `now`.
    Decision processEnded(Clock::time_point now);
    // The user asked for the page again (Try Again): what ended before counts no more.
    void reset() { ends_.clear(); }

    const Settings& settings() const { return settings_; }

private:
    Settings settings_;
    std::deque<Clock::time_point> ends_;
};

}  // namespace parlivo
