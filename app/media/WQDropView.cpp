#include "media/WQDropView.h"

// Placeholder: takes no drop and no paste yet, so WebKit's own drop handling and the focused
// widget's paste work as they did.
#include <gtkmm/eventbox.h>

namespace parlivo {

std::shared_ptr<WQDropView> WQDropView::create() { return std::shared_ptr<WQDropView>(new WQDropView()); }

WQDropView::WQDropView() : view_(std::make_unique<Gtk::EventBox>()) {
    view_->set_visible_window(false);
    view_->set_above_child(false);
    view_->set_no_show_all(true);
}

WQDropView::~WQDropView() = default;

Gtk::Widget& WQDropView::view() { return *view_; }

bool WQDropView::takeDroppedURIs(const std::vector<std::string>&) { return false; }

bool WQDropView::paste() { return false; }

}  // namespace parlivo
