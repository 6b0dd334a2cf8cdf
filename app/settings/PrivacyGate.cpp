#include "settings/PrivacyGate.h"

#include "DebugPrint.h"
#include "foundation/MainQueue.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"

namespace parlivo {

namespace {

constexpr std::string_view kClassName = "PrivacyGate";

}  // namespace

PrivacyGate& PrivacyGate::shared() {
    struct Made : PrivacyGate {};
    static auto* gate = new Made();  // never destroyed
    return *gate;
}

PrivacyGate::PrivacyGate() {
    privacyObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
        names::privacyChanged, [this](const platform::Notification&) { lockChanged(); });
}

bool PrivacyGate::isLocked() {
    return platform::UserDefaults::standard().boolForKey(keys::privacyLockdown);
}

void PrivacyGate::showWhenUnlocked(std::function<void()> show, std::function<void()> dismiss) {
    if (!isLocked() && waiting_.empty()) {
        if (show) show();
        return;
    }
    if (waiting_.size() >= maximumWaiting) {
        tovak::debugPrint(kClassName, "Too many requests wait for the lock's release; dismissed one");
        if (dismiss) dismiss();
        return;
    }
    waiting_.push_back({std::move(show), std::move(dismiss)});
    // Unlocked with requests still waiting (the release is on its way): they keep their order.
    if (!isLocked()) lockChanged();
}

platform::ObserverToken PrivacyGate::addLockObserver(std::function<void(bool locked)> changed) {
    return platform::NotificationCenter::defaultCenter().addObserver(
        names::privacyChanged, [changed = std::move(changed)](const platform::Notification&) { changed(isLocked()); });
}

void PrivacyGate::lockChanged() {
    if (isLocked() || waiting_.empty() || releaseScheduled_) return;
    // Later on the main loop: whatever handles the release itself (the cover going, the page
    // shown again) runs first.
    releaseScheduled_ = true;
    platform::MainQueue::async([alive = std::weak_ptr<bool>(alive_), this] {
        if (alive.lock()) releaseWaiting();
    });
}

void PrivacyGate::releaseWaiting() {
    releaseScheduled_ = false;
    // One at a time: a request that shows something may engage the lock again (it should not,
    // but then the rest waits for the next release).
    while (!waiting_.empty() && !isLocked()) {
        Request next = std::move(waiting_.front());
        waiting_.pop_front();
        if (next.show) next.show();
    }
}

}  // namespace parlivo
