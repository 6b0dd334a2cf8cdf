#pragma once

namespace parlivo {

// What the lock screen needs of the window it sits in: the shake after a wrong password. The main
// window implements it; a lock screen in any other window shakes nothing.
class ShakableWindow {
public:
    virtual ~ShakableWindow() = default;
    virtual void shake() = 0;
};

}  // namespace parlivo
