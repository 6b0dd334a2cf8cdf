#include "controls/QORSwitchLogic.h"

#include <algorithm>

namespace parlivo {

using controls::Color;
using controls::Rect;

bool QORSwitchLogic::setChecked(bool checked) {
    if (checked_ == checked) return false;
    checked_ = checked;
    return true;
}

bool QORSwitchLogic::userSet(bool checked) {
    if (!enabled_) return false;
    return setChecked(checked);
}

void QORSwitchLogic::mouseDown() {
    if (!enabled_) return;
    active_ = true;
}

void QORSwitchLogic::mouseDragged(double x, double trackWidth) {
    if (!enabled_ || !active_) return;
    dragged_ = true;
    draggingTowardsOn_ = x >= trackWidth / 2;
}

bool QORSwitchLogic::mouseUp() {
    // Only a press that began on the switch decides anything; the flags go in every case, so a
    // switch disabled while pressed does not stay stretched.
    const bool pressed = active_;
    const bool towardsOn = dragged_ ? draggingTowardsOn_ : !checked_;
    cancelTracking();
    if (!pressed) return false;
    return userSet(towardsOn);
}

void QORSwitchLogic::cancelTracking() {
    active_ = false;
    dragged_ = false;
    draggingTowardsOn_ = false;
}

bool QORSwitchLogic::moveLeft() { return checked_ && userSet(false); }

bool QORSwitchLogic::moveRight() { return !checked_ && userSet(true); }

bool QORSwitchLogic::toggle() { return userSet(!checked_); }

bool QORSwitchLogic::setCheckedByUser(bool checked) { return userSet(checked); }

Rect QORSwitchLogic::knobRect(double width, double height, bool pressed, bool onSide) {
    const double knobHeight = std::max(0.0, height - 2 * knobInset);
    const double inner = std::max(0.0, width - 2 * knobInset);
    const double knobWidth = inner / (pressed ? knobWidthDivisorPressed : knobWidthDivisorAtRest);
    const double x = onSide ? width - knobWidth - knobInset : knobInset;
    return {x, knobInset, knobWidth, knobHeight};
}

Rect QORSwitchLogic::knobRect(double width, double height) const {
    return knobRect(width, height, active_, showsOn());
}

QORSwitchFrame QORSwitchLogic::frame(double width, double height, std::optional<Color> tint,
                                     std::optional<Color> borderOverride) const {
    const Color tintColor = tint.value_or(defaultTint);
    QORSwitchFrame frame;
    frame.knob = knobRect(width, height);
    if (showsOn()) {
        frame.border = borderOverride.value_or(tintColor);
        frame.fill = tintColor;
    } else {
        frame.border = borderOverride.value_or(offBorder);
        frame.fill = tintColor.withAlpha(0);  // clear; fading to it keeps the hue
    }
    frame.opacity = enabled_ ? enabledOpacity : disabledOpacity;
    return frame;
}

}  // namespace parlivo
