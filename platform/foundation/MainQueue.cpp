#include "MainQueue.h"

#include <glib.h>

#include <cmath>
#include <thread>

namespace platform {
namespace {

using Work = std::function<void()>;

gboolean runOnce(gpointer data) {
    (*static_cast<Work*>(data))();
    return G_SOURCE_REMOVE;
}

void destroyWork(gpointer data) {
    delete static_cast<Work*>(data);
}

const std::thread::id mainThreadId = std::this_thread::get_id();

}  // namespace

void MainQueue::async(std::function<void()> work) {
    if (!work) return;
    // g_idle_add is thread-safe and wakes the default context.
    g_idle_add_full(G_PRIORITY_DEFAULT, runOnce, new Work(std::move(work)), destroyWork);
}

void MainQueue::after(double seconds, std::function<void()> work) {
    if (!work) return;
    if (!(seconds > 0)) return async(std::move(work));
    const double ms = std::min(seconds * 1000.0, double(G_MAXUINT));
    g_timeout_add_full(G_PRIORITY_DEFAULT, guint(std::llround(ms)), runOnce,
                       new Work(std::move(work)), destroyWork);
}

bool MainQueue::isMainThread() {
    return std::this_thread::get_id() == mainThreadId;
}

}  // namespace platform
