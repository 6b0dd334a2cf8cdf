#pragma once

#include <functional>

#include "shell/SupportAlertResponse.h"

namespace parlivo {

// The "Need help?" prompt: read the FAQ, contact support by mail, or go back. Attached to the
// key window when there is one, else on its own; the chosen button's response is handed to
// the callback on the main thread.
class SupportAlert {
public:
    static constexpr int readFAQ = SupportAlertResponse::readFAQ;
    static constexpr int contactSupport = SupportAlertResponse::contactSupport;
    static constexpr int back = SupportAlertResponse::back;

    // Without a display nothing is shown and the callback is not called.
    static void present(std::function<void(int response)> onResponse);
};

}  // namespace parlivo
