#include "web/WebClientCommands.h"

#include "DebugPrint.h"
#include "WQApplicationInfo.h"
#include "WQDirectory.h"
#include "WQLaunchAtLoginManager.h"
#include "foundation/FileManager.h"
#include "foundation/Localized.h"
#include "foundation/UserDefaults.h"
#include "notifications/WQWindowNotification.h"
#include "settings/Keys.h"
#include "system/Crypto.h"
#include "web/PageScripts.h"

namespace parlivo {

namespace {

void debugLog(std::string_view message) { tovak::debugPrint("ViewController", message); }


// The wallpaper is an image the user chose; anything larger than this is no wallpaper.
constexpr std::uintmax_t kMaximumWallpaperBytes = 64u << 20;

}  // namespace

bool WebClientCommands::run(const std::string& script, Completion completion) const {
    auto webView = webView_.lock();
    if (!webView) return false;
    webView->evaluateJavaScript(script, std::move(completion));
    return true;
}

void WebClientCommands::windowStatusDidChange(bool isKeyWindow) const {
    run(pagescripts::windowStatusDidChange(isKeyWindow));
}

bool WebClientCommands::handleLogOut(Completion completion) const {
    return run(pagescripts::handleLogOut(), std::move(completion));
}

void WebClientCommands::updateWallpaper() const {
    const auto file = tovak::WQDirectory::userContentDirectory() / "wallpaper.jpg";
    const auto contents = platform::FileManager::contentsAtPath(file, kMaximumWallpaperBytes);
    if (!contents) {
        debugLog("Did not receive Wallpaper Data");
        run(pagescripts::modifyWallpaper(std::nullopt));
        return;
    }
    debugLog("Received Wallpaper Data");
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(contents->data());
    run(pagescripts::modifyWallpaper(platform::Crypto::base64({bytes, contents->size()})));
}

void WebClientCommands::applyAppearance() const {
    if (!webView_.lock()) return;
    run(pagescripts::setZoom(platform::UserDefaults::standard().integerForKey(keys::kFontSize)));
    // The same reading as Trellik::currentVisualStyle, without making the settings model.
    const auto style = fromRaw<VisualStyle>(platform::UserDefaults::standard().integerForKey(keys::kVisualStyle))
                           .value_or(VisualStyle::automatic);
    run(pagescripts::setStyle(styleName(style)));
}

void WebClientCommands::updateDoNotDisturb() const {
    run(pagescripts::setDoNotDisturb(platform::UserDefaults::standard().boolForKey(keys::doNotDisturbEnabled)));
}

void WebClientCommands::enableSending(bool enabled) const { run(pagescripts::enableSending(enabled)); }

void WebClientCommands::startAudioRecording() const { run(pagescripts::startAudioRecording()); }

void WebClientCommands::stopAudioRecording(bool send) const { run(pagescripts::stopAudioRecording(send)); }

bool WebClientCommands::sendMenuCommand(NativeAction action) const {
    const auto script = pagescripts::menuCommand(action);
    if (!script) return false;
    run(*script);
    return true;
}

void WebClientCommands::updateStealthMode(bool stealthModeActive) const {
    const bool show =
        stealthModeActive && platform::UserDefaults::standard().boolForKey(keys::privacyStealthModeShowContentOnMouseOver);
    run(pagescripts::setStealthModeShowContentOnMouseOver(show));
}

bool WebClientCommands::getChatListWidth(Completion completion) const {
    return run(pagescripts::getChatListWidth(), std::move(completion));
}

void WebClientCommands::openChatOrReply(const UserNotification& notification, std::function<void()> opened) const {
    if (notification.activationType == UserNotification::ActivationType::replied) {
        if (!notification.response || notification.identifier.empty()) return;
        placeReply(*notification.response, notification.identifier, [](bool) {});
        return;
    }
    if (notification.identifier.empty()) return;
    run(pagescripts::openChat(notification.identifier), [opened = std::move(opened)](const auto&) {
        if (opened) opened();
    });
}

void WebClientCommands::placeReply(std::string_view text, std::string_view tag,
                                   std::function<void(bool placed)> done) const {
    auto webView = webView_.lock();
    if (!webView) {
        if (done) done(false);
        return;
    }
    // The page's function answers with a promise: awaited, so the answer is where the text went.
    webView->callAsyncJavaScript("return " + pagescripts::sendMessageToChatWithTag(text, tag),
                                 [done = std::move(done)](const platform::JavaScriptEvaluator::Result& result) {
                                     const bool placed = !result.error && result.value && result.value->asBool() == true;
                                     if (done) done(placed);
                                 });
}

void WebClientCommands::lockDown(bool locked) const { run(pagescripts::lockDown(locked)); }

void WebClientCommands::sendSharedText(std::string_view text) const { run(pagescripts::sendSharedText(text)); }

void WebClientCommands::downloadBlob(std::string_view url) const { run(pagescripts::downloadBlob(url)); }

std::shared_ptr<WQWindowNotification> WebClientCommands::launchAtLoginReminder(tovak::WQLaunchAtLoginManager& manager) {
    if (manager.launchAtLogin() || !manager.showReminder()) return nullptr;
    auto finish = [](WQWindowNotification& notification) {
        if (auto delegate = notification.delegate.lock()) delegate->windowNotificationDidFinish(notification.shared_from_this());
    };
    auto* target = &manager;
    const std::string text = platform::localizedFormat(
        platform::localizedComment("LAUNCH_AT_LOGIN_REMINDER",
                                   "Would you like to launch %@ automatically when you log in to your Mac?"),
        {tovak::WQApplicationInfo::applicationName()});
    auto notification = WQWindowNotification::create(
        text, "AppIconLarge", platform::localizedComment("LAUNCH_AT_LOGIN_YES", "Yes, please"),
        [target, finish](WQWindowNotification& n) {
            target->setLaunchAtLogin(true);
            target->setShowReminder(false);
            finish(n);
        },
        platform::localizedComment("LAUNCH_AT_LOGIN_NO", "No, thank you"),
        [target, finish](WQWindowNotification& n) {
            target->setLaunchAtLogin(false);
            target->setShowReminder(false);
            finish(n);
        },
        platform::localizedComment("LAUNCH_AT_LOGIN_REMIND", "Remind me later"),
        [target, finish](WQWindowNotification& n) {
            target->setShowReminder(true);
            finish(n);
        },
        1000);
    notification->identifier = "LaunchAtLogin";
    return notification;
}

}  // namespace parlivo
