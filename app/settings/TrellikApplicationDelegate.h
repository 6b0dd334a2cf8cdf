#pragma once

#include <functional>
#include <memory>
#include <string>

#include "settings/PasteDelegate.h"

namespace parlivo {

// The buttons of the "Need help?" prompt, as its response codes.
namespace SupportAlertResponse {
inline constexpr int readFAQ = 1000;
inline constexpr int contactSupport = 1001;
inline constexpr int back = 1002;
}  // namespace SupportAlertResponse

// What Trellik and the web client host need of the application delegate, which reaches the
// windows and the menus: opening the preferences window, the "Need help?" prompt, telling the user
// that an address could not be opened, and where the Paste command goes. The application delegate
// registers itself with Trellik::setApplicationDelegate at start-up.
class TrellikApplicationDelegate {
public:
    virtual ~TrellikApplicationDelegate() = default;
    virtual void showPreferencesWindow() = 0;
    // Shows the prompt; `onResponse` runs on the main thread with the chosen button's code.
    // Without a display nothing is shown and `onResponse` is not called.
    virtual void presentSupportAlert(std::function<void(int response)> onResponse) {}
    // The desktop has no program for `address` (or could not start it): say so, with the address.
    virtual void couldNotOpenAddress(const std::string& address) {}
    // The drop overlay over the page takes the clipboard's files and images (Paste).
    virtual void setPasteDelegate(std::weak_ptr<PasteDelegate> delegate) {}
};

}  // namespace parlivo
