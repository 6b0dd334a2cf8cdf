#pragma once

#include "settings/ActivationPolicy.h"

namespace parlivo {

// The main window's side of the settings model. Trellik holds it strongly (a shared_ptr) and calls
// it on the main thread.
class TrellikWindowDelegate {
public:
    virtual ~TrellikWindowDelegate() = default;

    // The tray item's "show or hide" action: close the window when it is active, else bring it up.
    virtual void handleStatusButtonClick() = 0;
    // Reopen from the launcher: bring the main window to front.
    virtual void handleDockButtonClick() = 0;
    // A desktop notification was clicked: bring the window to front and activate the program.
    virtual void showWindow() = 0;
    // The global shortcut: toggle the window like a tray click.
    virtual void handleShortcut() = 0;
    // Apply the window opacity for the current stealth state and "privacyStealthModeAlpha".
    virtual void applyStealthMode() = 0;
    // Around a change of the activation policy (the dock-icon setting): `current` is the policy
    // before the change, `next` the one about to be set; after it, `current` is the policy read
    // back and `set` the one that was set. The window applies its taskbar and pager hints.
    virtual void willChangeActivationPolicy(ActivationPolicy current, ActivationPolicy next) = 0;
    virtual void didChangeActivationPolicy(ActivationPolicy current, ActivationPolicy set) = 0;
    // Apply keep-above for Trellik::windowMode().
    virtual void applyWindowMode() = 0;
};

}  // namespace parlivo
