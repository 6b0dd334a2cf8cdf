#pragma once

#include <functional>

namespace parlivo {

// The keyboard shortcut that shows or hides the program from anywhere, as the settings model holds
// it. The shell makes the real one (WQShortcut) and hands it over with Trellik::setShortCut, which
// points its action at the window delegate.
class GlobalShortcut {
public:
    virtual ~GlobalShortcut() = default;
    // What a press runs; unset, a press does nothing.
    virtual void setAction(std::function<void()> action) = 0;
};

}  // namespace parlivo
