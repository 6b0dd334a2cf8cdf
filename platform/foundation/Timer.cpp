#include "Timer.h"

#include <glib.h>

#include <algorithm>
#include <cmath>

namespace platform {

Timer::Timer(double interval, bool repeats, Block block)
    : interval_(std::max(0.0, interval)), repeats_(repeats), block_(std::move(block)) {}

Timer::~Timer() {
    invalidate();
}

std::shared_ptr<Timer> Timer::scheduled(double interval, bool repeats, Block block) {
    std::shared_ptr<Timer> timer(new Timer(interval, repeats, std::move(block)));
    timer->schedule();
    return timer;
}

void Timer::schedule() {
    // The source holds a weak reference, so a destroyed timer never fires.
    auto* weak = new std::weak_ptr<Timer>(weak_from_this());
    const double ms = std::min(interval_ * 1000.0, double(G_MAXUINT));
    // A repeating timer never spins the loop: it waits at least 1 ms.
    const guint delay = guint(std::max(repeats_ ? 1.0 : 0.0, std::round(ms)));
    sourceId_ = g_timeout_add_full(G_PRIORITY_DEFAULT, delay, reinterpret_cast<GSourceFunc>(&Timer::onTick), weak,
                                   [](gpointer p) { delete static_cast<std::weak_ptr<Timer>*>(p); });
}

int Timer::onTick(void* data) {
    auto timer = static_cast<std::weak_ptr<Timer>*>(data)->lock();
    if (!timer || timer->sourceId_ == 0) return G_SOURCE_REMOVE;
    if (!timer->repeats_) {
        timer->sourceId_ = 0;  // the source ends by returning G_SOURCE_REMOVE
        if (timer->block_) timer->block_(*timer);
        return G_SOURCE_REMOVE;
    }
    if (timer->block_) timer->block_(*timer);
    // The block may have invalidated the timer, which already removed the source.
    return timer->sourceId_ != 0 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void Timer::invalidate() {
    if (sourceId_ != 0) {
        const unsigned id = sourceId_;
        sourceId_ = 0;
        // Inside the block of a repeating timer the source is still attached; removing it
        // here is safe, and onTick then returns G_SOURCE_REMOVE without touching it again.
        if (GSource* source = g_main_context_find_source_by_id(nullptr, id)) g_source_destroy(source);
    }
}

void Timer::fire() {
    auto keep = shared_from_this();
    if (!repeats_) invalidate();
    if (block_) block_(*this);
}

}  // namespace platform
