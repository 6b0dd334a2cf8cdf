#pragma once

#include <optional>

#include "controls/ControlGeometry.h"

namespace parlivo {

// What the toggle switch draws at one moment: the track's border and fill, the knob, and the
// whole control's opacity. The widget animates from one frame to the next.
struct QORSwitchFrame {
    controls::Rect knob;
    controls::Color border;
    controls::Color fill;
    double opacity = 1.0;
    bool operator==(const QORSwitchFrame&) const = default;
};

// The toggle switch without a display: its state machine (on/off, pressed, dragging and towards
// which side) and its geometry and colours. The widget feeds it the user's input and draws what
// frame() answers.
//
// User input (the mouse, the keys, an accessibility action) answers true when it changed the
// state, which is when the switch sends its action. A disabled switch ignores all of it.
// setChecked() is the program's own change: it never sends the action.
class QORSwitchLogic {
public:
    static constexpr double trackBorderWidth = 1.0;
    static constexpr double knobInset = 1.0;
    // The golden ratio as the single-precision value the design was made with.
    static constexpr double knobWidthDivisorAtRest = 1.6180340051651;
    static constexpr double knobWidthDivisorPressed = 1.38;
    static constexpr double animationDuration = 0.4;
    // The overshooting timing of a settling knob, and the plain one while it follows a drag.
    static constexpr double overshootTiming[4] = {0.25, 1.5, 0.5, 1.0};
    static constexpr double dragTiming[4] = {0.25, 0.1, 0.25, 1.0};
    static constexpr controls::Color defaultTint{0.27000001072883606, 0.8600000143051147, 0.36000001430511475, 1.0};
    static constexpr controls::Color offBorder{0.0, 0.0, 0.0, 0.20000000298023224};
    static constexpr double enabledOpacity = 1.0;
    static constexpr double disabledOpacity = 0.5;

    bool checked() const { return checked_; }
    bool isActive() const { return active_; }
    bool hasDragged() const { return dragged_; }
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

    // The program sets the state; true when it changed (the bound model is then told).
    bool setChecked(bool checked);

    // --- The user's input ---
    void mouseDown();
    // `x` in the track's coordinates; the right half (from exactly half the width) is "on".
    void mouseDragged(double x, double trackWidth);
    // A release decides: after a drag, the side the pointer is on; after a plain click, the
    // opposite of the state. True when the state changed.
    bool mouseUp();
    // The press ended without a release of ours (a grab taken away): nothing is decided.
    void cancelTracking();
    bool moveLeft();   // off, when on
    bool moveRight();  // on, when off
    bool toggle();     // space, Return, the accessibility action
    bool setCheckedByUser(bool checked);  // an accessibility client setting the value

    // The switch shows "on" colours while dragged towards on, or at rest when on.
    bool showsOn() const { return dragged_ ? draggingTowardsOn_ : checked_; }
    // Whether the next animation follows a drag (plain timing) or settles (overshoot).
    bool followsDrag() const { return dragged_; }

    // The knob in a track of `width` x `height`: inset by one point, as tall as the track
    // less the insets, a golden section of the inner width at rest and wider while pressed,
    // at the left (off) or right (on) end.
    static controls::Rect knobRect(double width, double height, bool pressed, bool onSide);
    controls::Rect knobRect(double width, double height) const;

    // What to draw in a track of that size. `tint` and `borderOverride` as the widget holds them.
    QORSwitchFrame frame(double width, double height, std::optional<controls::Color> tint = std::nullopt,
                         std::optional<controls::Color> borderOverride = std::nullopt) const;

private:
    bool userSet(bool checked);

    bool checked_ = false;
    bool active_ = false;
    bool dragged_ = false;
    bool draggingTowardsOn_ = false;
    bool enabled_ = true;
};

}  // namespace parlivo
