#pragma once

namespace parlivo {

// Registers the real preference panes (General, Privacy, Sounds and Appearance) with the
// preferences window, in place of its placeholders, over the shared settings model. Call once at
// start-up.
void registerPreferencePanes();

}  // namespace parlivo
