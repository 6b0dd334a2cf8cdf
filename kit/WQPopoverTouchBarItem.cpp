#include "WQPopoverTouchBarItem.h"

namespace tovak {

WQPopoverTouchBarItem::WQPopoverTouchBarItem(std::string identifier)
    : platform::PopoverTouchBarItem(std::move(identifier)) {}

// Each step takes its own reference: a callback that clears the delegate must not destroy the
// object that is still running.
void WQPopoverTouchBarItem::showPopover(const void* sender) {
    if (auto delegate = delegate_; delegate && !delegate->popoverCanShow(*this, sender)) return;
    if (auto delegate = delegate_) delegate->popoverWillShow(*this, sender);
    platform::PopoverTouchBarItem::showPopover(sender);
    if (auto delegate = delegate_) delegate->popoverDidShow(*this, sender);
}

void WQPopoverTouchBarItem::dismissPopover(const void* sender) {
    if (auto delegate = delegate_; delegate && !delegate->popoverCanDismiss(*this, sender)) return;
    if (auto delegate = delegate_) delegate->popoverWillDismiss(*this, sender);
    platform::PopoverTouchBarItem::dismissPopover(sender);
    if (auto delegate = delegate_) delegate->popoverDidDismiss(*this, sender);
}

}  // namespace tovak
