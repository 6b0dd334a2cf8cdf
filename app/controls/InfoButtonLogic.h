#pragma once

#include "controls/ControlGeometry.h"

namespace parlivo {

// The help button's behaviour and geometry without a display: when its popover opens or
// closes, and how bright the circle and the question mark are drawn.
class InfoButtonLogic {
public:
    static constexpr double fontSizeFactor = 0.6;
    static constexpr double circleInset = 2.0;
    static constexpr double dimmedAlpha = 0.35;
    // The popover's text sits this far inside it on every side.
    static constexpr double popoverTextMargin = 20;

    enum class PopoverCommand { none, show, close };

    bool showOnHover = true;
    bool fillMode = true;

    bool popoverShown() const { return popoverShown_; }

    // The pointer came in or left: with showOnHover the popover follows it.
    PopoverCommand mouseEntered();
    PopoverCommand mouseExited();
    // A click (or Space/Return) toggles the popover, whatever showOnHover says.
    PopoverCommand clicked();
    // The popover went away by itself (a click elsewhere, Escape) or came up.
    void popoverDidClose() { popoverShown_ = false; }
    void popoverDidShow() { popoverShown_ = true; }

    // The circle's and the mark's colour for the current state.
    controls::Color circleColor(const controls::Color& primary) const;
    controls::Color markColor(const controls::Color& primary, const controls::Color& secondary) const;

    // --- Geometry of a button of `side` points (the button is square) ---
    static double fontSize(double side) { return side * fontSizeFactor; }
    static controls::Rect circleRect(double side) {
        return {circleInset, circleInset, side - 2 * circleInset, side - 2 * circleInset};
    }

private:
    bool mouseInside_ = false;
    bool popoverShown_ = false;
};

}  // namespace parlivo
