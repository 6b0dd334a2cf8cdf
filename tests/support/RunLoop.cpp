#include "RunLoop.h"

#include <glib.h>

#include <memory>

#include "foundation/MainQueue.h"
#include "foundation/ProcessInfo.h"

namespace testsupport {

double timeScale() { return platform::ProcessInfo::testTimeScale(); }

std::chrono::steady_clock::time_point deadlineAfter(double seconds) {
    return std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                  std::chrono::duration<double>(seconds * timeScale()));
}

bool runLoopUntil(const std::function<bool()>& condition, double timeoutSeconds) {
    const auto deadline = deadlineAfter(timeoutSeconds);
    bool timedOut = false;
    const guint guard = g_timeout_add(50, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            timedOut = true;
            break;
        }
        g_main_context_iteration(nullptr, TRUE);
    }
    g_source_remove(guard);
    return !timedOut;
}

bool drainMainQueue(double timeoutSeconds) {
    auto done = std::make_shared<bool>(false);
    platform::MainQueue::async([done] { *done = true; });
    return runLoopUntil([&] { return *done; }, timeoutSeconds);
}

bool drainIdleWork(double timeoutSeconds) {
    auto* done = new bool(false);
    g_idle_add_full(
        G_PRIORITY_LOW,
        [](gpointer data) -> gboolean {
            *static_cast<bool*>(data) = true;
            return G_SOURCE_REMOVE;
        },
        done, nullptr);
    const bool ran = runLoopUntil([&] { return *done; }, timeoutSeconds);
    if (ran) delete done;  // otherwise the marker still holds it
    return ran;
}

bool runLoopPastTimer(double seconds, double timeoutSeconds) {
    auto done = std::make_shared<bool>(false);
    platform::MainQueue::after(seconds, [done] { *done = true; });
    return runLoopUntil([&] { return *done; }, seconds + timeoutSeconds);
}

void runLoopFor(double seconds) {
    const gint64 deadline = g_get_monotonic_time() + gint64(seconds * G_USEC_PER_SEC);
    runLoopUntil([&] { return g_get_monotonic_time() >= deadline; }, seconds + 1.0);
}

}  // namespace testsupport
