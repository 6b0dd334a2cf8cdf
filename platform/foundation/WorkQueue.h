#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// Work off the main thread. A serial queue runs its work one item at a time, in order, on its
// own thread; the global queue is a small pool of worker threads. Destroying a queue runs what
// was already posted, then joins its threads.
class WorkQueue {
public:
    explicit WorkQueue(std::string label, unsigned threads = 1);
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    // The process-wide concurrent queue ("a global queue").
    static WorkQueue& global();

    void async(std::function<void()> work);
    const std::string& label() const { return label_; }
    // True when called from one of this queue's threads.
    bool isCurrent() const;

private:
    void runWorker();

    std::string label_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> pending_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace platform
