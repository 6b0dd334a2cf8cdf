#include "shell/MenuItem.h"

namespace parlivo {

MenuItem::MenuItem(std::string title, std::string accelerator, Action action)
    : title_(std::move(title)), accelerator_(std::move(accelerator)), action_(std::move(action)) {}

std::shared_ptr<MenuItem> MenuItem::separator() {
    auto item = std::make_shared<MenuItem>("");
    item->separator_ = true;
    return item;
}

void MenuItem::setTitle(std::string title) {
    title_ = std::move(title);
    changed();
}

void MenuItem::setEnabled(bool enabled) {
    enabled_ = enabled;
    changed();
}

void MenuItem::setHidden(bool hidden) {
    hidden_ = hidden;
    changed();
}

void MenuItem::setState(tovak::ButtonState state) {
    state_ = state;
    changed();
}

void MenuItem::activate() {
    if (!enabled_ || hidden_ || !action_) return;
    // A copy: the action may replace itself or this item's action.
    Action action = action_;
    action(*this);
}

void MenuItem::addChangeHandler(std::function<void(const MenuItem&)> handler) {
    handlers_.push_back(std::move(handler));
}

void MenuItem::changed() {
    for (auto& handler : handlers_) handler(*this);
}

void Menu::addItem(std::shared_ptr<MenuItem> item) {
    items_.push_back(item);
    for (auto& handler : addedHandlers_) handler(item);
}

void Menu::addItemAddedHandler(std::function<void(const std::shared_ptr<MenuItem>&)> handler) {
    addedHandlers_.push_back(std::move(handler));
}

}  // namespace parlivo
