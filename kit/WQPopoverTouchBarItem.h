#pragma once

#include <memory>
#include <string>

#include "ui/TouchBar.h"

namespace tovak {

class WQPopoverTouchBarItem;

// Asked before a pop-over item's bar is shown or dismissed, and told before and after. Every
// method is optional: the can-methods allow by default, the others do nothing.
class WQPopoverTouchBarItemDelegate {
public:
    virtual ~WQPopoverTouchBarItemDelegate() = default;
    virtual bool popoverCanShow(WQPopoverTouchBarItem& popover, const void* sender) { return true; }
    virtual void popoverWillShow(WQPopoverTouchBarItem& popover, const void* sender) {}
    virtual void popoverDidShow(WQPopoverTouchBarItem& popover, const void* sender) {}
    virtual bool popoverCanDismiss(WQPopoverTouchBarItem& popover, const void* sender) { return true; }
    virtual void popoverWillDismiss(WQPopoverTouchBarItem& popover, const void* sender) {}
    virtual void popoverDidDismiss(WQPopoverTouchBarItem& popover, const void* sender) {}
};

// A pop-over item whose delegate may veto showing or dismissing its bar. The delegate is held
// strongly; one that owns the item must break the cycle itself. It is read afresh before each
// step, so a callback that replaces or clears it changes what the following steps use.
class WQPopoverTouchBarItem : public platform::PopoverTouchBarItem {
public:
    explicit WQPopoverTouchBarItem(std::string identifier);

    const std::shared_ptr<WQPopoverTouchBarItemDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::shared_ptr<WQPopoverTouchBarItemDelegate> delegate) { delegate_ = std::move(delegate); }

    void showPopover(const void* sender) override;
    void dismissPopover(const void* sender) override;

private:
    std::shared_ptr<WQPopoverTouchBarItemDelegate> delegate_;
};

}  // namespace tovak
