#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtkmm/builder.h>
#include <sigc++/connection.h>

#include "settings/TrellikSettingsDelegate.h"

namespace parlivo {

class Trellik;

// What the preference panes share: their interface file, their own change handlers (blocked
// while the pane fills its controls from the settings, so filling never writes back), and their
// turn as the settings model's settings delegate while they are on screen.
class PaneSupport {
public:
    // Loads the interface file from the program's resources; a file that does not load is a
    // programming error that stops the program.
    PaneSupport(Trellik& trellik, const char* resourcePath, std::function<void()> settingsDidChange);
    ~PaneSupport();
    PaneSupport(const PaneSupport&) = delete;
    PaneSupport& operator=(const PaneSupport&) = delete;

    const Glib::RefPtr<Gtk::Builder>& builder() const { return builder_; }

    // The outlet `name` of the interface file; a missing one stops the program.
    template <class T>
    T* outlet(const char* name) const {
        T* widget = nullptr;
        builder_->get_widget(name, widget);
        if (!widget) missingOutlet(name);
        return widget;
    }
    template <class T>
    T* derivedOutlet(const char* name) const {
        T* widget = nullptr;
        builder_->get_widget_derived(name, widget);
        if (!widget) missingOutlet(name);
        return widget;
    }

    // A handler of one of the pane's controls, to be blocked while the pane fills.
    void addControlHandler(sigc::connection connection) { handlers_.push_back(std::move(connection)); }
    // Runs `fill` with every control handler blocked.
    void fillBlocked(const std::function<void()>& fill);
    bool isFilling() const { return filling_ > 0; }

    // The pane came on screen / left it.
    void becomeSettingsDelegate();
    void resignSettingsDelegate();

private:
    [[noreturn]] static void missingOutlet(const char* name);

    class Forwarder;
    Trellik& trellik_;
    Glib::RefPtr<Gtk::Builder> builder_;
    std::vector<sigc::connection> handlers_;
    std::shared_ptr<Forwarder> forwarder_;
    int filling_ = 0;
};

}  // namespace parlivo
