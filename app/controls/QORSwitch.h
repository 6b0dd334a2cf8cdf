#pragma once

#include <functional>
#include <optional>

#include <glibmm/extraclassinit.h>
#include <gtkmm/drawingarea.h>

#include "controls/QORSwitchLogic.h"

namespace parlivo {

// The on/off toggle switch of the preference panes and the camera: a rounded track that fills
// with the tint when on, and a white knob that slides between the ends with a slightly
// overshooting animation, drawn with cairo.
//
// The user clicks it, drags the knob, presses Space or Return to toggle, Left for off and Right
// for on (when it has the keyboard focus, which Tab reaches), or toggles it through an
// accessibility client, which sees a check box with its checked state and a "click" action.
// Each change made by the user sends the action (signalAction()); setChecked() from code never
// does. An insensitive switch is drawn at half opacity and ignores every toggle, by mouse, key
// or accessibility action. Main thread only.
class QORSwitch : public Glib::ExtraClassInit, public Gtk::DrawingArea {
public:
    // Room around the track for the keyboard focus ring.
    static constexpr int focusMargin = 3;
    static constexpr int defaultTrackWidth = 40;
    static constexpr int defaultTrackHeight = 22;

    QORSwitch();
    ~QORSwitch() override;

    bool checked() const { return logic_.checked(); }
    // The program's change: redraws, tells the bound model when the value differs, sends no
    // action.
    void setChecked(bool checked);


    // Sent after every change the user made, with the switch.
    sigc::signal<void(QORSwitch&)>& signalAction() { return action_; }

    // The model value this switch is bound to: `setter` receives every new state, whether the
    // user or the program changed it, never a repeat of the same value.
    void bindChecked(std::function<void(bool)> setter) { binding_ = std::move(setter); }

    // The user's toggles that need no pointer (accessibility, mnemonic activation). True when
    // the state changed (and the action was sent).
    bool performToggle();
    bool setCheckedByUser(bool checked);

    const QORSwitchLogic& logic() const { return logic_; }
    // The track's size within the allocation.
    double trackWidth() const;
    double trackHeight() const;
    // What the switch shows when no animation runs.
    QORSwitchFrame targetFrame() const;
    // What it shows now (between two frames while animating).
    QORSwitchFrame displayedFrame() const;
    bool isAnimating() const { return tickId_ != 0; }

protected:
    bool on_draw(const Cairo::RefPtr<Cairo::Context>& context) override;
    bool on_button_press_event(GdkEventButton* event) override;
    bool on_button_release_event(GdkEventButton* event) override;
    bool on_motion_notify_event(GdkEventMotion* event) override;
    bool on_key_press_event(GdkEventKey* event) override;
    void on_size_allocate(Gtk::Allocation& allocation) override;
    void on_unmap() override;

private:
    static void classInit(void* gClass, void* classData);

    void syncEnabled();
    void sensitivityChanged();
    // After the user's input: redraw, and when the state changed tell the model and send.
    void afterUserInput(bool changed);
    void stateDidChange();
    // Redraw towards the current state: animated, or at once (resizes, unmapped widgets).
    void reloadLayer(bool animated = true);
    bool onTick(const Glib::RefPtr<Gdk::FrameClock>& clock);
    void stopAnimation();

    QORSwitchLogic logic_;
    sigc::signal<void(QORSwitch&)> action_;
    std::function<void(bool)> binding_;

    QORSwitchFrame from_;
    QORSwitchFrame shown_;
    bool dragTiming_ = false;
    gint64 animationStart_ = -1;
    int allocatedWidth_ = -1, allocatedHeight_ = -1;
    guint tickId_ = 0;
};

}  // namespace parlivo
