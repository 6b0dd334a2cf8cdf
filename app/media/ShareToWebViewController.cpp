#include "media/ShareToWebViewController.h"

// Placeholder: the panel shows two buttons; sliding and its final look come with the share work.
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/container.h>
#include <gtkmm/eventbox.h>
#include <gtkmm/label.h>

#include <algorithm>
#include <cmath>

#include "DebugPrint.h"
#include "ViewExtensions.h"
#include "WQTemporaryDirectory.h"
#include "foundation/Localized.h"

namespace parlivo {

std::shared_ptr<ShareToWebViewController> ShareToWebViewController::create(
    std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory, std::optional<std::vector<std::filesystem::path>> fileUrls,
    std::optional<std::string> text) {
    auto controller = std::shared_ptr<ShareToWebViewController>(new ShareToWebViewController());
    controller->tempDirectory = std::move(tempDirectory);
    controller->fileUrls = std::move(fileUrls);
    controller->text = std::move(text);
    std::weak_ptr<ShareToWebViewController> weak = controller;
    auto* box = Gtk::make_managed<Gtk::Box>(Gtk::ORIENTATION_HORIZONTAL, 12);
    box->set_halign(Gtk::ALIGN_CENTER);
    box->set_valign(Gtk::ALIGN_END);
    box->set_margin_bottom(24);
    auto* send = Gtk::make_managed<Gtk::Button>(platform::localizedComment("SHARE_SEND", "Share!"));
    auto* cancel = Gtk::make_managed<Gtk::Button>(platform::localizedComment("SHARE_CANCEL", "Cancel"));
    send->signal_clicked().connect([weak] {
        if (auto self = weak.lock()) self->sendClicked();
    });
    cancel->signal_clicked().connect([weak] {
        if (auto self = weak.lock()) self->cancelClicked();
    });
    box->pack_start(*cancel, Gtk::PACK_SHRINK);
    box->pack_start(*send, Gtk::PACK_SHRINK);
    controller->view_->add(*box);
    box->show_all();
    return controller;
}

ShareToWebViewController::ShareToWebViewController() : view_(std::make_unique<Gtk::EventBox>()) {
    // A window of its own, so clicks on the panel never reach the page beneath.
    view_->set_visible_window(true);
    view_->set_halign(Gtk::ALIGN_FILL);
    view_->set_valign(Gtk::ALIGN_FILL);
    view_->get_style_context()->add_class("background");
    view_->get_style_context()->add_class("parlivo-share-view");
}

ShareToWebViewController::~ShareToWebViewController() {
    if (auto* parent = view_->get_parent()) parent->remove(*view_);
}

Gtk::Widget& ShareToWebViewController::view() { return *view_; }

void ShareToWebViewController::place(double chatListWidth) {
    view_->set_margin_start(static_cast<int>(chatListWidth));
}

void ShareToWebViewController::updateLayout() {
    auto* parent = view_->get_parent();
    if (!fraction || !parent) return;
    place(*fraction * parent->get_allocated_width());
    ++layoutCounter;
}

void ShareToWebViewController::applyChatListWidth(const std::optional<platform::ScriptValue>& answer,
                                                  std::uint64_t counter) {
    if (counter < layoutCounter) return;
    auto* parent = view_->get_parent();
    if (!parent || !answer) return;
    const auto width = answer->asReal();
    const int containerWidth = parent->get_allocated_width();
    if (!width || !std::isfinite(*width) || *width < 0 || containerWidth <= 0) return;
    fraction = *width / containerWidth;
    place(std::min<double>(*width, containerWidth));
}

void ShareToWebViewController::removeShareView() {
    if (auto* parent = view_->get_parent()) parent->remove(*view_);
    if (auto owner = delegate.lock()) owner->shareViewDidFinish(*this);
}

bool ShareToWebViewController::covers(Gtk::Widget& widget, double x, double y) const {
    if (!view_->get_parent() || !view_->get_visible()) return false;
    int inX = 0, inY = 0;
    if (!widget.translate_coordinates(*view_, static_cast<int>(x), static_cast<int>(y), inX, inY)) return false;
    return inX >= 0 && inY >= 0 && inX < view_->get_allocated_width() && inY < view_->get_allocated_height();
}

void ShareToWebViewController::sendClicked() {
    auto keep = shared_from_this();
    if (auto owner = delegate.lock()) owner->shareViewDidSend(*this, tempDirectory, fileUrls, text);
    tovak::moveOut(*view_, animationDuration, tovak::AnimationDirection::top, [keep] { keep->removeShareView(); });
}

void ShareToWebViewController::cancelClicked() {
    auto keep = shared_from_this();
    tovak::moveOut(*view_, animationDuration, tovak::AnimationDirection::bottom, [keep] { keep->removeShareView(); });
}

}  // namespace parlivo
