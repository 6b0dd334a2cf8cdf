#include "controls/InfoButton.h"

#include <gtk/gtk.h>
#include <gtkmm/label.h>
#include <pango/pangocairo.h>

#include "controls/ControlPainting.h"

namespace parlivo {

void InfoButton::classInit(void* gClass, void*) {
    gtk_widget_class_set_accessible_role(static_cast<GtkWidgetClass*>(gClass), ATK_ROLE_PUSH_BUTTON);
}

InfoButton::InfoButton(double side)
    : Glib::ObjectBase("ParlivoInfoButton"), Glib::ExtraClassInit(&InfoButton::classInit), Gtk::DrawingArea(),
      side_(side) {
    set_can_focus(true);
    add_events(Gdk::ENTER_NOTIFY_MASK | Gdk::LEAVE_NOTIFY_MASK | Gdk::BUTTON_PRESS_MASK | Gdk::KEY_PRESS_MASK);
    setFrameSize(side, side);
    set_halign(Gtk::ALIGN_CENTER);
    set_valign(Gtk::ALIGN_CENTER);
    if (auto accessible = get_accessible()) accessible->set_name("Help");
}

InfoButton::~InfoButton() {
    if (popover_) popover_->hide();
}

void InfoButton::setFrameSize(double width, double) {
    side_ = width;
    set_size_request(int(side_), int(side_));
    queue_draw();
}

void InfoButton::setContent(std::string content) {
    content_ = std::move(content);
    if (auto accessible = get_accessible()) accessible->set_description(content_);
}

void InfoButton::buildPopover() {
    if (popover_) return;
    popover_ = std::make_unique<Gtk::Popover>(*this);
    popover_->set_position(Gtk::POS_RIGHT);
    popover_->set_transitions_enabled(true);
    auto* text = Gtk::manage(new Gtk::Label(content_));
    text->set_line_wrap(true);
    text->set_max_width_chars(48);
    text->set_xalign(0);
    text->set_margin_start(int(InfoButtonLogic::popoverTextMargin));
    text->set_margin_end(int(InfoButtonLogic::popoverTextMargin));
    text->set_margin_top(int(InfoButtonLogic::popoverTextMargin));
    text->set_margin_bottom(int(InfoButtonLogic::popoverTextMargin));
    text->show();
    popover_->add(*text);
    popover_->signal_closed().connect([this] {
        logic_.popoverDidClose();
        queue_draw();
    });
}

void InfoButton::run(InfoButtonLogic::PopoverCommand command, bool fromHover) {
    using Command = InfoButtonLogic::PopoverCommand;
    if (command == Command::show) {
        buildPopover();
        // A hover popover leaves the pointer and keyboard to the window; a clicked one is modal,
        // so a click elsewhere closes it.
        popover_->set_modal(!fromHover);
        popover_->popup();
        logic_.popoverDidShow();
    } else if (command == Command::close && popover_) {
        popover_->popdown();
        logic_.popoverDidClose();
    }
    queue_draw();
}

void InfoButton::mouseEntered() { run(logic_.mouseEntered(), true); }

void InfoButton::mouseExited() { run(logic_.mouseExited(), true); }

void InfoButton::click() {
    if (!is_sensitive()) return;
    run(logic_.clicked(), false);
}

bool InfoButton::on_enter_notify_event(GdkEventCrossing* event) {
    // Crossings caused by a grab (the modal popover's) are no pointer movement.
    if (event->mode == GDK_CROSSING_NORMAL) mouseEntered();
    return false;
}

bool InfoButton::on_leave_notify_event(GdkEventCrossing* event) {
    if (event->mode == GDK_CROSSING_NORMAL) mouseExited();
    return false;
}

bool InfoButton::on_button_press_event(GdkEventButton* event) {
    if (event->button == GDK_BUTTON_PRIMARY && event->type == GDK_BUTTON_PRESS) click();
    return true;
}

bool InfoButton::on_key_press_event(GdkEventKey* event) {
    switch (event->keyval) {
        case GDK_KEY_space:
        case GDK_KEY_KP_Space:
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
            click();
            return true;
        default:
            return false;
    }
}

bool InfoButton::on_draw(const Cairo::RefPtr<Cairo::Context>& context) {
    const controls::Rect circle = InfoButtonLogic::circleRect(side_);
    const controls::Color circleColor = logic_.circleColor(kPrimary);
    controls::ovalPath(context, circle);
    controls::setSourceColor(context, circleColor);
    if (logic_.fillMode) {
        context->fill();
    } else {
        context->set_line_width(1.0);
        context->stroke();
    }
    PangoLayout* layout = pango_cairo_create_layout(context->cobj());
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, "Sans");
    pango_font_description_set_weight(font, PANGO_WEIGHT_BOLD);
    pango_font_description_set_absolute_size(font, InfoButtonLogic::fontSize(side_) * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, "?", -1);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    controls::setSourceColor(context, logic_.markColor(kPrimary, kSecondary));
    context->move_to(side_ * 0.5 - width * 0.5, side_ * 0.5 - height * 0.5);
    pango_cairo_show_layout(context->cobj(), layout);
    pango_font_description_free(font);
    g_object_unref(layout);
    if (has_visible_focus()) {
        Gdk::RGBA accent("#3584e4");
        get_style_context()->lookup_color("theme_selected_bg_color", accent);
        controls::ovalPath(context, {circle.x - 1, circle.y - 1, circle.width + 2, circle.height + 2});
        context->set_source_rgba(accent.get_red(), accent.get_green(), accent.get_blue(), 0.8);
        context->set_line_width(2.0);
        context->stroke();
    }
    return true;
}

}  // namespace parlivo
