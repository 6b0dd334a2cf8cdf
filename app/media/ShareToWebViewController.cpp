#include "media/ShareToWebViewController.h"

#include <gtk/gtk.h>
#include <gtkmm/button.h>
#include <gtkmm/container.h>
#include <gtkmm/eventbox.h>
#include <gtkmm/label.h>
#include <gtkmm/overlay.h>
#include <gtkmm/window.h>

#include <algorithm>
#include <cmath>

#include "DebugPrint.h"
#include "ViewAnimation.h"
#include "WQTemporaryDirectory.h"
#include "controls/ScreenStyle.h"
#include "foundation/Localized.h"
#include "foundation/Log.h"

namespace parlivo {

namespace {

// Where the panel starts before the page has told the chat list's width (the interface file's
// frame, in effect): about where the web client's list ends.
constexpr double kDefaultFraction = 0.3;

void log(std::string_view message) { tovak::debugPrint(ShareToWebViewController::kClassName, message); }

// The backdrop takes the window's own colours (light or dark with the visual style), barely
// translucent over the page, with a line along the chat list.
constexpr const char* kStyle = R"(
    .parlivo-share-view { background-color: alpha(@theme_bg_color, 0.97);
                          border-left: 1px solid alpha(@borders, 0.9); }
    .parlivo-share-title { font-size: 1.4em; font-weight: bold; }
    .parlivo-share-view button { min-width: 96px; }
)";

// The fraction of the container's height the panel lies beyond an edge when slid out.
double outsideOffset(tovak::AnimationDirection direction) {
    return direction == tovak::AnimationDirection::top ? -1.0 : 1.0;
}

}  // namespace

std::shared_ptr<ShareToWebViewController> ShareToWebViewController::create(
    std::shared_ptr<tovak::WQTemporaryDirectory> tempDirectory, std::optional<std::vector<std::filesystem::path>> fileUrls,
    std::optional<std::string> text) {
    auto controller = std::shared_ptr<ShareToWebViewController>(new ShareToWebViewController());
    controller->tempDirectory = std::move(tempDirectory);
    controller->fileUrls = std::move(fileUrls);
    controller->text = std::move(text);
    controller->loadView();
    return controller;
}

ShareToWebViewController::ShareToWebViewController() = default;

ShareToWebViewController::~ShareToWebViewController() {
    detachFromContainer();
    if (auto* parent = view_->get_parent()) parent->remove(*view_);
    // A panel from the interface file belongs to the builder, which lets go of it (and its
    // buttons) when it goes itself: deleting it here as well released it twice.
    if (file_) static_cast<void>(view_.release());
}

void ShareToWebViewController::loadView() {
    installScreenStyle(kStyle);
    Gtk::EventBox* root = nullptr;
    file_ = InterfaceFile::tryLoad("ShareToWebViewController", "the share view");
    if (file_) {
        root = file_->optionalOutlet<Gtk::EventBox>("view");
        pasteButton_ = file_->optionalOutlet<Gtk::Button>("pasteButton");
        cancelButton_ = file_->optionalOutlet<Gtk::Button>("cancelButton");
    }
    // A packaging fault still leaves a panel that can be dismissed.
    view_.reset(root ? root : new Gtk::EventBox());
    if (!root) {
        auto* cancel = Gtk::make_managed<Gtk::Button>();
        view_->add(*cancel);
        cancel->show();
        cancelButton_ = cancel;
    }
    view_->set_name(std::string(kViewClassName));
    view_->set_halign(Gtk::ALIGN_FILL);
    view_->set_valign(Gtk::ALIGN_FILL);
    view_->set_visible_window(true);
    view_->set_can_focus(true);
    if (file_) {
        auto* title = file_->optionalOutlet<Gtk::Label>("titleLabel");
        auto* prompt = file_->optionalOutlet<Gtk::Label>("promptLabel");
        if (title) title->set_text(platform::localized("SHARE_TITLE", "Share to a Chat"));
        if (prompt) prompt->set_text(platform::localized("SHARE_PROMPT", "Choose a chat on the left, then click Share."));
    }
    if (pasteButton_) pasteButton_->set_label(platform::localized("SHARE_SEND", "Share"));
    if (cancelButton_) cancelButton_->set_label(platform::localized("SHARE_CANCEL", "Cancel"));

    std::weak_ptr<ShareToWebViewController> weak = weak_from_this();
    for (Gtk::Button* button : {pasteButton_, cancelButton_}) {
        if (!button) continue;
        button->signal_clicked().connect([weak, button] {
            if (auto self = weak.lock()) self->buttonClicked(button);
        });
    }

    // ShareToWebView: the arrow cursor over it, the focus while the pointer is on it, and no
    // click, scroll or drag of the pointer reaches the page beneath.
    view_->signal_realize().connect([this] {
        if (auto window = view_->get_window())
            window->set_cursor(Gdk::Cursor::create(view_->get_display(), "default"));
    });
    // The panel takes the focus from the page beneath, but not from its own buttons.
    auto takeFocus = [this] {
        auto* window = dynamic_cast<Gtk::Window*>(view_->get_toplevel());
        Gtk::Widget* focus = window ? window->get_focus() : nullptr;
        if (focus == view_.get() || (focus && focus->is_ancestor(*view_))) return;
        view_->grab_focus();
    };
    view_->signal_enter_notify_event().connect([takeFocus](GdkEventCrossing*) {
        takeFocus();
        return false;
    });
    view_->signal_motion_notify_event().connect([this, takeFocus](GdkEventMotion*) {
        takeFocus();
        if (view_->has_focus()) tovak::debugPrint(kViewClassName, "1: Mouse Moved!");
        return true;
    });
    view_->signal_button_press_event().connect([](GdkEventButton*) { return true; });
    view_->signal_button_release_event().connect([](GdkEventButton*) { return true; });
    view_->signal_scroll_event().connect([](GdkEventScroll*) { return true; });
    // Return shares and Escape cancels while the panel (not one of its buttons) has the focus.
    view_->signal_key_press_event().connect([weak](GdkEventKey* event) {
        auto self = weak.lock();
        if (!self) return false;
        if (event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter) {
            if (self->pasteButton_) self->buttonClicked(self->pasteButton_);
            return true;
        }
        if (event->keyval == GDK_KEY_Escape) {
            if (self->cancelButton_) self->buttonClicked(self->cancelButton_);
            return true;
        }
        return false;
    });
    view_->show();
}

Gtk::Widget& ShareToWebViewController::view() { return *view_; }

// --- place in the container ---

// The container places the panel itself: right of the chat list, full height, moved by the
// slide's offset (an overlay child can lie partly outside its parent only this way).
void ShareToWebViewController::attachToContainer() {
    Gtk::Widget* parent = view_->get_parent();
    if (parent && container_ && GTK_WIDGET(parent->gobj()) == container_) return;
    detachFromContainer();
    if (!parent || !GTK_IS_OVERLAY(parent->gobj())) return;
    container_ = GTK_WIDGET(parent->gobj());
    // The container may go first (the window closes while the panel slides): the weak pointer
    // is cleared then, so nothing is disconnected from a destroyed object.
    g_object_add_weak_pointer(G_OBJECT(container_), reinterpret_cast<gpointer*>(&container_));
    positionHandler_ = g_signal_connect(container_, "get-child-position", G_CALLBACK(&placeChild), this);
}

void ShareToWebViewController::detachFromContainer() {
    if (container_) {
        if (positionHandler_) g_signal_handler_disconnect(container_, positionHandler_);
        g_object_remove_weak_pointer(G_OBJECT(container_), reinterpret_cast<gpointer*>(&container_));
    }
    container_ = nullptr;
    positionHandler_ = 0;
}

int ShareToWebViewController::placeChild(GtkOverlay*, GtkWidget* child, GdkRectangle* allocation, void* data) {
    auto* self = static_cast<ShareToWebViewController*>(data);
    if (child != GTK_WIDGET(self->view_->gobj())) return FALSE;
    auto frame = self->frame();
    if (!frame) return FALSE;
    int minimum = 0;
    int natural = 0;
    gtk_widget_get_preferred_width(child, &minimum, &natural);
    allocation->x = int(std::lround(frame->x));
    allocation->y = int(std::lround(frame->y));
    allocation->width = std::max(int(std::lround(frame->width)), minimum);
    allocation->height = std::max(int(std::lround(frame->height)), 1);
    return TRUE;
}

double ShareToWebViewController::chatListX(double containerWidth) const {
    const double x = (fraction ? *fraction : kDefaultFraction) * containerWidth;
    return std::clamp(x, 0.0, containerWidth);
}

std::optional<tovak::ViewFrame> ShareToWebViewController::frame() const {
    Gtk::Widget* parent = view_->get_parent();
    if (!parent) return std::nullopt;
    const double width = parent->get_allocated_width(), height = parent->get_allocated_height();
    const double x = chatListX(width);
    return tovak::ViewFrame{x, offset_ * height, width - x, height};
}

void ShareToWebViewController::updateLayout() {
    auto* parent = view_->get_parent();
    if (!fraction || !parent) return;
    attachToContainer();
    view_->queue_resize();
    ++layoutCounter;
}

void ShareToWebViewController::applyChatListWidth(const std::optional<platform::ScriptValue>& answer,
                                                  std::uint64_t counter) {
    if (layoutCounter > counter) return;  // a layout pass came after the question
    auto* parent = view_->get_parent();
    if (!parent) return;
    const auto width = answer ? answer->asReal() : std::nullopt;
    const int containerWidth = parent->get_allocated_width();
    // Only a width the page could have: a number, not negative, not wider than the page.
    if (!width || !std::isfinite(*width) || *width < 0 || containerWidth <= 1) return;
    fraction = std::min(*width, double(containerWidth)) / containerWidth;
    attachToContainer();
    view_->queue_resize();
}

// --- slides ---

void ShareToWebViewController::slide(double from, double to, double duration, tovak::CompletionHandler completion) {
    attachToContainer();
    const unsigned generation = ++slideGeneration_;
    offset_ = from;
    view_->show();
    view_->queue_resize();
    if (!container_) {
        offset_ = to;
        if (completion) completion();
        return;
    }
    std::weak_ptr<ShareToWebViewController> weak = weak_from_this();
    tovak::ViewAnimation::run(
        G_OBJECT(view_->gobj()), duration,
        [weak, from, to, generation](double progress) {
            auto self = weak.lock();
            if (!self || self->slideGeneration_ != generation) return;
            self->offset_ = from + (to - from) * progress;
            self->view_->queue_resize();
        },
        [completion = std::move(completion)] {
            if (completion) completion();
        });
}

void ShareToWebViewController::moveIn(double duration, tovak::AnimationDirection direction,
                                      tovak::CompletionHandler completion) {
    slide(outsideOffset(direction), 0.0, duration, std::move(completion));
}

void ShareToWebViewController::moveOut(double duration, tovak::AnimationDirection direction,
                                       tovak::CompletionHandler completion) {
    slide(offset_, outsideOffset(direction), duration, std::move(completion));
}

// --- the buttons ---

void ShareToWebViewController::removeShareView() {
    if (auto* parent = view_->get_parent()) parent->remove(*view_);
    attachToContainer();
    if (auto owner = delegate.lock()) owner->shareViewDidFinish(*this);
}

void ShareToWebViewController::endInteraction() {
    finished_ = true;
    if (pasteButton_) pasteButton_->set_sensitive(false);
    if (cancelButton_) cancelButton_->set_sensitive(false);
}

void ShareToWebViewController::buttonClicked(Gtk::Widget* sender) {
    if (!sender || (sender != pasteButton_ && sender != cancelButton_)) return;
    // One answer per share: a second press while the panel slides away would send it again.
    if (finished_) return;
    endInteraction();
    auto keep = shared_from_this();
    if (sender == pasteButton_) {
        log("Share!");
        if (auto owner = delegate.lock()) owner->shareViewDidSend(*this, tempDirectory, fileUrls, text);
        // Sent: the panel goes up and away; the delegate has let go of it already.
        moveOut(animationDuration, tovak::AnimationDirection::top, [keep] {
            if (auto* parent = keep->view_->get_parent()) parent->remove(*keep->view_);
            keep->attachToContainer();
        });
    } else {
        log("Cancel share!");
        moveOut(animationDuration, tovak::AnimationDirection::bottom, [keep] { keep->removeShareView(); });
    }
}

void ShareToWebViewController::sendClicked() { buttonClicked(pasteButton_); }


bool ShareToWebViewController::covers(Gtk::Widget& widget, double x, double y) const {
    if (!view_->get_parent() || !view_->get_visible()) return false;
    int inX = 0, inY = 0;
    if (!widget.translate_coordinates(*view_, static_cast<int>(x), static_cast<int>(y), inX, inY)) return false;
    return inX >= 0 && inY >= 0 && inX < view_->get_allocated_width() && inY < view_->get_allocated_height();
}

}  // namespace parlivo
