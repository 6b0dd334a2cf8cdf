#include "shell/MenuBarView.h"

#include <gtkmm/checkmenuitem.h>
#include <gtkmm/menu.h>
#include <gtkmm/separatormenuitem.h>

namespace parlivo {

namespace {

// Applies the item's state to its widget without running the item's action again.
void sync(Gtk::MenuItem& widget, const MenuItem& item, bool& updating) {
    updating = true;
    widget.set_label(item.title());
    widget.set_sensitive(item.isEnabled());
    widget.set_visible(!item.isHidden());
    if (auto* check = dynamic_cast<Gtk::CheckMenuItem*>(&widget)) check->set_active(item.state() == tovak::ButtonState::on);
    updating = false;
}

}  // namespace

MenuBarView::MenuBarView(const std::shared_ptr<Menu>& bar)
    : menuBar_(Gtk::manage(new Gtk::MenuBar())), accelGroup_(Gtk::AccelGroup::create()) {
    // Held by us until the window takes it; released with the window.
    menuBar_->reference();
    fill(*menuBar_, bar);
    menuBar_->show();
}

MenuBarView::~MenuBarView() {
    *alive_ = false;
    menuBar_->unreference();
}

void MenuBarView::fill(Gtk::MenuShell& shell, const std::shared_ptr<Menu>& menu) {
    for (auto& item : menu->items()) add(shell, item);
    // Items appended later (the visual styles) get their widgets as they come.
    menu->addItemAddedHandler([this, &shell, alive = alive_](const std::shared_ptr<MenuItem>& item) {
        if (*alive) add(shell, item);
    });
}

void MenuBarView::add(Gtk::MenuShell& shell, const std::shared_ptr<MenuItem>& item) {
    if (item->isSeparator()) {
        auto* separator = Gtk::manage(new Gtk::SeparatorMenuItem());
        separator->show();
        shell.append(*separator);
        return;
    }
    Gtk::MenuItem* widget = item->isCheckable() ? Gtk::manage(new Gtk::CheckMenuItem(item->title()))
                                                : Gtk::manage(new Gtk::MenuItem(item->title()));
    auto updating = std::make_shared<bool>(false);
    sync(*widget, *item, *updating);
    std::weak_ptr<MenuItem> weakItem = item;
    widget->signal_activate().connect([weakItem, updating, widget] {
        if (*updating) return;
        auto model = weakItem.lock();
        if (!model) return;
        model->activate();
        // The model owns the check mark: GTK toggled it already, so put the model's back.
        sync(*widget, *model, *updating);
    });
    item->addChangeHandler([widget, updating, alive = alive_](const MenuItem& changed) {
        if (*alive) sync(*widget, changed, *updating);
    });
    if (!item->accelerator().empty()) {
        guint key = 0;
        Gdk::ModifierType mods{};
        Gtk::AccelGroup::parse(item->accelerator(), key, mods);
        if (key != 0) widget->add_accelerator("activate", accelGroup_, key, mods, Gtk::ACCEL_VISIBLE);
    }
    if (item->submenu()) {
        auto* submenu = Gtk::manage(new Gtk::Menu());
        submenu->set_accel_group(accelGroup_);
        fill(*submenu, item->submenu());
        widget->set_submenu(*submenu);
    }
    shell.append(*widget);
}

}  // namespace parlivo
