#include "WorkQueue.h"

#include <algorithm>

namespace platform {

WorkQueue::WorkQueue(std::string label, unsigned threads) : label_(std::move(label)) {
    threads = std::max(1u, threads);
    for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { runWorker(); });
}

WorkQueue::~WorkQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : threads_)
        if (t.joinable()) t.join();
}

WorkQueue& WorkQueue::global() {
    // Never destroyed: work posted during exit must not touch a joined pool.
    static WorkQueue* queue = new WorkQueue("global", std::clamp(std::thread::hardware_concurrency(), 2u, 4u));
    return *queue;
}

void WorkQueue::async(std::function<void()> work) {
    if (!work) return;
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(work));
    }
    wake_.notify_one();
}

bool WorkQueue::isCurrent() const {
    const auto me = std::this_thread::get_id();
    return std::any_of(threads_.begin(), threads_.end(), [&](const std::thread& t) { return t.get_id() == me; });
}

void WorkQueue::runWorker() {
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || !pending_.empty(); });
            if (pending_.empty()) return;  // stopping, and everything posted has run
            work = std::move(pending_.front());
            pending_.pop_front();
        }
        work();
    }
}

}  // namespace platform
