#include "notifications/WQWindowNotificationSplitViewController.h"

#include <gtkmm/cssprovider.h>

#include "DebugPrint.h"

namespace parlivo {

namespace {

constexpr const char* kPaneStyle =
    ".parlivo-notification-pane { background-color: @theme_base_color; border-bottom: 1px solid @borders;"
    " padding: 10px 14px; }";

}  // namespace

void WQWindowNotificationSplitViewController::setUpNotificationPane(const InterfaceFile& mainWindowFile) {
    if (!mainWindowFile.has(paneSlotName)) return;
    if (auto* slot = mainWindowFile.optionalOutlet<Gtk::Box>(paneSlotName)) attach(*slot);
}

std::shared_ptr<WQWindowNotificationSplitViewController> WQWindowNotificationSplitViewController::attach(
    Gtk::Box& slot, WQWindowNotificationController& queue) {
    const auto file = InterfaceFile::tryLoad("WQWindowNotificationPane", "the notification pane");
    if (!file) return nullptr;
    auto controller = std::shared_ptr<WQWindowNotificationSplitViewController>(new WQWindowNotificationSplitViewController());
    controller->pane_ = file->optionalOutlet<Gtk::Revealer>("notificationPane");
    if (!controller->pane_) return nullptr;
    controller->notificationViewController_ = std::make_unique<WQWindowNotificationViewController>(*file);

    if (auto* view = file->optionalOutlet<Gtk::Box>("notificationView")) {
        auto css = Gtk::CssProvider::create();
        try {
            css->load_from_data(kPaneStyle);
            view->get_style_context()->add_provider(css, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        } catch (const Glib::Error&) {
        }
    }

    // Collapsed from the start, without animation; the slot's window owns the widgets from here.
    controller->pane_->set_reveal_child(false);
    slot.pack_start(*controller->pane_, Gtk::PACK_SHRINK);
    slot.reorder_child(*controller->pane_, 0);
    g_signal_connect_data(controller->pane_->gobj(), "destroy",
                          G_CALLBACK(+[](GtkWidget*, gpointer data) {
                              if (auto self = static_cast<std::weak_ptr<WQWindowNotificationSplitViewController>*>(data)->lock())
                                  self->paneDestroyed();
                          }),
                          new std::weak_ptr<WQWindowNotificationSplitViewController>(controller),
                          +[](gpointer data, GClosure*) {
                              delete static_cast<std::weak_ptr<WQWindowNotificationSplitViewController>*>(data);
                          },
                          GConnectFlags(0));

    controller->queue_ = queue.weak_from_this();
    // Records queued before the window existed appear now.
    queue.setViewDelegate(controller);
    return controller;
}

WQWindowNotificationSplitViewController::~WQWindowNotificationSplitViewController() = default;

void WQWindowNotificationSplitViewController::paneDestroyed() {
    pane_ = nullptr;
    notificationViewController_.reset();
    auto self = shared_from_this();  // the queue may hold the last reference
    if (auto queue = queue_.lock(); queue && queue->viewDelegate().get() == this) queue->setViewDelegate(nullptr);
}

void WQWindowNotificationSplitViewController::presentWindowNotification(
    const std::shared_ptr<WQWindowNotification>& notification) {
    tovak::debugPrint(kClassName, "Present: " + (notification ? notification->description() : std::string("nil")));
    if (!pane_ || !notificationViewController_) return;
    if (notification) {
        auto& view = *notificationViewController_;
        view.notification = notification;
        view.resetNotificationView();
        view.configureNotificationView();
        expandNotificationPane();
    } else {
        collapseNotificationPane();
    }
}

void WQWindowNotificationSplitViewController::collapseNotificationPane() {
    if (pane_ && pane_->get_reveal_child()) pane_->set_reveal_child(false);
}

void WQWindowNotificationSplitViewController::expandNotificationPane() {
    if (pane_ && !pane_->get_reveal_child()) pane_->set_reveal_child(true);
}

bool WQWindowNotificationSplitViewController::isExpanded() const { return pane_ && pane_->get_reveal_child(); }

}  // namespace parlivo
