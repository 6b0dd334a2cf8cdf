#include "controls/InfoButtonLogic.h"

namespace parlivo {

using controls::Color;

InfoButtonLogic::PopoverCommand InfoButtonLogic::mouseEntered() {
    mouseInside_ = true;
    if (!showOnHover || popoverShown_) return PopoverCommand::none;
    return PopoverCommand::show;
}

InfoButtonLogic::PopoverCommand InfoButtonLogic::mouseExited() {
    mouseInside_ = false;
    if (!showOnHover || !popoverShown_) return PopoverCommand::none;
    return PopoverCommand::close;
}

InfoButtonLogic::PopoverCommand InfoButtonLogic::clicked() {
    return popoverShown_ ? PopoverCommand::close : PopoverCommand::show;
}

Color InfoButtonLogic::circleColor(const Color& primary) const {
    return mouseInside_ || popoverShown_ ? primary : primary.withAlpha(primary.alpha * dimmedAlpha);
}

Color InfoButtonLogic::markColor(const Color& primary, const Color& secondary) const {
    if (fillMode) return secondary;
    // In outline mode only the pointer brightens the mark; an open popover alone does not.
    return mouseInside_ ? primary : primary.withAlpha(primary.alpha * dimmedAlpha);
}

}  // namespace parlivo
