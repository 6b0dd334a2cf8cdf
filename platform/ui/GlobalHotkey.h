#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

// A system-wide keyboard shortcut (an X11 key grab through keybinder-3.0). The combination is a
// GDK key value and a GDK modifier mask; the handler runs on the main loop when the user presses
// it, whichever program has the focus. Raw (uncooked) accelerators are used: with cooked ones a
// combination holding Shift never matches, because Shift+w arrives as "W".
// Without an X11 display nothing can be bound (bind returns false). Main thread.
class GlobalHotkey {
public:
    GlobalHotkey();
    ~GlobalHotkey();  // releases the grab
    GlobalHotkey(const GlobalHotkey&) = delete;
    GlobalHotkey& operator=(const GlobalHotkey&) = delete;

    // Whether global shortcuts can be bound here (an X11 display is open).
    static bool isSupported();

    // Binds the combination, replacing this object's earlier binding. False when it cannot be
    // bound (no X11 display, no such key, or another program holds the grab); then nothing is
    // bound.
    bool bind(unsigned keyval, unsigned modifiers, std::function<void()> handler);
    void unbind();
    bool isBound() const { return !accelerator_.empty(); }
    // The bound combination in GTK's accelerator syntax ("<Shift><Alt>w"), "" when unbound.
    const std::string& accelerator() const { return accelerator_; }

private:
    std::string accelerator_;
    std::shared_ptr<std::function<void()>> handler_;
};

}  // namespace platform
