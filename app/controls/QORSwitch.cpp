#include "controls/QORSwitch.h"

#include <gtk/gtk-a11y.h>
#include <gtk/gtk.h>
#include <gdkmm/frameclock.h>

#include <algorithm>

#include "controls/ControlPainting.h"
#include "controls/QORSwitchPainter.h"

namespace parlivo {

namespace {

QORSwitch* switchOfAccessible(gpointer accessible) {
    GtkWidget* widget = gtk_accessible_get_widget(GTK_ACCESSIBLE(accessible));
    if (!widget) return nullptr;
    return dynamic_cast<QORSwitch*>(Glib::wrap(widget));
}

}  // namespace

}  // namespace parlivo

// The switch's accessible: a check box whose state set carries "checkable" and, when on,
// "checked", with one action, "click", that toggles the switch as the user would.
extern "C" {

typedef struct {
    GtkWidgetAccessible parent;
} ParlivoQORSwitchAccessible;

typedef struct {
    GtkWidgetAccessibleClass parentClass;
} ParlivoQORSwitchAccessibleClass;

static void parlivo_qor_switch_accessible_action_init(AtkActionIface* iface);

G_DEFINE_TYPE_WITH_CODE(ParlivoQORSwitchAccessible, parlivo_qor_switch_accessible, GTK_TYPE_WIDGET_ACCESSIBLE,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, parlivo_qor_switch_accessible_action_init))

static AtkStateSet* parlivo_qor_switch_accessible_ref_state_set(AtkObject* accessible) {
    AtkStateSet* states =
        ATK_OBJECT_CLASS(parlivo_qor_switch_accessible_parent_class)->ref_state_set(accessible);
    if (auto* control = parlivo::switchOfAccessible(accessible)) {
        atk_state_set_add_state(states, ATK_STATE_CHECKABLE);
        if (control->checked()) atk_state_set_add_state(states, ATK_STATE_CHECKED);
    }
    return states;
}

static void parlivo_qor_switch_accessible_initialize(AtkObject* accessible, gpointer data) {
    ATK_OBJECT_CLASS(parlivo_qor_switch_accessible_parent_class)->initialize(accessible, data);
    accessible->role = ATK_ROLE_CHECK_BOX;
}

static void parlivo_qor_switch_accessible_class_init(ParlivoQORSwitchAccessibleClass* klass) {
    AtkObjectClass* atkClass = ATK_OBJECT_CLASS(klass);
    atkClass->ref_state_set = parlivo_qor_switch_accessible_ref_state_set;
    atkClass->initialize = parlivo_qor_switch_accessible_initialize;
}

static void parlivo_qor_switch_accessible_init(ParlivoQORSwitchAccessible*) {}

static gboolean parlivo_qor_switch_accessible_do_action(AtkAction* action, gint index) {
    if (index != 0) return FALSE;
    auto* control = parlivo::switchOfAccessible(action);
    // An insensitive switch refuses, as it refuses the mouse and the keys.
    if (!control || !control->is_sensitive()) return FALSE;
    control->performToggle();
    return TRUE;
}

static gint parlivo_qor_switch_accessible_get_n_actions(AtkAction*) { return 1; }

static const gchar* parlivo_qor_switch_accessible_get_name(AtkAction*, gint index) {
    return index == 0 ? "click" : nullptr;
}

static const gchar* parlivo_qor_switch_accessible_get_description(AtkAction*, gint index) {
    return index == 0 ? "Switches on or off" : nullptr;
}

static void parlivo_qor_switch_accessible_action_init(AtkActionIface* iface) {
    iface->do_action = parlivo_qor_switch_accessible_do_action;
    iface->get_n_actions = parlivo_qor_switch_accessible_get_n_actions;
    iface->get_name = parlivo_qor_switch_accessible_get_name;
    iface->get_description = parlivo_qor_switch_accessible_get_description;
}

}  // extern "C"

namespace parlivo {

void QORSwitch::classInit(void* gClass, void*) {
    auto* widgetClass = static_cast<GtkWidgetClass*>(gClass);
    gtk_widget_class_set_accessible_type(widgetClass, parlivo_qor_switch_accessible_get_type());
    gtk_widget_class_set_accessible_role(widgetClass, ATK_ROLE_CHECK_BOX);
}

QORSwitch::QORSwitch()
    : Glib::ObjectBase("ParlivoQORSwitch"), Glib::ExtraClassInit(&QORSwitch::classInit), Gtk::DrawingArea() {
    set_can_focus(true);
    add_events(Gdk::BUTTON_PRESS_MASK | Gdk::BUTTON_RELEASE_MASK | Gdk::BUTTON1_MOTION_MASK | Gdk::KEY_PRESS_MASK);
    set_size_request(defaultTrackWidth + 2 * focusMargin, defaultTrackHeight + 2 * focusMargin);
    set_halign(Gtk::ALIGN_START);
    set_valign(Gtk::ALIGN_CENTER);
    syncEnabled();
    shown_ = from_ = targetFrame();
    signal_state_flags_changed().connect([this](Gtk::StateFlags) { sensitivityChanged(); });
    // A grab taken away mid-press (another window, a menu) decides nothing.
    signal_grab_broken_event().connect([this](GdkEventGrabBroken*) {
        logic_.cancelTracking();
        reloadLayer();
        return false;
    });
}

QORSwitch::~QORSwitch() { stopAnimation(); }

double QORSwitch::trackWidth() const {
    return std::max(0, get_allocated_width() > 0 ? get_allocated_width() - 2 * focusMargin : defaultTrackWidth);
}

double QORSwitch::trackHeight() const {
    return std::max(0, get_allocated_height() > 0 ? get_allocated_height() - 2 * focusMargin : defaultTrackHeight);
}

QORSwitchFrame QORSwitch::targetFrame() const {
    return logic_.frame(trackWidth(), trackHeight());
}

QORSwitchFrame QORSwitch::displayedFrame() const {
    return shown_;
}

void QORSwitch::setChecked(bool checked) {
    if (logic_.setChecked(checked)) stateDidChange();
    reloadLayer();
}

bool QORSwitch::performToggle() {
    syncEnabled();
    const bool changed = logic_.toggle();
    afterUserInput(changed);
    return changed;
}

bool QORSwitch::setCheckedByUser(bool checked) {
    syncEnabled();
    const bool changed = logic_.setCheckedByUser(checked);
    afterUserInput(changed);
    return changed;
}

void QORSwitch::syncEnabled() { logic_.setEnabled(is_sensitive()); }

void QORSwitch::afterUserInput(bool changed) {
    if (changed) stateDidChange();
    reloadLayer();
    if (changed) action_.emit(*this);
}

void QORSwitch::stateDidChange() {
    if (binding_) binding_(logic_.checked());
    if (AtkObject* accessible = gtk_widget_get_accessible(GTK_WIDGET(gobj())))
        atk_object_notify_state_change(accessible, ATK_STATE_CHECKED, logic_.checked());
}

void QORSwitch::reloadLayer(bool animated) {
    const QORSwitchFrame target = targetFrame();
    if (!animated || !get_mapped()) {
        stopAnimation();
        shown_ = from_ = target;
        queue_draw();
        return;
    }
    if (target == shown_ && !isAnimating()) return;
    from_ = shown_;
    dragTiming_ = logic_.followsDrag();
    animationStart_ = -1;
    if (!tickId_) {
        tickId_ = add_tick_callback(sigc::mem_fun(*this, &QORSwitch::onTick));
    }
    queue_draw();
}

bool QORSwitch::onTick(const Glib::RefPtr<Gdk::FrameClock>& clock) {
    const gint64 now = clock->get_frame_time();
    if (animationStart_ < 0) animationStart_ = now;
    const double elapsed = double(now - animationStart_) / 1e6;
    const double t = std::clamp(elapsed / QORSwitchLogic::animationDuration, 0.0, 1.0);
    const auto& c = dragTiming_ ? QORSwitchLogic::dragTiming : QORSwitchLogic::overshootTiming;
    const double progress = controls::cubicBezierTiming(c[0], c[1], c[2], c[3], t);
    const QORSwitchFrame target = targetFrame();
    shown_.knob = controls::lerp(from_.knob, target.knob, progress);
    shown_.border = controls::lerp(from_.border, target.border, progress);
    shown_.fill = controls::lerp(from_.fill, target.fill, progress);
    shown_.opacity = controls::lerp(from_.opacity, target.opacity, std::clamp(progress, 0.0, 1.0));
    queue_draw();
    if (t < 1.0) return true;
    shown_ = from_ = target;
    tickId_ = 0;
    return false;
}

void QORSwitch::stopAnimation() {
    if (tickId_) remove_tick_callback(tickId_);
    tickId_ = 0;
}

bool QORSwitch::on_draw(const Cairo::RefPtr<Cairo::Context>& context) {
    const double width = trackWidth(), height = trackHeight();
    if (has_visible_focus()) {
        Gdk::RGBA accent("#3584e4");
        get_style_context()->lookup_color("theme_selected_bg_color", accent);
        const double ring = 2.0;
        controls::roundedRectanglePath(context, {focusMargin - ring / 2, focusMargin - ring / 2, width + ring, height + ring},
                                       (height + ring) / 2);
        context->set_source_rgba(accent.get_red(), accent.get_green(), accent.get_blue(), 0.7);
        context->set_line_width(ring);
        context->stroke();
    }
    context->save();
    context->translate(focusMargin, focusMargin);
    paintQORSwitch(context, width, height, shown_);
    context->restore();
    return true;
}

bool QORSwitch::on_button_press_event(GdkEventButton* event) {
    if (event->button != GDK_BUTTON_PRIMARY || event->type != GDK_BUTTON_PRESS) return true;
    syncEnabled();
    logic_.mouseDown();
    reloadLayer();
    return true;
}

bool QORSwitch::on_motion_notify_event(GdkEventMotion* event) {
    syncEnabled();
    if (!logic_.isActive()) return false;
    logic_.mouseDragged(event->x - focusMargin, trackWidth());
    reloadLayer();
    return true;
}

bool QORSwitch::on_button_release_event(GdkEventButton* event) {
    if (event->button != GDK_BUTTON_PRIMARY) return true;
    syncEnabled();
    afterUserInput(logic_.mouseUp());
    return true;
}


bool QORSwitch::on_key_press_event(GdkEventKey* event) {
    const auto modifiers = event->state & gtk_accelerator_get_default_mod_mask();
    if (modifiers != 0) return false;
    syncEnabled();
    switch (event->keyval) {
        case GDK_KEY_space:
        case GDK_KEY_KP_Space:
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter:
            performToggle();
            return true;
        case GDK_KEY_Left:
        case GDK_KEY_KP_Left: {
            // Only a change is taken; otherwise the arrow moves the focus as usual.
            const bool changed = logic_.moveLeft();
            afterUserInput(changed);
            return changed;
        }
        case GDK_KEY_Right:
        case GDK_KEY_KP_Right: {
            const bool changed = logic_.moveRight();
            afterUserInput(changed);
            return changed;
        }
        default:
            return false;
    }
}

void QORSwitch::sensitivityChanged() {
    const bool wasEnabled = logic_.enabled();
    syncEnabled();
    if (!logic_.enabled()) logic_.cancelTracking();
    if (wasEnabled != logic_.enabled()) reloadLayer();
}

void QORSwitch::on_size_allocate(Gtk::Allocation& allocation) {
    Gtk::DrawingArea::on_size_allocate(allocation);
    // A new size is taken at once, without animation; a layout pass that keeps the size leaves a
    // running animation alone.
    if (allocation.get_width() == allocatedWidth_ && allocation.get_height() == allocatedHeight_) return;
    allocatedWidth_ = allocation.get_width();
    allocatedHeight_ = allocation.get_height();
    reloadLayer(false);
}

void QORSwitch::on_unmap() {
    stopAnimation();
    shown_ = from_ = targetFrame();
    Gtk::DrawingArea::on_unmap();
}

}  // namespace parlivo
