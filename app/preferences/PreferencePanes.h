#pragma once

namespace parlivo {

// Registers the real preference panes with the preferences window, in place of the
// placeholders: General and Privacy, over the shared settings model. Call once at start-up.
void registerPreferencePanes();

}  // namespace parlivo
