#include "shell/ShortcutRecorder.h"

#include <gtk/gtk.h>

#include "foundation/Localized.h"
#include "shell/WQShortcut.h"

namespace parlivo {

ShortcutRecorder::ShortcutRecorder(WQShortcut& shortcut) : shortcut_(shortcut) {
    set_can_focus(true);
    refresh();
}

ShortcutRecorder::~ShortcutRecorder() {
    if (recording_) shortcut_.setSuspended(false);
}

void ShortcutRecorder::refresh() {
    if (recording_) {
        set_label(platform::localized("SHORTCUT_TYPE", "Type Shortcut"));
        return;
    }
    auto current = shortcut_.currentShortcut();
    set_label(current ? WQShortcut::displayName(*current) : platform::localized("SHORTCUT_RECORD", "Record Shortcut"));
}

void ShortcutRecorder::on_clicked() {
    if (recording_) {
        stopRecording();
        return;
    }
    recording_ = true;
    // The grab would swallow the current combination before it reaches us.
    shortcut_.setSuspended(true);
    grab_focus();
    refresh();
}

void ShortcutRecorder::stopRecording() {
    if (!recording_) return;
    recording_ = false;
    shortcut_.setSuspended(false);
    refresh();
}

bool ShortcutRecorder::handleKeyPress(unsigned keyval, unsigned modifiers) {
    if (!recording_) return false;
    modifiers &= gtk_accelerator_get_default_mod_mask();
    if (modifiers == 0 && keyval == GDK_KEY_Escape) {
        stopRecording();
        return true;
    }
    if (modifiers == 0 && (keyval == GDK_KEY_BackSpace || keyval == GDK_KEY_Delete)) {
        recording_ = false;
        shortcut_.setSuspended(false);
        shortcut_.setShortcut(std::nullopt);
        refresh();
        return true;
    }
    auto recorded = WQShortcut::shortcutFromGdk(keyval, modifiers);
    // A key the stored form cannot hold, or a plain typing key: keep listening.
    if (!recorded || !WQShortcut::isUsable(*recorded)) return true;
    recording_ = false;
    shortcut_.setSuspended(false);
    shortcut_.setShortcut(*recorded);
    refresh();
    return true;
}

bool ShortcutRecorder::on_key_press_event(GdkEventKey* event) {
    if (!recording_) return Gtk::Button::on_key_press_event(event);
    if (event->is_modifier) return true;
    // The key without Shift's effect, so Shift+W records W with Shift, not "W".
    guint keyval = event->keyval;
    gdk_keymap_translate_keyboard_state(gdk_keymap_get_for_display(gdk_window_get_display(event->window)),
                                        event->hardware_keycode, GdkModifierType(0), event->group, &keyval,
                                        nullptr, nullptr, nullptr);
    return handleKeyPress(keyval, event->state);
}

bool ShortcutRecorder::on_focus_out_event(GdkEventFocus* event) {
    stopRecording();
    return Gtk::Button::on_focus_out_event(event);
}

}  // namespace parlivo
