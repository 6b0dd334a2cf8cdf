#pragma once

#include <memory>
#include <string_view>

#include <gtkmm/box.h>
#include <gtkmm/revealer.h>

#include "notifications/WQWindowNotification.h"
#include "notifications/WQWindowNotificationViewController.h"

namespace parlivo {

// The display of the in-window notification queue: a pane that slides down above the main
// window's web content (a Gtk::Revealer) and shows one WQWindowNotification at a time. It
// starts collapsed, registers with the queue and opens, with its animation, when the queue
// hands it a record; it closes when the queue has nothing left and keeps its old content while
// closed. When its widgets are destroyed (the window goes), it leaves the queue. Main thread.
class WQWindowNotificationSplitViewController : public WQWindowNotificationControllerViewDelegate,
                                                public std::enable_shared_from_this<WQWindowNotificationSplitViewController> {
public:
    static constexpr std::string_view kClassName = "WQWindowNotificationSplitViewController";
    static constexpr const char* paneSlotName = "notificationPaneSlot";

    // The main window's hook: builds the pane into the box "notificationPaneSlot" of the main
    // window's interface and makes it the display of the shared queue. Nothing without the slot.
    static void setUpNotificationPane(const InterfaceFile& mainWindowFile);
    // Builds the pane at the top of `slot` and makes it the display of `queue`. The queue keeps
    // it; the slot's window owns the widgets.
    static std::shared_ptr<WQWindowNotificationSplitViewController> attach(
        Gtk::Box& slot, WQWindowNotificationController& queue = WQWindowNotificationController::shared());

    ~WQWindowNotificationSplitViewController() override;

    void presentWindowNotification(const std::shared_ptr<WQWindowNotification>& notification) override;
    // Close / open the pane with its animation; nothing when it already is so.
    void collapseNotificationPane();
    void expandNotificationPane();

    bool isExpanded() const;
    Gtk::Revealer* pane() const { return pane_; }
    WQWindowNotificationViewController& notificationViewController() { return *notificationViewController_; }

private:
    WQWindowNotificationSplitViewController() = default;
    void paneDestroyed();

    Gtk::Revealer* pane_ = nullptr;
    std::unique_ptr<WQWindowNotificationViewController> notificationViewController_;
    std::weak_ptr<WQWindowNotificationController> queue_;
};

}  // namespace parlivo
