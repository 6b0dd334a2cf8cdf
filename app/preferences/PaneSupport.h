#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <sigc++/connection.h>

#include "controls/InterfaceFile.h"
#include "settings/TrellikSettingsDelegate.h"

namespace parlivo {

class Trellik;

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

    // A handler of one of the pane's controls, to be blocked while the pane fills.
    void addControlHandler(sigc::connection connection) { handlers_.push_back(std::move(connection)); }
    // Runs `fill` with every control handler blocked.
    void fillBlocked(const std::function<void()>& fill);
    bool isFilling() const { return filling_ > 0; }

    // The pane came on screen / left it.
    void becomeSettingsDelegate();
    void resignSettingsDelegate();

private:
    class Forwarder;
    Trellik& trellik_;
    InterfaceFile file_;
    std::vector<sigc::connection> handlers_;
    std::shared_ptr<Forwarder> forwarder_;
    int filling_ = 0;
};

}  // namespace parlivo
