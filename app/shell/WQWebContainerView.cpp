#include "shell/WQWebContainerView.h"

#include "WQApplicationInfo.h"
#include "foundation/Localized.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "media/WQAudioPopoverItem.h"
#include "settings/Enums.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"
#include "settings/Trellik.h"
#include "shell/MainWindowNotifications.h"

namespace parlivo {

namespace {

// The platform's standard touch-bar template images, by name.
constexpr const char* kGetInfoImage = "NSImageNameTouchBarGetInfoTemplate";
constexpr const char* kSearchImage = "NSImageNameTouchBarSearchTemplate";
constexpr const char* kEnterFullScreenImage = "NSImageNameTouchBarEnterFullScreenTemplate";
constexpr const char* kExitFullScreenImage = "NSImageNameTouchBarExitFullScreenTemplate";
constexpr const char* kComposeImage = "NSImageNameTouchBarComposeTemplate";
constexpr const char* kUserGroupImage = "NSImageNameTouchBarUserGroupTemplate";
constexpr const char* kUserImage = "NSImageNameTouchBarUserTemplate";
constexpr const char* kHistoryImage = "NSImageNameTouchBarHistoryTemplate";
constexpr const char* kQuickLookImage = "NSImageNameTouchBarQuickLookTemplate";
constexpr const char* kShareImage = "NSImageNameTouchBarShareTemplate";
constexpr const char* kAudioInputImage = "NSImageNameTouchBarAudioInputTemplate";

// Images of our own bundle, drawn as templates.
bool isBundleImage(const std::string& name) {
    return name == "DoNotDisturbActive" || name == "DoNotDisturbInactive" || name == "ActiveContacts" ||
           name == "TouchBarCamera";
}

// Labels show their key when no translation exists; the English text only guides translators.
std::string label(const char* key, const char* comment) { return platform::localizedComment(key, comment); }

// The pop-over item holds its delegate strongly, and the view holds the item through its bar:
// the item gets this forwarder, which reaches the view only weakly.
class VoicePopoverDelegate : public tovak::WQPopoverTouchBarItemDelegate {
public:
    explicit VoicePopoverDelegate(std::weak_ptr<WQWebContainerView> view) : view_(std::move(view)) {}
    bool popoverCanShow(tovak::WQPopoverTouchBarItem& popover, const void* sender) override {
        auto view = view_.lock();
        return !view || view->popoverCanShow(popover, sender);
    }

private:
    std::weak_ptr<WQWebContainerView> view_;
};

}  // namespace

const WQWebContainerView::Identifiers& WQWebContainerView::identifiers() {
    static const Identifiers* ids = new Identifiers([] {  // never destroyed
        const std::string b = tovak::WQApplicationInfo::bundleIdentifier();
        Identifiers i;
        i.mainTouchBar = b + ".mainTouchBar";
        i.doNotDisturb = b + ".TouchBarItem.doNotDisturb";
        i.conversationInfo = b + ".TouchBarItem.conversationInfo";
        i.searchInConversation = b + ".TouchBarItem.searchInConversation";
        i.toggleFullscreen = b + ".TouchBarItem.toggleFullscreen";
        i.newChat = b + ".TouchBarItem.newChat";
        i.newGroup = b + ".TouchBarItem.newGroup";
        i.profileAndStatus = b + ".TouchBarItem.profileAndStatus";
        i.archive = b + ".TouchBarItem.archive";
        i.activeContacts = b + ".TouchBarItem.activeContacts";
        i.stealthMode = b + ".TouchBarItem.stealthMode";
        i.attach = b + ".TouchBarItem.attach";
        i.image = b + ".attachPopover.image";
        i.video = b + ".attachPopover.video";
        i.document = b + ".attachPopover.document";
        i.contact = b + ".attachPopover.contact";
        i.camera = b + ".TouchBarItem.camera";
        i.recordVoiceMessagePopover = b + ".TouchBarItem.recordVoiceMessagePopover";
        i.send = b + ".TouchBarItem.recordVoiceMessagePopover.Send";
        i.cancel = b + ".TouchBarItem.recordVoiceMessagePopover.Cancel";
        return i;
    }());
    return *ids;
}

WQWebContainerView::WQWebContainerView() {
    // Observers hold the view through the centre's tokens, which the destructor drops first.
    auto& center = platform::NotificationCenter::defaultCenter();
    for (std::string_view name : {names::doNotDisturbModeChanged, windowDidEnterFullScreenNotification,
                                  windowDidExitFullScreenNotification}) {
        observers_.push_back(center.addObserver(name, [this](const platform::Notification&) { updateTouchBar(); }));
    }
}

WQWebContainerView::~WQWebContainerView() {
    observers_.clear();
    if (auto& bar = currentTouchBar(); bar && bar->delegate() == this) bar->setDelegate(nullptr);
}

void WQWebContainerView::updateTouchBar() { setTouchBar(nullptr); }

std::shared_ptr<platform::TouchBar> WQWebContainerView::makeTouchBar() {
    const Identifiers& id = identifiers();
    auto bar = std::make_shared<platform::TouchBar>();
    bar->setDelegate(this);
    bar->setCustomizationIdentifier(id.mainTouchBar);
    bar->setDefaultItemIdentifiers({id.newChat, id.newGroup, id.doNotDisturb, id.toggleFullscreen,
                                    id.conversationInfo, std::string(platform::touchbar::kFlexibleSpace), id.camera,
                                    id.recordVoiceMessagePopover, std::string(platform::touchbar::kOtherItemsProxy)});
    // Active contacts has an item and a press action but is offered in neither list, as before.
    bar->setCustomizationAllowedItemIdentifiers({id.doNotDisturb, id.conversationInfo, id.searchInConversation,
                                                 id.toggleFullscreen, id.newChat, id.newGroup, id.archive,
                                                 id.stealthMode, id.camera, id.attach, id.recordVoiceMessagePopover,
                                                 id.profileAndStatus,
                                                 std::string(platform::touchbar::kFlexibleSpace)});
    return bar;
}

std::shared_ptr<platform::CustomTouchBarItem> WQWebContainerView::buttonItem(const std::string& identifier,
                                                                             const std::string& imageName,
                                                                             bool enabled, const std::string& text) {
    std::weak_ptr<WQWebContainerView> weak = weak_from_this();
    auto button = std::make_shared<platform::TouchBarButton>("", imageName, [weak](platform::TouchBarButton& sender) {
        if (auto self = weak.lock()) self->touchBarButtonClicked(&sender);
    });
    button->setImageIsTemplate(isBundleImage(imageName));
    button->setIdentifier(identifier);
    button->setEnabled(enabled);
    auto item = std::make_shared<platform::CustomTouchBarItem>(identifier);
    item->setView(button);
    item->setCustomizationLabel(text);
    return item;
}

std::shared_ptr<platform::CustomTouchBarItem> WQWebContainerView::titledButtonItem(const std::string& identifier,
                                                                                   const std::string& title) {
    std::weak_ptr<WQWebContainerView> weak = weak_from_this();
    auto button = std::make_shared<platform::TouchBarButton>(title, "", [weak](platform::TouchBarButton& sender) {
        if (auto self = weak.lock()) self->touchBarButtonClicked(&sender);
    });
    const Identifiers& id = identifiers();
    if (identifier == id.send) {
        button->setBezelColor(platform::TouchBarColor{0.42, 0.74, 0.25, 1.0});
    } else if (identifier == id.cancel) {
        button->setBezelColor(platform::TouchBarColor{0.92, 0.31, 0.24, 1.0});
        button->setWidth(220.0);
    }
    button->setIdentifier(identifier);
    button->setEnabled(sendingEnabled_);
    auto item = std::make_shared<platform::CustomTouchBarItem>(identifier);
    item->setView(button);
    return item;
}

std::shared_ptr<platform::CustomTouchBarItem> WQWebContainerView::disabledPlaceholder(const std::string& identifier,
                                                                                      const std::string& imageName,
                                                                                      const std::string& text) {
    auto button = std::make_shared<platform::TouchBarButton>("", imageName);
    button->setEnabled(false);
    auto item = std::make_shared<platform::CustomTouchBarItem>(identifier);
    item->setView(button);
    item->setCustomizationLabel(text);
    return item;
}

std::shared_ptr<platform::TouchBarItem> WQWebContainerView::attachItem() {
    const Identifiers& id = identifiers();
    const std::string text = label("SEND_MEDIA", "Send Media");
    if (!sendingEnabled_) return disabledPlaceholder(id.attach, kShareImage, text);
    auto item = std::make_shared<platform::PopoverTouchBarItem>(id.attach);
    item->setCustomizationLabel(text);
    item->setCollapsedRepresentationImage(kShareImage);
    auto popoverBar = std::make_shared<platform::TouchBar>();
    popoverBar->setDelegate(this);
    std::vector<std::string> inside{id.image, id.video, id.document, id.contact, id.camera};
    popoverBar->setDefaultItemIdentifiers(inside);
    popoverBar->setCustomizationAllowedItemIdentifiers(inside);
    item->setPopoverTouchBar(popoverBar);
    return item;
}

std::shared_ptr<platform::TouchBarItem> WQWebContainerView::voiceItem() {
    const Identifiers& id = identifiers();
    const std::string text = label("VOICE_MESSAGE", "Voice Message");
    if (!sendingEnabled_) return disabledPlaceholder(id.recordVoiceMessagePopover, kAudioInputImage, text);
    // Opens and closes with the recorder's start and stop notifications.
    auto item = std::make_shared<WQAudioPopoverItem>(id.recordVoiceMessagePopover);
    item->setCustomizationLabel(text);
    item->setCollapsedRepresentationImage(kAudioInputImage);
    item->setDelegate(std::make_shared<VoicePopoverDelegate>(weak_from_this()));
    auto popoverBar = std::make_shared<platform::TouchBar>();
    popoverBar->setDelegate(this);
    popoverBar->setDefaultItemIdentifiers({id.cancel, id.send});
    item->setPopoverTouchBar(popoverBar);
    return item;
}

std::shared_ptr<platform::TouchBarItem> WQWebContainerView::makeItemForIdentifier(platform::TouchBar&,
                                                                                  const std::string& identifier) {
    const Identifiers& id = identifiers();
    if (identifier == id.doNotDisturb) {
        // The inactive image shows while do-not-disturb is on: it offers the way back.
        const bool on = platform::UserDefaults::standard().boolForKey(keys::doNotDisturbEnabled);
        return buttonItem(identifier, on ? "DoNotDisturbInactive" : "DoNotDisturbActive", true,
                          label("DO_NOT_DISTURB", "Do Not Disturb"));
    }
    if (identifier == id.conversationInfo)
        return buttonItem(identifier, kGetInfoImage, true, label("CONVERSATION_INFO", "Conversation Info"));
    if (identifier == id.searchInConversation)
        return buttonItem(identifier, kSearchImage, true, label("SEARCH_IN_CONVERSATION", "Search in conversation"));
    if (identifier == id.toggleFullscreen) {
        auto window = window_.lock();
        if (!window || !window->isWQWindow()) return nullptr;
        return buttonItem(identifier, window->isFullScreen() ? kExitFullScreenImage : kEnterFullScreenImage, true,
                          label("TOGGLE_FULLSCREEN", "Toggle Fullscreen"));
    }
    if (identifier == id.newChat)
        return buttonItem(identifier, kComposeImage, sendingEnabled_, label("NEW_CHAT", "New Conversation"));
    if (identifier == id.newGroup) return buttonItem(identifier, kUserGroupImage, true, label("NEW_GROUP", "New Group"));
    if (identifier == id.profileAndStatus)
        return buttonItem(identifier, kUserImage, true, label("PROFILE_AND_STATUS", "Profile and Status"));
    if (identifier == id.archive) return buttonItem(identifier, kHistoryImage, true, label("ARCHIVE", "Archive"));
    if (identifier == id.activeContacts)
        return buttonItem(identifier, "ActiveContacts", true, label("ACTIVE_CONTACTS", "Active Contacts"));
    if (identifier == id.stealthMode)
        return buttonItem(identifier, kQuickLookImage, true, label("STEALTH_MODE", "Stealth Mode"));
    if (identifier == id.camera)
        return buttonItem(identifier, "TouchBarCamera", sendingEnabled_, label("CAMERA", "Camera"));
    if (identifier == id.attach) return attachItem();
    if (identifier == id.image) return titledButtonItem(identifier, label("SEND_IMAGE", "Image"));
    if (identifier == id.video) return titledButtonItem(identifier, label("SEND_VIDEO", "Video"));
    if (identifier == id.document) return titledButtonItem(identifier, label("SEND_DOCUMENT", "Document"));
    if (identifier == id.contact) return titledButtonItem(identifier, label("SEND_CONTACT", "Contact"));
    if (identifier == id.recordVoiceMessagePopover) return voiceItem();
    if (identifier == id.send) return titledButtonItem(identifier, label("PTT_SEND", "Send"));
    if (identifier == id.cancel) return titledButtonItem(identifier, label("PTT_CANCEL", "Cancel"));
    return nullptr;
}

void WQWebContainerView::dismissAttachPopover(platform::TouchBarButton* sender) {
    auto bar = currentTouchBar();
    if (!bar) return;
    auto item = std::dynamic_pointer_cast<platform::PopoverTouchBarItem>(bar->itemForIdentifier(identifiers().attach));
    if (item) item->dismissPopover(sender);
}

void WQWebContainerView::touchBarButtonClicked(platform::TouchBarButton* sender) {
    if (!sender || !sender->identifier()) return;
    const std::string& pressed = *sender->identifier();
    const Identifiers& id = identifiers();
    Trellik& trellik = Trellik::shared();
    if (pressed == id.doNotDisturb) {
        trellik.setDoNotDisturbEnabled(
            !platform::UserDefaults::standard().boolForKey(keys::doNotDisturbEnabled));
    } else if (pressed == id.conversationInfo) {
        trellik.sendMenuCommand(NativeAction::showConversationDetail);
    } else if (pressed == id.searchInConversation) {
        trellik.sendMenuCommand(NativeAction::searchConversationContent);
    } else if (pressed == id.toggleFullscreen) {
        if (auto window = window_.lock()) window->toggleFullScreen();
    } else if (pressed == id.send) {
        trellik.stopAudioRecording(true);
    } else if (pressed == id.cancel) {
        trellik.stopAudioRecording(false);
    } else if (pressed == id.newChat) {
        trellik.sendMenuCommand(NativeAction::newChat);
    } else if (pressed == id.newGroup) {
        trellik.sendMenuCommand(NativeAction::newGroup);
    } else if (pressed == id.profileAndStatus) {
        trellik.sendMenuCommand(NativeAction::profileAndStatus);
    } else if (pressed == id.archive) {
        trellik.sendMenuCommand(NativeAction::archive);
    } else if (pressed == id.activeContacts) {
        trellik.sendMenuCommand(NativeAction::activeContacts);
    } else if (pressed == id.stealthMode) {
        trellik.setPrivacyStealthModeActive(!trellik.privacyStealthModeActive());
    } else if (pressed == id.camera) {
        trellik.sendMenuCommand(NativeAction::camera);
        dismissAttachPopover(sender);
    } else if (pressed == id.image || pressed == id.video || pressed == id.document || pressed == id.contact) {
        trellik.sendMenuCommand(pressed == id.image   ? NativeAction::image
                                : pressed == id.video ? NativeAction::video
                                : pressed == id.document ? NativeAction::document
                                                         : NativeAction::contact);
        dismissAttachPopover(sender);
    }
}

bool WQWebContainerView::popoverCanShow(tovak::WQPopoverTouchBarItem& popover, const void*) {
    if (popover.identifier() != identifiers().recordVoiceMessagePopover) return true;
    if (auto web = Trellik::shared().webViewDelegate()) web->startAudioRecording();
    return false;
}

}  // namespace parlivo
