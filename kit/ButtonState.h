#pragma once

namespace tovak {

// A check box's or menu item's check state, with the raw values the Mac's control state has.
enum class ButtonState { mixed = -1, off = 0, on = 1 };

// True exactly for on; off and mixed give false.
bool boolButtonState(ButtonState state);
// on for true, off for false.
ButtonState buttonState(bool value);

}  // namespace tovak
