#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ButtonState.h"

namespace parlivo {

class Menu;


// One entry of the main menu, kept apart from any toolkit so that the menu logic (titles,
// hidden items, check marks, enabled states, actions) runs and is tested without a display.
// The menu bar the user sees follows each item through its change handlers.
class MenuItem {
public:
    using Action = std::function<void(MenuItem&)>;

    explicit MenuItem(std::string title, std::string accelerator = {}, Action action = {});
    static std::shared_ptr<MenuItem> separator();

    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    tovak::ButtonState state() const { return state_; }
    void setState(tovak::ButtonState state);
    // Whether the item shows a check mark at all (the view makes a check item for it).
    bool isCheckable() const { return checkable_; }
    void setCheckable(bool checkable) { checkable_ = checkable; }
    bool isSeparator() const { return separator_; }

    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    // GTK accelerator text ("<Primary>comma"); empty for none.
    const std::string& accelerator() const { return accelerator_; }

    void setAction(Action action) { action_ = std::move(action); }
    bool hasAction() const { return static_cast<bool>(action_); }
    // What a click does: runs the action when the item is enabled and shown.
    void activate();

    const std::shared_ptr<Menu>& submenu() const { return submenu_; }
    void setSubmenu(std::shared_ptr<Menu> submenu) { submenu_ = std::move(submenu); }

    // Called after every change of title, enabled, hidden or state (the view's hook).
    void addChangeHandler(std::function<void(const MenuItem&)> handler);

private:
    void changed();

    std::string title_;
    std::string accelerator_;
    Action action_;
    std::string identifier_;
    int tag_ = 0;
    bool enabled_ = true;
    bool hidden_ = false;
    bool checkable_ = false;
    bool separator_ = false;
    tovak::ButtonState state_ = tovak::ButtonState::off;
    std::shared_ptr<Menu> submenu_;
    std::vector<std::function<void(const MenuItem&)>> handlers_;
};

// A list of items; an item may open a submenu.
class Menu {
public:
    explicit Menu(std::string title = {}) : title_(std::move(title)) {}

    const std::string& title() const { return title_; }
    const std::vector<std::shared_ptr<MenuItem>>& items() const { return items_; }
    void addItem(std::shared_ptr<MenuItem> item);
    // Called after an item was appended (the view adds a widget for it).
    void addItemAddedHandler(std::function<void(const std::shared_ptr<MenuItem>&)> handler);

private:
    std::string title_;
    std::vector<std::shared_ptr<MenuItem>> items_;
    std::vector<std::function<void(const std::shared_ptr<MenuItem>&)>> addedHandlers_;
};

}  // namespace parlivo
