#pragma once

namespace parlivo {

// The main window as the touch bar sees it.
class TouchBarWindow {
public:
    virtual ~TouchBarWindow() = default;
    // True for the program's main window (the full-screen item is offered only there).
    virtual bool isWQWindow() const { return true; }
    virtual bool isFullScreen() const = 0;
    virtual void toggleFullScreen() = 0;
};

}  // namespace parlivo
