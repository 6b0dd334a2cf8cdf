#pragma once

#include <functional>

namespace platform {

// The main queue: the GLib main loop that the main thread runs. Safe to call from any thread;
// the work always runs later on the main thread, in the order it was posted.
class MainQueue {
public:
    static void async(std::function<void()> work);
    // Runs `work` on the main thread after `seconds` (fire and forget; use Timer to cancel).
    static void after(double seconds, std::function<void()> work);

    // True on the thread that owns the default main context (the main thread): the thread that
    // runs it at the moment, or, while no thread does, the process's first thread.
    static bool isMainThread();
};

}  // namespace platform
