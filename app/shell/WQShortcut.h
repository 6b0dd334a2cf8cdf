#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "settings/GlobalShortcut.h"

namespace platform {
class GlobalHotkey;
}

namespace parlivo {

class ShortcutRecorder;
class Trellik;

// The global keyboard shortcut that shows or hides the program from anywhere: Option-Shift-W
// (Alt+Shift+W) unless the user records another. The user's choice is stored under
// "GlobalKeyboardShortcut" as {"keyCode": Mac virtual key code, "modifierFlags": Mac modifier
// flags}, the form the Mac version keeps, and mapped to a GDK key value and modifiers to bind.
// An empty dictionary means the user cleared the shortcut. Main thread.
class WQShortcut : public GlobalShortcut {
public:
    static constexpr std::string_view defaultsKey = "GlobalKeyboardShortcut";

    // Mac modifier flags.
    static constexpr std::uint64_t shiftFlag = 0x20000;
    static constexpr std::uint64_t controlFlag = 0x40000;
    static constexpr std::uint64_t optionFlag = 0x80000;
    static constexpr std::uint64_t commandFlag = 0x100000;

    struct Shortcut {
        int keyCode = 0;                 // Mac virtual key code
        std::uint64_t modifierFlags = 0; // Mac modifier flags (only the four above count)
        bool operator==(const Shortcut&) const = default;
    };
    // Option-Shift-W: key code 13 (W) with Option and Shift.
    static constexpr Shortcut defaultShortcut{13, optionFlag | shiftFlag};

    // Binds the stored shortcut, or the default one while none is stored. The shell hands it to
    // the settings model (Trellik::setShortCut).
    WQShortcut();
    ~WQShortcut() override;
    // The one `trellik` holds, if any.
    static WQShortcut* of(const Trellik& trellik);
    WQShortcut(const WQShortcut&) = delete;
    WQShortcut& operator=(const WQShortcut&) = delete;

    // What a press runs; unset, a press does nothing.
    const std::function<void()>& action() const { return action_; }
    void setAction(std::function<void()> action) override { action_ = std::move(action); }
    void performAction();

    // The shortcut in effect: the stored one, the default when nothing usable is stored, none
    // when the user cleared it.
    std::optional<Shortcut> currentShortcut() const;
    // Records the user's choice (none clears it), stores it and binds it.
    void setShortcut(std::optional<Shortcut> shortcut);
    // Binds again whatever the user defaults hold now.
    void rebind();
    // While the recorder listens, the grab is released so the keys reach it.
    void setSuspended(bool suspended);

    bool isBound() const;

    // The recorder control for the preferences, made on first use (needs the display).
    ShortcutRecorder& shortcutView();

    // Between the stored form and GDK: key value (lower case) and modifier mask. None for keys
    // the table does not know.
    static std::optional<std::pair<unsigned, unsigned>> gdkCombination(const Shortcut& shortcut);
    static std::optional<Shortcut> shortcutFromGdk(unsigned keyval, unsigned modifiers);
    // Whether the combination may be grabbed system-wide: it holds Control, Option or Command, or
    // is a function key, so it never steals a plain typing key (Shift alone included).
    static bool isUsable(const Shortcut& shortcut);
    // How the shortcut reads to the user ("Shift+Alt+W").
    static std::string displayName(const Shortcut& shortcut);

private:
    std::function<void()> action_;
    std::unique_ptr<platform::GlobalHotkey> hotkey_;
    std::unique_ptr<ShortcutRecorder> shortcutView_;
    bool suspended_ = false;
    // Handed to the hotkey's handler, which may run while this object is going away.
    std::shared_ptr<WQShortcut*> self_;
};

}  // namespace parlivo
