#include "ButtonState.h"

namespace tovak {

bool boolButtonState(ButtonState state) { return state == ButtonState::on; }

ButtonState buttonState(bool value) { return value ? ButtonState::on : ButtonState::off; }

}  // namespace tovak
