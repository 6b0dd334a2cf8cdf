#include "MainQueue.h"

#include <glib.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <cmath>

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

// The process's first thread (its thread id is the process id).
bool isInitialThread() {
    return static_cast<pid_t>(syscall(SYS_gettid)) == getpid();
}

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
    GMainContext* context = g_main_context_default();
    // While a loop runs the default context (the application's, or a test's), its thread owns it.
    if (g_main_context_is_owner(context)) return true;
    // Nobody runs it: the main thread is the process's first thread. Only that thread needs to
    // ask GLib whether another thread holds the context now; it lets go again at once.
    if (!isInitialThread()) return false;
    if (!g_main_context_acquire(context)) return false;  // another thread runs the loop
    g_main_context_release(context);
    return true;
}

}  // namespace platform
