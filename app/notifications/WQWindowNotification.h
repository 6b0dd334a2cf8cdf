#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlivo {

class WQWindowNotification;

// Whoever ends an in-window notification tells its delegate (the queue), which removes it and
// shows the next one.
class WQWindowNotificationDelegate {
public:
    virtual ~WQWindowNotificationDelegate() = default;
    virtual void windowNotificationDidFinish(const std::shared_ptr<WQWindowNotification>& notification) = 0;
};

// One prompt shown inside the main window: an image, a text, one to three buttons and an
// optional spinning progress indicator. Made by any part of the program and handed to
// WQWindowNotificationController::shared(). Main thread only.
class WQWindowNotification : public std::enable_shared_from_this<WQWindowNotification> {
public:
    // Runs when its button is clicked, with the record. Ending the notification is the
    // action's business: it calls windowNotificationDidFinish on the record's delegate.
    using Action = std::function<void(WQWindowNotification&)>;

    // `imageName`: a bundle image (without extension), e.g. "AppIconLarge".
    static std::shared_ptr<WQWindowNotification> create(std::string text, std::string imageName,
                                                        std::string button1Title, Action button1Action,
                                                        std::optional<std::string> button2Title,
                                                        Action button2Action,
                                                        std::optional<std::string> button3Title,
                                                        Action button3Action, std::int64_t priority);

    std::string imageName;
    std::string text;
    std::string button1Title;
    std::optional<std::string> button2Title;
    std::optional<std::string> button3Title;
    Action button1Action;
    Action button2Action;  // empty: the click does nothing
    Action button3Action;
    std::int64_t priority = 0;  // larger wins; 0 or below is never shown
    // Set by the queue when it picks the record. Not owned: the queue holds its records.
    std::weak_ptr<WQWindowNotificationDelegate> delegate;
    std::optional<std::string> identifier;  // at most one queued record per identifier
    bool showProgress = false;

    // For the debug log: text, priority and identifier.
    std::string description() const;

protected:
    WQWindowNotification() = default;
};

// The display of the queue: the collapsible pane of the main window.
class WQWindowNotificationControllerViewDelegate {
public:
    virtual ~WQWindowNotificationControllerViewDelegate() = default;
    // Shows the record, or with none closes the pane.
    virtual void presentWindowNotification(const std::shared_ptr<WQWindowNotification>& notification) = 0;
};

// The one queue of in-window notifications: highest priority first, first come first served
// among equals, one on screen at a time. Main thread only; made on first use, never destroyed.
class WQWindowNotificationController : public WQWindowNotificationDelegate,
                                       public std::enable_shared_from_this<WQWindowNotificationController> {
public:
    static WQWindowNotificationController& shared();

    void addNotification(const std::shared_ptr<WQWindowNotification>& notification);
    void presentNextNotification();
    void windowNotificationDidFinish(const std::shared_ptr<WQWindowNotification>& notification) override;

    // The display (held strongly). A new display knows nothing yet: the best record is handed to
    // it at once. None leaves the queue without a display until the next one registers.
    void setViewDelegate(std::shared_ptr<WQWindowNotificationControllerViewDelegate> delegate);
    const std::shared_ptr<WQWindowNotificationControllerViewDelegate>& viewDelegate() const { return viewDelegate_; }
    const std::vector<std::shared_ptr<WQWindowNotification>>& notificationQueue() const { return queue_; }
    const std::shared_ptr<WQWindowNotification>& currentlyPresentingNotification() const { return current_; }

private:
    std::shared_ptr<WQWindowNotificationControllerViewDelegate> viewDelegate_;
    std::shared_ptr<WQWindowNotification> current_;
    std::vector<std::shared_ptr<WQWindowNotification>> queue_;
};

}  // namespace parlivo
