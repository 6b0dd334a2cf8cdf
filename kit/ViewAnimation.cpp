#include "ViewAnimation.h"

#include <glib-object.h>

#include <algorithm>
#include <set>

namespace tovak {
namespace {

// The animations in flight; each removes itself when done.
std::set<std::shared_ptr<ViewAnimation>>& running() {
    static auto* animations = new std::set<std::shared_ptr<ViewAnimation>>;  // never destroyed
    return *animations;
}

// Ease in and out, like the platform's default timing.
double ease(double t) {
    return t * t * (3.0 - 2.0 * t);
}

}  // namespace

void ViewAnimation::run(GObject* object, double duration, Step step, Completion completion) {
    std::shared_ptr<ViewAnimation> animation(
        new ViewAnimation(object, duration, std::move(step), std::move(completion)));
    running().insert(animation);
    animation->start();
}

ViewAnimation::ViewAnimation(GObject* object, double duration, Step step, Completion completion)
    : object_(object ? static_cast<GObject*>(g_object_ref(object)) : nullptr),
      duration_(std::max(0.0, duration)),
      step_(std::move(step)),
      completion_(std::move(completion)) {}

ViewAnimation::~ViewAnimation() {
    if (timer_) timer_->invalidate();
    if (object_) g_object_unref(object_);
}

void ViewAnimation::start() {
    startTime_ = g_get_monotonic_time();
    std::weak_ptr<ViewAnimation> weak = weak_from_this();
    timer_ = platform::Timer::scheduled(1.0 / kFramesPerSecond, true, [weak](platform::Timer&) {
        if (auto self = weak.lock()) self->tick();
    });
}

void ViewAnimation::tick() {
    const double elapsed = double(g_get_monotonic_time() - startTime_) / G_USEC_PER_SEC;
    if (duration_ > 0 && elapsed < duration_) {
        if (step_) step_(ease(elapsed / duration_));
        return;
    }
    timer_->invalidate();
    auto self = shared_from_this();  // alive until the completion has run
    running().erase(self);
    if (step_) step_(1.0);
    if (completion_) completion_();
}

}  // namespace tovak
