#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>

#include "foundation/ObserverToken.h"

namespace parlivo {

// While the privacy lock is on, nothing the page asks for may appear on screen: its alerts, its
// HTML panel, a save panel with its file name. Whatever would show such a thing asks the gate:
// unlocked, it goes ahead at once; locked, it waits here, in order, and goes ahead once the lock
// is released (after everything that handles the release itself, so the cover is gone by then).
// A request that cannot wait (too many wait already) is dismissed instead.
//
// The gate also tells its followers when the lock engages and when it is released, so that
// something already on screen can step aside (hide) and come back.
//
// One shared instance, made on first use and never destroyed. Main thread only.
class PrivacyGate {
public:
    // Requests beyond this many are dismissed at once: a page must not pile up work behind the lock.
    static constexpr std::size_t maximumWaiting = 32;

    static PrivacyGate& shared();

    // Whether the program is locked now ("privacyLockdown").
    static bool isLocked();

    // Runs `show` now when unlocked. While locked it waits and runs once the lock is released;
    // `dismiss` (if any) runs at once instead when maximumWaiting requests wait already. Each
    // request ends in exactly one of the two.
    void showWhenUnlocked(std::function<void()> show, std::function<void()> dismiss = {});

    // How many requests wait for the lock's release.
    std::size_t waitingCount() const { return waiting_.size(); }

    // Runs `changed(locked)` on every engagement and release of the lock, while the token lives.
    [[nodiscard]] platform::ObserverToken addLockObserver(std::function<void(bool locked)> changed);

protected:
    PrivacyGate();

private:
    struct Request {
        std::function<void()> show;
        std::function<void()> dismiss;
    };
    void lockChanged();
    void releaseWaiting();

    std::deque<Request> waiting_;
    bool releaseScheduled_ = false;
    platform::ObserverToken privacyObserver_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace parlivo
