#pragma once

#include <memory>

#include "settings/PasteDelegate.h"

namespace parlivo {

// What Trellik and the web client host need of the application delegate, which reaches the
// windows and the menus: opening the preferences window, the "Need help?" prompt, and where the
// Paste command goes. The application delegate registers itself with
// Trellik::setApplicationDelegate at start-up.
class TrellikApplicationDelegate {
public:
    virtual ~TrellikApplicationDelegate() = default;
    virtual void showPreferencesWindow() = 0;
    // Shows the prompt and does what its buttons say (the FAQ, a support mail). Without a
    // display nothing is shown.
    virtual void showSupportAlert() {}
    // The drop overlay over the page takes the clipboard's files and images (Paste).
    virtual void setPasteDelegate(std::weak_ptr<PasteDelegate> delegate) {}
};

}  // namespace parlivo
