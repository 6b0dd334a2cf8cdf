#pragma once

#include <functional>

namespace parlivo {

// The "Need help?" prompt: read the FAQ, contact support by mail, or go back. Attached to the
// active window when there is one, else on its own; the chosen button's response is handed to
// the callback on the main thread.
class SupportAlert {
public:
    static constexpr int readFAQ = 1000;
    static constexpr int contactSupport = 1001;
    static constexpr int back = 1002;

    // Without a display nothing is shown and the callback is not called.
    static void present(std::function<void(int response)> onResponse);
};

}  // namespace parlivo
