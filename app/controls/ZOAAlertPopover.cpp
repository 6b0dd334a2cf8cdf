#include "controls/ZOAAlertPopover.h"

#include <glibmm/markup.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/buttonbox.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/popover.h>
#include <gtkmm/stylecontext.h>

#include <set>

#include "controls/ScreenStyle.h"
#include "foundation/MainQueue.h"

namespace parlivo {

namespace {

std::set<std::shared_ptr<ZOAAlertPopover>>& selfOwned() {
    static auto* instances = new std::set<std::shared_ptr<ZOAAlertPopover>>();
    return *instances;
}

// Dark whatever the theme: the popover, its texts and its buttons.
constexpr const char* kDarkStyle = R"css(
popover.zoa-alert-popover { background-color: #2b2b2d; color: #f2f2f2; border-color: rgba(0, 0, 0, 0.7); }
popover.zoa-alert-popover label { color: #f2f2f2; }
popover.zoa-alert-popover image { color: #f2f2f2; }
popover.zoa-alert-popover button { background-image: none; background-color: #47474a; color: #f2f2f2;
                                   border-color: #1c1c1e; box-shadow: none; text-shadow: none; }
popover.zoa-alert-popover button:hover { background-color: #56565a; }
popover.zoa-alert-popover button:active { background-color: #3a3a3d; }
popover.zoa-alert-popover button.default { background-color: #2f6fd0; border-color: #1d4f9a; }
popover.zoa-alert-popover button.default:hover { background-color: #3a7be0; }
)css";

Gtk::PositionType position(ZOAAlertPopover::RectEdge edge) {
    switch (edge) {
        case ZOAAlertPopover::RectEdge::minX: return Gtk::POS_LEFT;
        case ZOAAlertPopover::RectEdge::minY: return Gtk::POS_BOTTOM;
        case ZOAAlertPopover::RectEdge::maxX: return Gtk::POS_RIGHT;
        case ZOAAlertPopover::RectEdge::maxY: return Gtk::POS_TOP;
    }
    return Gtk::POS_TOP;
}

const char* iconName(ZOAAlert::Style style) {
    return style == ZOAAlert::Style::informational ? "dialog-information" : "dialog-warning";
}

}  // namespace

std::shared_ptr<ZOAAlertPopover> ZOAAlertPopover::create(ZOAAlert alert, Completion completion) {
    return std::shared_ptr<ZOAAlertPopover>(new ZOAAlertPopover(std::move(alert), std::move(completion)));
}

ZOAAlertPopover::ZOAAlertPopover(ZOAAlert alert, Completion completion)
    : alert_(std::move(alert)), completion_(std::move(completion)) {
    // An alert always has a way to answer it.
    if (alert_.buttons.empty()) alert_.buttons.push_back("OK");
}

ZOAAlertPopover::~ZOAAlertPopover() {
    viewDestroyed_.disconnect();
    releasePopover();
}

std::shared_ptr<ZOAAlertPopover> ZOAAlertPopover::showWithAlert(ZOAAlert alert, Completion completion,
                                                                Gdk::Rectangle rect, Gtk::Widget& view,
                                                                RectEdge preferredEdge) {
    auto instance = create(std::move(alert), std::move(completion));
    instance->setShouldReleaseItself(true);
    instance->showRelativeTo(rect, view, preferredEdge);
    return instance;
}

void ZOAAlertPopover::showRelativeTo(Gdk::Rectangle rect, Gtk::Widget& view, RectEdge preferredEdge) {
    if (isShown_) return;
    installScreenStyle(kDarkStyle);
    releasePopover();

    popover_ = std::make_unique<Gtk::Popover>(view);
    popover_->get_style_context()->add_class(styleClass);
    popover_->set_position(position(preferredEdge));
    if (rect.get_width() > 0 && rect.get_height() > 0) popover_->set_pointing_to(rect);
    // Modal: a click outside closes it, like a transient popover.
    popover_->set_modal(true);

    auto* layout = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 12));
    layout->set_border_width(16);
    auto* top = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 12));
    auto* icon = Gtk::manage(new Gtk::Image());
    icon->set_from_icon_name(iconName(alert_.style), Gtk::ICON_SIZE_DIALOG);
    icon->set_valign(Gtk::ALIGN_START);
    top->pack_start(*icon, Gtk::PACK_SHRINK);
    auto* texts = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 6));
    auto* message = Gtk::manage(new Gtk::Label());
    message->set_markup("<b>" + Glib::Markup::escape_text(alert_.messageText) + "</b>");
    message->set_xalign(0);
    message->set_line_wrap(true);
    message->set_max_width_chars(40);
    texts->pack_start(*message, Gtk::PACK_SHRINK);
    if (!alert_.informativeText.empty()) {
        auto* informative = Gtk::manage(new Gtk::Label(alert_.informativeText));
        informative->set_xalign(0);
        informative->set_line_wrap(true);
        informative->set_max_width_chars(40);
        texts->pack_start(*informative, Gtk::PACK_SHRINK);
    }
    top->pack_start(*texts, Gtk::PACK_EXPAND_WIDGET);
    layout->pack_start(*top, Gtk::PACK_EXPAND_WIDGET);

    // The first button is the default and stands rightmost, as in an alert.
    auto* buttonBox = Gtk::manage(new Gtk::ButtonBox(Gtk::ORIENTATION_HORIZONTAL));
    buttonBox->set_layout(Gtk::BUTTONBOX_END);
    buttonBox->set_spacing(8);
    buttons_.assign(alert_.buttons.size(), nullptr);
    std::weak_ptr<ZOAAlertPopover> weakSelf = weak_from_this();
    for (std::size_t i = alert_.buttons.size(); i-- > 0;) {
        auto* button = Gtk::manage(new Gtk::Button(alert_.buttons[i]));
        button->signal_clicked().connect([weakSelf, i] {
            if (auto self = weakSelf.lock()) self->dismissAlert(i);
        });
        buttonBox->pack_start(*button, Gtk::PACK_SHRINK);
        buttons_[i] = button;
    }
    layout->pack_start(*buttonBox, Gtk::PACK_SHRINK);
    layout->show_all();
    popover_->add(*layout);

    buttons_.front()->set_can_default(true);
    buttons_.front()->get_style_context()->add_class("default");
    popover_->set_default_widget(*buttons_.front());

    popover_->signal_closed().connect([weakSelf] {
        if (auto self = weakSelf.lock()) self->popoverDidClose();
    });
    popover_->signal_hide().connect([weakSelf] {
        if (auto self = weakSelf.lock()) self->popoverDidClose();
    });
    // The widget pointed at goes off screen (its window closes): so does the popover, unanswered.
    viewDestroyed_ = view.signal_unmap().connect([weakSelf] {
        if (auto self = weakSelf.lock()) self->close();
    });
    // Destroyed: the popover cannot outlive it.
    if (relativeWidget_ != view.gobj()) {
        relativeWidget_ = view.gobj();
        g_signal_connect_data(relativeWidget_, "destroy", G_CALLBACK(&ZOAAlertPopover::viewWasDestroyed),
                              new std::weak_ptr<ZOAAlertPopover>(weakSelf),
                              [](gpointer data, GClosure*) { delete static_cast<std::weak_ptr<ZOAAlertPopover>*>(data); },
                              GConnectFlags(0));
    }

    isShown_ = true;
    if (shouldReleaseItself_) selfOwned().insert(shared_from_this());
    popover_->popup();
    buttons_.front()->grab_focus();
}

void ZOAAlertPopover::dismissAlert(std::size_t buttonIndex) {
    if (!isShown_ || buttonIndex >= alert_.buttons.size()) return;
    auto keepAlive = shared_from_this();  // the completion may close the window and with it us
    if (completion_) completion_(firstButtonReturn + int(buttonIndex));
    close();
}

void ZOAAlertPopover::close() {
    if (!isShown_) return;
    if (popover_) popover_->popdown();
    popoverDidClose();
}

void ZOAAlertPopover::popoverDidClose() {
    if (!isShown_) return;
    isShown_ = false;
    viewDestroyed_.disconnect();
    // The popover may be in the middle of emitting the signal that brought us here: it goes
    // (and a self-owned instance with it) once that is over, or at once should the widget it
    // points at be destroyed first.
    platform::MainQueue::async([self = shared_from_this()] {
        if (self->isShown_) return;  // shown again meanwhile
        self->releasePopover();
        if (self->shouldReleaseItself_) selfOwned().erase(self);
    });
}

void ZOAAlertPopover::viewWasDestroyed(GtkWidget* widget, gpointer data) {
    auto self = static_cast<std::weak_ptr<ZOAAlertPopover>*>(data)->lock();
    if (!self || self->relativeWidget_ != widget) return;
    self->relativeWidget_ = nullptr;
    self->popoverDidClose();
    // Let go of while the widget still stands (see releasePopover).
    self->releasePopover();
}

void ZOAAlertPopover::releasePopover() {
    buttons_.clear();
    // GTK's popover, destroyed while it still points at a widget that has left its window (or is
    // being destroyed), reaches from its teardown for the window it was in, which it no longer
    // has. Unhooked from the widget first, it has nothing to reach for. Unhooking drops GTK's
    // reference, and with the last one the wrapper goes too: we hold one through it and let GTK
    // end both.
    if (Gtk::Popover* popover = popover_.release()) {
        GtkPopover* object = popover->gobj();
        g_object_ref(object);
        gtk_popover_set_relative_to(object, nullptr);
        gtk_widget_destroy(GTK_WIDGET(object));
        g_object_unref(object);
    }
}

std::size_t ZOAAlertPopover::selfOwnedCount() { return selfOwned().size(); }

}  // namespace parlivo
