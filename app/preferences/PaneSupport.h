#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtkmm/checkbutton.h>
#include <sigc++/connection.h>

#include "controls/InterfaceFile.h"
#include "settings/TrellikSettingsDelegate.h"

namespace parlivo {

class Trellik;

// A check box of a pane that shows one setting of the model and stores its changes through it.
// `read` is the model's own reader where it has one (else the setting is read by key); `store`
// the model's own setter where changing the setting does more than store it (else it is stored
// by key). A pane lists its boxes in one table, which drives both its filling and its storing.
template <class Outlets>
struct SettingBox {
    Gtk::CheckButton* Outlets::*control;
    std::string_view key;
    bool (Trellik::*read)() const = nullptr;
    void (Trellik::*store)(bool) = nullptr;
};

// What the preference panes share: their interface file, their own change handlers (blocked
// while the pane fills its controls from the settings, so filling never writes back), and their
// turn as the settings model's settings delegate while they are on screen.
class PaneSupport {
public:
    // Loads the interface file ui/`interfaceName`.ui; a file that does not load is a programming
    // error that stops the program.
    PaneSupport(Trellik& trellik, std::string_view interfaceName, std::function<void()> settingsDidChange);
    ~PaneSupport();
    PaneSupport(const PaneSupport&) = delete;
    PaneSupport& operator=(const PaneSupport&) = delete;

    // The pane's interface file, whose outlets it takes.
    const InterfaceFile& file() const { return file_; }

    // Shows each box's setting (call inside fillBlocked).
    template <class Outlets, class Table>
    void fillSettingBoxes(const Outlets& outlets, const Table& table) const {
        for (const auto& setting : table) (outlets.*setting.control)->set_active(readSetting(setting.key, setting.read));
    }
    // The table's row of `sender`, or none when it is no box of the table.
    template <class Outlets, class Table>
    static const SettingBox<Outlets>* settingBoxOf(const Gtk::Widget* sender, const Outlets& outlets,
                                                   const Table& table) {
        for (const auto& setting : table)
            if (sender == outlets.*setting.control) return &setting;
        return nullptr;
    }
    // Stores the box's state through the model.
    template <class Outlets>
    void storeSettingBox(const SettingBox<Outlets>& setting, bool value) {
        storeSetting(setting.key, setting.store, value);
    }

    // A handler of one of the pane's controls, to be blocked while the pane fills.
    void addControlHandler(sigc::connection connection) { handlers_.push_back(std::move(connection)); }
    // Runs `fill` with every control handler blocked.
    void fillBlocked(const std::function<void()>& fill);

    // The pane came on screen / left it.
    void becomeSettingsDelegate();
    void resignSettingsDelegate();

private:
    bool readSetting(std::string_view key, bool (Trellik::*read)() const) const;
    void storeSetting(std::string_view key, void (Trellik::*store)(bool), bool value);

    class Forwarder;
    Trellik& trellik_;
    InterfaceFile file_;
    std::vector<sigc::connection> handlers_;
    std::shared_ptr<Forwarder> forwarder_;
    int filling_ = 0;
};

}  // namespace parlivo
