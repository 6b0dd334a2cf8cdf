#pragma once

namespace parlivo {

// What Trellik needs of the application delegate, which reaches the windows: opening the
// preferences window and the "Need help?" prompt. The application delegate registers itself with
// Trellik::setApplicationDelegate at start-up.
class TrellikApplicationDelegate {
public:
    virtual ~TrellikApplicationDelegate() = default;
    virtual void showPreferencesWindow() = 0;
    // Shows the prompt and does what its buttons say (the FAQ, a support mail). Without a
    // display nothing is shown.
    virtual void showSupportAlert() {}
};

}  // namespace parlivo
