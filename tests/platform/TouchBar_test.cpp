#include "ui/TouchBar.h"

#include <gtest/gtest.h>

#include <map>

using namespace platform;

namespace {

// Makes a button item for every identifier starting with "item.", nothing for the rest, and
// counts how often it was asked.
class CountingDelegate : public TouchBarDelegate {
public:
    std::map<std::string, int> asked;
    std::shared_ptr<TouchBarItem> makeItemForIdentifier(TouchBar&, const std::string& identifier) override {
        ++asked[identifier];
        if (identifier.rfind("item.", 0) != 0) return nullptr;
        auto item = std::make_shared<CustomTouchBarItem>(identifier);
        item->setView(std::make_shared<TouchBarButton>("", "NSImageNameTouchBarComposeTemplate"));
        return item;
    }
};

class Provider : public TouchBarProvider {
public:
    int built = 0;

protected:
    std::shared_ptr<TouchBar> makeTouchBar() override {
        ++built;
        auto bar = std::make_shared<TouchBar>();
        bar->setCustomizationIdentifier("net.vantreo.mac.WhatsApp.mainTouchBar");
        return bar;
    }
};

}  // namespace

TEST(TouchBar, ItemsComeFromTheDelegateOnceAndLeaveOutStandardAndMissingOnes) {
    CountingDelegate delegate;
    TouchBar bar;
    bar.setDelegate(&delegate);
    bar.setDefaultItemIdentifiers({"item.a", std::string(touchbar::kFlexibleSpace), "unknown", "item.b",
                                   std::string(touchbar::kOtherItemsProxy)});
    auto items = bar.items();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->identifier(), "item.a");
    EXPECT_EQ(items[1]->identifier(), "item.b");
    // Asked again: the same items, no new requests, and never for standard identifiers.
    EXPECT_EQ(bar.itemForIdentifier("item.a"), items[0]);
    bar.items();
    EXPECT_EQ(delegate.asked, (std::map<std::string, int>{{"item.a", 1}, {"item.b", 1}, {"unknown", 1}}));

    TouchBar orphan;
    orphan.setDefaultItemIdentifiers({"item.a"});
    EXPECT_TRUE(orphan.items().empty());
}

TEST(TouchBar, AProviderBuildsOnDemandAndRebuildsAfterClearing) {
    Provider provider;
    EXPECT_EQ(provider.currentTouchBar(), nullptr);
    auto first = provider.touchBar();
    EXPECT_EQ(provider.touchBar(), first);
    EXPECT_EQ(provider.built, 1);
    provider.setTouchBar(nullptr);
    auto second = provider.touchBar();
    EXPECT_NE(second, first);
    EXPECT_EQ(provider.built, 2);
    EXPECT_EQ(second->customizationIdentifier(), "net.vantreo.mac.WhatsApp.mainTouchBar");
}

TEST(TouchBar, APressRunsTheActionOnlyWhenEnabled) {
    int presses = 0;
    const TouchBarButton* sender = nullptr;
    TouchBarButton button("PTT_SEND", "", [&](TouchBarButton& b) {
        ++presses;
        sender = &b;
    });
    button.setIdentifier("net.vantreo.mac.WhatsApp.TouchBarItem.recordVoiceMessagePopover.Send");
    EXPECT_TRUE(button.press());
    EXPECT_EQ(sender, &button);
    button.setEnabled(false);
    EXPECT_FALSE(button.press());
    EXPECT_EQ(presses, 1);
    TouchBarButton placeholder("", "NSImageNameTouchBarShareTemplate");
    EXPECT_FALSE(placeholder.press());
}

TEST(TouchBar, APopoverItemTracksWhetherItsBarIsShown) {
    PopoverTouchBarItem item("net.vantreo.mac.WhatsApp.TouchBarItem.attach");
    auto inner = std::make_shared<TouchBar>();
    inner->setDefaultItemIdentifiers({"image", "video"});
    item.setPopoverTouchBar(inner);
    EXPECT_FALSE(item.isPopoverShown());
    item.showPopover(nullptr);
    EXPECT_TRUE(item.isPopoverShown());
    item.dismissPopover(&item);
    EXPECT_FALSE(item.isPopoverShown());
    EXPECT_EQ(item.showCount(), 1);
    EXPECT_EQ(item.dismissCount(), 1);
    EXPECT_EQ(item.popoverTouchBar()->defaultItemIdentifiers().size(), 2u);
}
