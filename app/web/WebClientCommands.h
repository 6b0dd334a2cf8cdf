#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "settings/Enums.h"
#include "settings/UserNotification.h"
#include "web/ScriptMessage.h"

namespace tovak {
class WQLaunchAtLoginManager;
}

namespace parlivo {

class WQWindowNotification;

// The page side of the commands the native side sends the web client: each reads the settings it
// needs and runs its script (pagescripts) in the current web view. Without a web view a command
// is dropped and answers false. Main thread only; free of any toolkit so that tests drive it with
// a fake evaluator.
class WebClientCommands {
public:
    using Completion = platform::JavaScriptEvaluator::Completion;

    void setWebView(std::weak_ptr<platform::JavaScriptEvaluator> webView) { webView_ = std::move(webView); }
    std::shared_ptr<platform::JavaScriptEvaluator> webView() const { return webView_.lock(); }

    // Runs `script` in the current web view; false (and no completion) without one.
    bool run(const std::string& script, Completion completion = {}) const;

    void windowStatusDidChange(bool isKeyWindow) const;
    // false without a web view (the log-out then goes on at once).
    bool handleLogOut(Completion completion) const;
    // "wallpaper.jpg" of the user-content folder as a data URL, or no wallpaper.
    void updateWallpaper() const;
    // Zoom ("kFontSize") before style (the current visual style's word).
    void applyAppearance() const;
    void updateDoNotDisturb() const;
    void enableSending(bool enabled) const;
    void startAudioRecording() const;
    void stopAudioRecording(bool send) const;
    // The page's part of a menu command; false for camera, image and video (the media controller's).
    bool sendMenuCommand(NativeAction action) const;
    void updateStealthMode(bool stealthModeActive) const;
    // Whether stealth mode blurs the page now: while it is active, unless the pointer is over
    // the window and the content may show then ("privacyStealthModeShowContentOnMouseOver").
    static bool stealthObscuresContent(bool stealthModeActive, bool showContentOnMouseOver, bool pointerInside) {
        return stealthModeActive && !(showContentOnMouseOver && pointerInside);
    }
    bool getChatListWidth(Completion completion) const;
    // A click opens the notification's chat (then `opened` runs); a reply goes to placeReply
    // (with no word back: NotificationReplies hears the answer).
    void openChatOrReply(const UserNotification& notification, std::function<void()> opened) const;
    // Asks the page to put `text` into the chat of the notification `tag` and send it. `done`
    // runs once with true only when the page answered that it did (wqSendMessageToChatWithTag
    // resolves true); without a web view, on an error (a missing or failing page function) or any
    // other answer, with false.
    void placeReply(std::string_view text, std::string_view tag, std::function<void(bool placed)> done) const;
    void lockDown(bool locked) const;
    void sendSharedText(std::string_view text) const;
    void downloadBlob(std::string_view url) const;

    // The in-window reminder to start with the session, when launch at login is off and the
    // reminder is still wanted; none otherwise.
    static std::shared_ptr<WQWindowNotification> launchAtLoginReminder(tovak::WQLaunchAtLoginManager& manager);

private:
    std::weak_ptr<platform::JavaScriptEvaluator> webView_;
};

}  // namespace parlivo
