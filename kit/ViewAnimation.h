#pragma once

#include <functional>
#include <memory>

#include "foundation/Timer.h"

typedef struct _GObject GObject;

namespace tovak {

// One running animation: calls `step` with the eased progress (0 to 1) on main-loop timer ticks
// for `duration` seconds, then `step(1)` and `completion`. It keeps `object` (the animated
// widget or window) alive until it has finished, and keeps itself alive while it runs, so the
// caller may forget it. Main thread only; animations of the same object are not coordinated.
class ViewAnimation : public std::enable_shared_from_this<ViewAnimation> {
public:
    using Step = std::function<void(double progress)>;
    using Completion = std::function<void()>;

    static void run(GObject* object, double duration, Step step, Completion completion);

    ~ViewAnimation();
    ViewAnimation(const ViewAnimation&) = delete;
    ViewAnimation& operator=(const ViewAnimation&) = delete;

    // Ticks per second of a running animation.
    static constexpr double kFramesPerSecond = 60.0;

private:
    ViewAnimation(GObject* object, double duration, Step step, Completion completion);
    void start();
    void tick();

    GObject* object_;
    double duration_;
    Step step_;
    Completion completion_;
    long long startTime_ = 0;
    std::shared_ptr<platform::Timer> timer_;
};

}  // namespace tovak
