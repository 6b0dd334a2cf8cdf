// The main window's touch bar as a model: lists, items, enabled rules and presses.
#include <gtest/gtest.h>

#include "ShellFakes.h"
#include "WQPopoverTouchBarItem.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "foundation/NotificationCenter.h"
#include "shell/MainWindowNotifications.h"
#include "shell/WQWebContainerView.h"

using namespace parlivo;
using namespace testsupport;

namespace {

struct FakeWindow : TouchBarWindow {
    bool full = false, ours = true;
    int toggles = 0;
    bool isWQWindow() const override { return ours; }
    bool isFullScreen() const override { return full; }
    void toggleFullScreen() override { ++toggles; }
};

struct RecordingWeb : FakeWeb {
    int recordings = 0;
    std::vector<bool> stops;
    void startAudioRecording() override { ++recordings; }
    void stopAudioRecording(bool send) override { stops.push_back(send); }
};

class TouchBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        web = std::make_shared<RecordingWeb>();
        Trellik::shared().setWebViewDelegate(web);
        view = std::make_shared<WQWebContainerView>();
        window = std::make_shared<FakeWindow>();
        view->setWindow(window);
    }
    void TearDown() override { Trellik::shared().setWebViewDelegate(nullptr); }

    std::shared_ptr<platform::CustomTouchBarItem> custom(const std::string& identifier) {
        return std::dynamic_pointer_cast<platform::CustomTouchBarItem>(view->touchBar()->itemForIdentifier(identifier));
    }
    void press(const std::string& identifier) { ASSERT_TRUE(custom(identifier)->view()->press()) << identifier; }

    const WQWebContainerView::Identifiers& id = WQWebContainerView::identifiers();
    std::shared_ptr<RecordingWeb> web;
    std::shared_ptr<WQWebContainerView> view;
    std::shared_ptr<FakeWindow> window;
};

}  // namespace

TEST_F(TouchBarTest, DefaultAndAllowedLists) {
    auto bar = view->touchBar();
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->customizationIdentifier(), id.mainTouchBar);
    EXPECT_EQ(bar->defaultItemIdentifiers(),
              (std::vector<std::string>{id.newChat, id.newGroup, id.doNotDisturb, id.toggleFullscreen,
                                        id.conversationInfo, std::string(platform::touchbar::kFlexibleSpace), id.camera,
                                        id.recordVoiceMessagePopover, std::string(platform::touchbar::kOtherItemsProxy)}));
    EXPECT_EQ(bar->customizationAllowedItemIdentifiers(),
              (std::vector<std::string>{id.doNotDisturb, id.conversationInfo, id.searchInConversation,
                                        id.toggleFullscreen, id.newChat, id.newGroup, id.archive, id.stealthMode,
                                        id.camera, id.attach, id.recordVoiceMessagePopover, id.profileAndStatus,
                                        std::string(platform::touchbar::kFlexibleSpace)}));
    EXPECT_EQ(bar->items().size(), 7u);  // nine entries less the two standard ones
    EXPECT_TRUE(id.doNotDisturb.ends_with(".TouchBarItem.doNotDisturb"));
    EXPECT_FALSE(bar->itemForIdentifier("something.else"));
    EXPECT_TRUE(custom(id.activeContacts));  // made on request, offered nowhere
}

TEST_F(TouchBarTest, SendingDisabledDisablesSendingItemsAndMakesPlaceholders) {
    for (bool sending : {true, false}) {
        view->setSendingEnabled(sending);
        view->updateTouchBar();
        EXPECT_EQ(custom(id.newChat)->view()->isEnabled(), sending);
        EXPECT_EQ(custom(id.camera)->view()->isEnabled(), sending);
        EXPECT_TRUE(custom(id.newGroup)->view()->isEnabled());
        auto attach = view->touchBar()->itemForIdentifier(id.attach);
        auto voice = view->touchBar()->itemForIdentifier(id.recordVoiceMessagePopover);
        EXPECT_EQ(attach->customizationLabel(), "Send Media");  // from the strings table
        EXPECT_EQ(voice->customizationLabel(), "Voice Message");
        if (sending) {
            auto popover = std::dynamic_pointer_cast<platform::PopoverTouchBarItem>(attach);
            ASSERT_TRUE(popover);
            EXPECT_EQ(popover->popoverTouchBar()->defaultItemIdentifiers(),
                      (std::vector<std::string>{id.image, id.video, id.document, id.contact, id.camera}));
            auto voicePopover = std::dynamic_pointer_cast<tovak::WQPopoverTouchBarItem>(voice);
            ASSERT_TRUE(voicePopover);
            EXPECT_EQ(voicePopover->popoverTouchBar()->defaultItemIdentifiers(),
                      (std::vector<std::string>{id.cancel, id.send}));
        } else {
            auto placeholder = std::dynamic_pointer_cast<platform::CustomTouchBarItem>(attach);
            ASSERT_TRUE(placeholder);
            EXPECT_FALSE(placeholder->view()->isEnabled());
            EXPECT_EQ(placeholder->view()->imageName(), "NSImageNameTouchBarShareTemplate");
            auto voicePlaceholder = std::dynamic_pointer_cast<platform::CustomTouchBarItem>(voice);
            ASSERT_TRUE(voicePlaceholder);
            EXPECT_FALSE(voicePlaceholder->view()->isEnabled());
            EXPECT_FALSE(voicePlaceholder->view()->press());
        }
        for (const std::string* inside : {&id.image, &id.video, &id.document, &id.contact, &id.send, &id.cancel})
            EXPECT_EQ(custom(*inside)->view()->isEnabled(), sending) << *inside;
    }
    auto cancel = custom(id.cancel)->view();
    EXPECT_EQ(cancel->width(), 220.0);
    EXPECT_EQ(cancel->bezelColor(), (platform::TouchBarColor{0.92, 0.31, 0.24, 1.0}));
    EXPECT_EQ(custom(id.send)->view()->bezelColor(), (platform::TouchBarColor{0.42, 0.74, 0.25, 1.0}));
    EXPECT_FALSE(custom(id.send)->view()->width());
}

TEST_F(TouchBarTest, DoNotDisturbPressTogglesTheSettingAndRebuildsWithTheOtherImage) {
    auto& defaults = platform::UserDefaults::standard();
    defaults.setBool(std::string(keys::doNotDisturbEnabled), false);
    view->updateTouchBar();
    EXPECT_EQ(custom(id.doNotDisturb)->view()->imageName(), "DoNotDisturbActive");
    auto before = view->touchBar();
    press(id.doNotDisturb);
    EXPECT_TRUE(defaults.boolForKey(std::string(keys::doNotDisturbEnabled)));
    EXPECT_NE(view->touchBar(), before);  // the change notification dropped the bar
    EXPECT_EQ(custom(id.doNotDisturb)->view()->imageName(), "DoNotDisturbInactive");
    EXPECT_TRUE(custom(id.doNotDisturb)->view()->imageIsTemplate());
    press(id.doNotDisturb);
    EXPECT_FALSE(defaults.boolForKey(std::string(keys::doNotDisturbEnabled)));
}

TEST_F(TouchBarTest, FullScreenItemFollowsTheWindow) {
    EXPECT_EQ(custom(id.toggleFullscreen)->view()->imageName(), "NSImageNameTouchBarEnterFullScreenTemplate");
    window->full = true;
    platform::NotificationCenter::defaultCenter().post(windowDidEnterFullScreenNotification);
    EXPECT_EQ(custom(id.toggleFullscreen)->view()->imageName(), "NSImageNameTouchBarExitFullScreenTemplate");
    press(id.toggleFullscreen);
    EXPECT_EQ(window->toggles, 1);
    window->ours = false;
    view->updateTouchBar();
    EXPECT_FALSE(view->touchBar()->itemForIdentifier(id.toggleFullscreen));
}

TEST_F(TouchBarTest, PressesReachThePageInTheirOrder) {
    for (const std::string* item : {&id.conversationInfo, &id.searchInConversation, &id.newChat, &id.newGroup,
                                    &id.profileAndStatus, &id.archive, &id.activeContacts, &id.camera, &id.image,
                                    &id.video, &id.document, &id.contact})
        press(*item);
    using enum NativeAction;
    EXPECT_EQ(web->actions, (std::vector<NativeAction>{showConversationDetail, searchConversationContent, newChat,
                                                       newGroup, profileAndStatus, archive, activeContacts, camera,
                                                       image, video, document, contact}));
    press(id.send);
    press(id.cancel);
    EXPECT_EQ(web->stops, (std::vector<bool>{true, false}));
    const bool stealth = Trellik::shared().privacyStealthModeActive();
    press(id.stealthMode);
    EXPECT_NE(Trellik::shared().privacyStealthModeActive(), stealth);
    Trellik::shared().setPrivacyStealthModeActive(false);
    view->touchBarButtonClicked(nullptr);  // ignored
}

TEST_F(TouchBarTest, AttachChoicesCloseTheAttachBarAndTheVoiceItemStartsRecordingInstead) {
    auto attach = std::dynamic_pointer_cast<platform::PopoverTouchBarItem>(view->touchBar()->itemForIdentifier(id.attach));
    ASSERT_TRUE(attach);
    attach->showPopover(nullptr);
    auto inside = std::dynamic_pointer_cast<platform::CustomTouchBarItem>(
        attach->popoverTouchBar()->itemForIdentifier(id.image));
    ASSERT_TRUE(inside->view()->press());
    EXPECT_FALSE(attach->isPopoverShown());
    EXPECT_EQ(attach->dismissCount(), 1);

    auto voice = std::dynamic_pointer_cast<tovak::WQPopoverTouchBarItem>(
        view->touchBar()->itemForIdentifier(id.recordVoiceMessagePopover));
    ASSERT_TRUE(voice);
    voice->showPopover(nullptr);
    EXPECT_FALSE(voice->isPopoverShown());
    EXPECT_EQ(web->recordings, 1);
    Trellik::shared().setWebViewDelegate(nullptr);
    voice->showPopover(nullptr);  // no web view: nothing at all
    EXPECT_FALSE(voice->isPopoverShown());
    EXPECT_EQ(web->recordings, 1);

    // Camera with the attach item as a disabled placeholder: the command goes, nothing closes.
    Trellik::shared().setWebViewDelegate(web);
    view->setSendingEnabled(false);
    view->updateTouchBar();
    view->touchBarButtonClicked(custom(id.camera)->view().get());
    EXPECT_EQ(web->actions.back(), NativeAction::camera);
}
