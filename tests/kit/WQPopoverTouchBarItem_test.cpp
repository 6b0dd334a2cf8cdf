#include "WQPopoverTouchBarItem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tovak::WQPopoverTouchBarItem;
using tovak::WQPopoverTouchBarItemDelegate;

namespace {

// Records every call with whether the bar was shown at that moment; the can-answers are set per test.
class RecordingDelegate : public WQPopoverTouchBarItemDelegate {
public:
    std::vector<std::string> calls;
    std::vector<const void*> senders;
    bool allowShow = true, allowDismiss = true;
    bool clearDelegateInWillShow = false;

    void record(WQPopoverTouchBarItem& item, const char* what, const void* sender) {
        calls.push_back(std::string(what) + (item.isPopoverShown() ? "+shown" : ""));
        senders.push_back(sender);
    }
    bool popoverCanShow(WQPopoverTouchBarItem& item, const void* sender) override {
        record(item, "canShow", sender);
        return allowShow;
    }
    void popoverWillShow(WQPopoverTouchBarItem& item, const void* sender) override {
        record(item, "willShow", sender);
        if (clearDelegateInWillShow) item.setDelegate(nullptr);
    }
    void popoverDidShow(WQPopoverTouchBarItem& item, const void* sender) override { record(item, "didShow", sender); }
    bool popoverCanDismiss(WQPopoverTouchBarItem& item, const void* sender) override {
        record(item, "canDismiss", sender);
        return allowDismiss;
    }
    void popoverWillDismiss(WQPopoverTouchBarItem& item, const void* sender) override {
        record(item, "willDismiss", sender);
    }
    void popoverDidDismiss(WQPopoverTouchBarItem& item, const void* sender) override {
        record(item, "didDismiss", sender);
    }
};

// Implements only the can-show question, as the main window's bar does.
class GateOnly : public WQPopoverTouchBarItemDelegate {
public:
    bool answer = false;
    int asked = 0;
    bool popoverCanShow(WQPopoverTouchBarItem&, const void*) override {
        ++asked;
        return answer;
    }
};

const char* const kIdentifier = "net.vantreo.mac.WhatsApp.TouchBarItem.recordVoiceMessagePopover";

}  // namespace

TEST(WQPopoverTouchBarItem, ADelegateIsAskedThenToldAroundTheShowingAndDismissing) {
    WQPopoverTouchBarItem item(kIdentifier);
    auto delegate = std::make_shared<RecordingDelegate>();
    item.setDelegate(delegate);
    int sender = 0;
    item.showPopover(&sender);
    EXPECT_TRUE(item.isPopoverShown());
    item.dismissPopover(nullptr);
    EXPECT_FALSE(item.isPopoverShown());
    // The bar opens between will and did.
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"canShow", "willShow", "didShow+shown", "canDismiss+shown",
                                                         "willDismiss+shown", "didDismiss"}));
    EXPECT_EQ(delegate->senders, (std::vector<const void*>{&sender, &sender, &sender, nullptr, nullptr, nullptr}));
}

TEST(WQPopoverTouchBarItem, ANoStopsTheStepAndNothingElseIsSent) {
    WQPopoverTouchBarItem item(kIdentifier);
    auto delegate = std::make_shared<RecordingDelegate>();
    delegate->allowShow = false;
    item.setDelegate(delegate);
    item.showPopover(nullptr);
    EXPECT_FALSE(item.isPopoverShown());
    EXPECT_EQ(item.showCount(), 0);

    delegate->allowShow = true;
    delegate->allowDismiss = false;
    item.showPopover(nullptr);
    item.dismissPopover(nullptr);
    EXPECT_TRUE(item.isPopoverShown());
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"canShow", "canShow", "willShow", "didShow+shown",
                                                         "canDismiss+shown"}));
}

TEST(WQPopoverTouchBarItem, ADelegateWithOnlyTheGateDecidesAlone) {
    WQPopoverTouchBarItem item(kIdentifier);
    auto gate = std::make_shared<GateOnly>();
    item.setDelegate(gate);
    item.showPopover(nullptr);
    EXPECT_FALSE(item.isPopoverShown());
    gate->answer = true;
    item.showPopover(nullptr);
    EXPECT_TRUE(item.isPopoverShown());
    item.dismissPopover(nullptr);  // no can-dismiss: allowed
    EXPECT_FALSE(item.isPopoverShown());
    EXPECT_EQ(gate->asked, 2);
}

TEST(WQPopoverTouchBarItem, WithoutADelegateItBehavesAsAPlainPopover) {
    WQPopoverTouchBarItem item(kIdentifier);
    EXPECT_EQ(item.delegate(), nullptr);
    item.showPopover(nullptr);
    EXPECT_TRUE(item.isPopoverShown());
    item.dismissPopover(nullptr);
    EXPECT_FALSE(item.isPopoverShown());
}

TEST(WQPopoverTouchBarItem, ADelegateClearedByACallbackIsNotToldTheRest) {
    WQPopoverTouchBarItem item(kIdentifier);
    auto delegate = std::make_shared<RecordingDelegate>();
    delegate->clearDelegateInWillShow = true;
    item.setDelegate(delegate);
    std::weak_ptr<RecordingDelegate> watch = delegate;
    delegate.reset();  // the item held the only reference: clearing it inside the callback must be safe
    item.showPopover(nullptr);
    EXPECT_TRUE(item.isPopoverShown());
    EXPECT_EQ(item.delegate(), nullptr);
    EXPECT_TRUE(watch.expired());
}

TEST(WQPopoverTouchBarItem, ItLivesInABarLikeAnyPopoverItem) {
    auto item = std::make_shared<WQPopoverTouchBarItem>(kIdentifier);
    std::shared_ptr<platform::PopoverTouchBarItem> base = item;
    auto gate = std::make_shared<GateOnly>();
    item->setDelegate(gate);
    base->showPopover(nullptr);  // through the model's interface, as the bar's owner calls it
    EXPECT_EQ(gate->asked, 1);
    EXPECT_FALSE(base->isPopoverShown());
}
