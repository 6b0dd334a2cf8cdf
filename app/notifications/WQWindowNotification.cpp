#include "notifications/WQWindowNotification.h"

#include <algorithm>

#include "foundation/MainQueue.h"

namespace parlivo {

std::shared_ptr<WQWindowNotification> WQWindowNotification::create(
    std::string text, std::string imageName, std::string button1Title, Action button1Action,
    std::optional<std::string> button2Title, Action button2Action, std::optional<std::string> button3Title,
    Action button3Action, std::int64_t priority) {
    struct Made : WQWindowNotification {};
    auto notification = std::make_shared<Made>();
    notification->text = std::move(text);
    notification->imageName = std::move(imageName);
    notification->button1Title = std::move(button1Title);
    notification->button1Action = std::move(button1Action);
    notification->button2Title = std::move(button2Title);
    notification->button2Action = std::move(button2Action);
    notification->button3Title = std::move(button3Title);
    notification->button3Action = std::move(button3Action);
    notification->priority = priority;
    return notification;
}

std::string WQWindowNotification::description() const {
    std::string text = "WQWindowNotification(text: \"" + this->text + "\", priority: " + std::to_string(priority);
    if (identifier) text += ", identifier: " + *identifier;
    return text + ")";
}

WQWindowNotificationController& WQWindowNotificationController::shared() {
    // Never destroyed: records hold the queue as their delegate until the very end.
    static auto* instance = new std::shared_ptr<WQWindowNotificationController>(
        std::make_shared<WQWindowNotificationController>());
    return **instance;
}

void WQWindowNotificationController::addNotification(const std::shared_ptr<WQWindowNotification>& notification) {
    if (!notification) return;
    if (notification->identifier) {
        const bool queued = std::any_of(queue_.begin(), queue_.end(), [&](const auto& queuedRecord) {
            return queuedRecord->identifier && *queuedRecord->identifier == *notification->identifier;
        });
        if (queued) return;
    }
    queue_.push_back(notification);
    presentNextNotification();
}

void WQWindowNotificationController::presentNextNotification() {
    std::shared_ptr<WQWindowNotification> candidate;
    for (const auto& record : queue_) {
        if ((!candidate && record->priority > 0) || (candidate && record->priority > candidate->priority))
            candidate = record;
    }
    if (candidate == current_) return;
    if (candidate) candidate->delegate = shared_from_this();
    if (!viewDelegate_) return;
    current_ = candidate;
    std::weak_ptr<WQWindowNotificationControllerViewDelegate> display = viewDelegate_;
    platform::MainQueue::async([display, candidate] {
        if (auto view = display.lock()) view->presentWindowNotification(candidate);
    });
}

void WQWindowNotificationController::windowNotificationDidFinish(
    const std::shared_ptr<WQWindowNotification>& notification) {
    const auto found = std::find(queue_.begin(), queue_.end(), notification);
    if (found == queue_.end()) return;
    queue_.erase(found);
    presentNextNotification();
}

void WQWindowNotificationController::setViewDelegate(
    std::shared_ptr<WQWindowNotificationControllerViewDelegate> delegate) {
    viewDelegate_ = std::move(delegate);
    current_.reset();
    presentNextNotification();
}

}  // namespace parlivo
