#pragma once

#include <functional>
#include <memory>

namespace platform {

// A main-loop timer. Create and use it on the main thread. It fires after `interval` seconds,
// again every `interval` when it repeats, until invalidated or destroyed. The block is given the
// timer, so a repeating timer can stop itself.
class Timer : public std::enable_shared_from_this<Timer> {
public:
    using Block = std::function<void(Timer&)>;

    static std::shared_ptr<Timer> scheduled(double interval, bool repeats, Block block);
    ~Timer();

    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void invalidate();
    bool isValid() const { return sourceId_ != 0; }
    // Runs the block now; a non-repeating timer is invalidated first, as when it fires on time.
    void fire();
    double interval() const { return interval_; }
    bool repeats() const { return repeats_; }

private:
    Timer(double interval, bool repeats, Block block);
    void schedule();
    static int onTick(void* data);

    double interval_;
    bool repeats_;
    Block block_;
    unsigned sourceId_ = 0;
};

}  // namespace platform
