#include "TouchBar.h"

namespace platform {

bool touchbar::isStandardIdentifier(std::string_view identifier) {
    return identifier == kFlexibleSpace || identifier == kFixedSpaceSmall || identifier == kFixedSpaceLarge ||
           identifier == kOtherItemsProxy || identifier == kCharacterPicker;
}

TouchBarButton::TouchBarButton(std::string title, std::string imageName, Action action)
    : title_(std::move(title)), imageName_(std::move(imageName)), action_(std::move(action)) {}

bool TouchBarButton::press() {
    if (!enabled_ || !action_) return false;
    auto action = action_;  // the action may replace itself
    action(*this);
    return true;
}

void PopoverTouchBarItem::showPopover(const void*) {
    shown_ = true;
    ++showCount_;
}

void PopoverTouchBarItem::dismissPopover(const void*) {
    shown_ = false;
    ++dismissCount_;
}

void TouchBar::setDefaultItemIdentifiers(std::vector<std::string> identifiers) {
    defaultItemIdentifiers_ = std::move(identifiers);
}

std::shared_ptr<TouchBarItem> TouchBar::itemForIdentifier(const std::string& identifier) {
    if (touchbar::isStandardIdentifier(identifier)) return nullptr;
    for (const auto& [id, item] : made_)
        if (id == identifier) return item;
    if (!delegate_) return nullptr;
    auto item = delegate_->makeItemForIdentifier(*this, identifier);
    made_.emplace_back(identifier, item);
    return item;
}

std::vector<std::shared_ptr<TouchBarItem>> TouchBar::items() {
    std::vector<std::shared_ptr<TouchBarItem>> out;
    for (const auto& identifier : defaultItemIdentifiers_)
        if (auto item = itemForIdentifier(identifier)) out.push_back(std::move(item));
    return out;
}

std::shared_ptr<TouchBar> TouchBarProvider::touchBar() {
    if (!touchBar_) touchBar_ = makeTouchBar();
    return touchBar_;
}

}  // namespace platform
