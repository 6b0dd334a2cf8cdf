#pragma once

#include <functional>
#include <memory>
#include <string>

namespace Gtk {
class Widget;
}

namespace parlivo {

// One pane of the preferences window: its identifier, toolbar label and image, and its view.
class PreferencesPane {
public:
    virtual ~PreferencesPane() = default;
    virtual std::string paneIdentifier() const = 0;
    virtual std::string toolbarItemLabel() const = 0;
    // An icon name of the icon theme.
    virtual std::string toolbarItemImage() const = 0;
    virtual Gtk::Widget& view() = 0;
    // The pane came on screen / left it (panes follow the settings model while shown).
    virtual void viewWillAppear() {}
    virtual void viewDidDisappear() {}
};

// Makes the pane for an identifier ("General", "Privacy", "Sounds and Appearance"). The
// preferences issue registers the real panes; until then a pane shows its title.
using PreferencesPaneMaker = std::function<std::unique_ptr<PreferencesPane>()>;
void registerPreferencesPane(const std::string& identifier, PreferencesPaneMaker maker);
std::unique_ptr<PreferencesPane> makePreferencesPane(const std::string& identifier);

}  // namespace parlivo
