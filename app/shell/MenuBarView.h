#pragma once

#include <memory>

#include <gtkmm/accelgroup.h>
#include <gtkmm/menubar.h>

#include "shell/MenuItem.h"

namespace parlivo {

// Shows the menu model as a GTK menu bar and keeps each widget in line with its item (title,
// check mark, enabled, hidden). Activating a widget activates the item.
class MenuBarView {
public:
    explicit MenuBarView(const std::shared_ptr<Menu>& bar);
    ~MenuBarView();

    Gtk::MenuBar& widget() { return *menuBar_; }
    // The accelerators of every item; the window adds it.
    const Glib::RefPtr<Gtk::AccelGroup>& accelGroup() const { return accelGroup_; }

private:
    void fill(Gtk::MenuShell& shell, const std::shared_ptr<Menu>& menu);
    void add(Gtk::MenuShell& shell, const std::shared_ptr<MenuItem>& item);

    Gtk::MenuBar* menuBar_;
    Glib::RefPtr<Gtk::AccelGroup> accelGroup_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace parlivo
