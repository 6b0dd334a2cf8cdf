#pragma once

#include <gtkmm/button.h>

namespace parlivo {

class WQShortcut;

// The recorder control of the global shortcut: a button that shows the current shortcut; a click
// makes it listen for the next key combination, which becomes the new shortcut. Escape or
// leaving the control cancels; Backspace or Delete clears the shortcut. A combination needs
// Control, Alt or Super (or is a function key), so recording cannot steal a plain typing key.
class ShortcutRecorder : public Gtk::Button {
public:
    explicit ShortcutRecorder(WQShortcut& shortcut);
    ~ShortcutRecorder() override;

    bool isRecording() const { return recording_; }
    // Shows what is bound now.
    void refresh();

    // One key press while recording (GDK key value, hardware-independent modifiers). Returns
    // whether the press was taken. Public so a test can drive the control without a keyboard.
    bool handleKeyPress(unsigned keyval, unsigned modifiers);

protected:
    void on_clicked() override;
    bool on_key_press_event(GdkEventKey* event) override;
    bool on_focus_out_event(GdkEventFocus* event) override;

private:
    void stopRecording();

    WQShortcut& shortcut_;
    bool recording_ = false;
};

}  // namespace parlivo
