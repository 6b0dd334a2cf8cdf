#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "WQPopoverTouchBarItem.h"
#include "foundation/ObserverToken.h"
#include "shell/TouchBarWindow.h"
#include "ui/TouchBar.h"
#include "web/SendingStateObserver.h"

namespace parlivo {

// The container of the web view and the provider of the main window's touch bar: builds the bar,
// makes its items, sends each press to the settings model or the window, and drops the bar
// (so it is built again) when do-not-disturb, the full-screen state or the page's ability to
// send changes. The bar is a model (platform::TouchBar); nothing is drawn.
class WQWebContainerView : public platform::TouchBarProvider,
                           public platform::TouchBarDelegate,
                           public SendingStateObserver,
                           public std::enable_shared_from_this<WQWebContainerView> {
public:
    // The identifiers: the bundle identifier followed by a fixed suffix, each built once.
    struct Identifiers {
        std::string mainTouchBar, doNotDisturb, conversationInfo, searchInConversation, toggleFullscreen, newChat,
            newGroup, profileAndStatus, archive, activeContacts, stealthMode, attach, image, video, document, contact,
            camera, recordVoiceMessagePopover, send, cancel;
    };
    static const Identifiers& identifiers();

    WQWebContainerView();
    ~WQWebContainerView() override;

    // Whether the page can send now; the web client host writes it and then drops the bar.
    bool sendingEnabled() const { return sendingEnabled_; }
    void setSendingEnabled(bool enabled) { sendingEnabled_ = enabled; }
    // The page's word: kept, and the bar is made again with it.
    void sendingEnabledDidChange(bool enabled) override {
        setSendingEnabled(enabled);
        setTouchBar(nullptr);
    }

    // The window the view is in (not owned).
    void setWindow(std::weak_ptr<TouchBarWindow> window) { window_ = std::move(window); }

    // Observer of the three rebuild notifications: drops the bar.
    void updateTouchBar();

    std::shared_ptr<platform::TouchBarItem> makeItemForIdentifier(platform::TouchBar& touchBar,
                                                                  const std::string& identifier) override;
    // The action of every button made here.
    void touchBarButtonClicked(platform::TouchBarButton* sender);
    // A tap on the collapsed voice item starts the page's recording instead of opening the bar;
    // the bar opens when the recorder announces that recording has started.
    bool popoverCanShow(tovak::WQPopoverTouchBarItem& popover, const void* sender);

protected:
    std::shared_ptr<platform::TouchBar> makeTouchBar() override;

private:
    std::shared_ptr<platform::CustomTouchBarItem> buttonItem(const std::string& identifier,
                                                             const std::string& imageName, bool enabled,
                                                             const std::string& label);
    std::shared_ptr<platform::CustomTouchBarItem> titledButtonItem(const std::string& identifier,
                                                                   const std::string& title);
    std::shared_ptr<platform::CustomTouchBarItem> disabledPlaceholder(const std::string& identifier,
                                                                      const std::string& imageName,
                                                                      const std::string& label);
    std::shared_ptr<platform::TouchBarItem> attachItem();
    std::shared_ptr<platform::TouchBarItem> voiceItem();
    void dismissAttachPopover(platform::TouchBarButton* sender);

    bool sendingEnabled_ = true;
    std::weak_ptr<TouchBarWindow> window_;
    std::vector<platform::ObserverToken> observers_;
};

}  // namespace parlivo
