#include "web/PageScripts.h"

#include "StringExtensions.h"

namespace parlivo::pagescripts {

namespace {
std::string quoted(std::string_view text) { return tovak::javascriptStringLiteral(text); }
std::string escaped(std::string_view text) { return tovak::stringEscapedForJavascript(text); }
// Base64 the program made itself holds only A-Z a-z 0-9 + / =, none of which needs escaping; large
// files cross as Base64, so it is inserted as it is.
std::string base64Literal(std::string_view base64) { return "\"" + std::string(base64) + "\""; }
}  // namespace

std::string didFinishNativeInit() { return "wqInit.didFinishNativeInit();"; }

std::string changeAudioToURL(std::string_view mimeType, std::string_view base64, std::string_view id) {
    // The escaper's output is safe between single quotes as well.
    return "changeAudioToURL('data:" + escaped(mimeType) + ";base64," + std::string(base64) + "', '" + escaped(id) + "');";
}

std::string ffmpegCallback(std::string_view id, const std::optional<std::string>& base64, std::string_view outDataType) {
    if (!base64) return "wqFFmpegCallback(" + quoted(id) + ", " + tovak::jsString(false) + ");";
    return "wqFFmpegCallback(" + quoted(id) + ", " + tovak::jsString(true) + ", " + base64Literal(*base64) + ", " +
           quoted(outDataType) + ");";
}

std::string windowStatusDidChange(bool isKeyWindow) {
    return "wqWindowStatusDidChange(" + tovak::jsString(isKeyWindow) + ");";
}

std::string handleLogOut() { return "wqHandleLogOut();"; }

std::string modifyWallpaper(const std::optional<std::string>& base64Jpeg) {
    if (!base64Jpeg) return "wqModifyWallpaper()";
    return "wqModifyWallpaper('data:image/jpeg;base64," + *base64Jpeg + "')";
}

std::string setZoom(std::int64_t fontSize) { return "wqSetZoom(" + tovak::jsNumber(fontSize) + ");"; }

std::string setStyle(std::string_view styleName) { return "wqSetStyle(" + quoted(styleName) + ");"; }

std::string setDoNotDisturb(bool on) { return "wqSetDoNotDisturb(" + tovak::jsString(on) + ");"; }

std::string enableSending(bool on) { return "wqEnableSending(" + tovak::jsString(on) + ");"; }

std::string startAudioRecording() { return "wqStartAudioRecording();"; }

std::string stopAudioRecording(bool send) { return "wqStopAudioRecording(" + tovak::jsString(send) + ");"; }

std::optional<std::string> menuCommand(NativeAction action) {
    switch (action) {
    case NativeAction::showConversationDetail: return "wqShowConversationDetails();";
    case NativeAction::searchConversationContent: return "wqSearchConversationContent();";
    case NativeAction::newChat: return "wqOpenNewChat();";
    case NativeAction::newGroup: return "wqOpenNewGroup();";
    case NativeAction::profileAndStatus: return "wqShowProfileAndStatus();";
    case NativeAction::archive: return "wqShowArchive();";
    case NativeAction::activeContacts: return "wqShowActiveContacts();";
    case NativeAction::document: return "wqSendDocument();";
    case NativeAction::contact: return "wqSendContact();";
    case NativeAction::camera:
    case NativeAction::image:
    case NativeAction::video: return std::nullopt;
    }
    return std::nullopt;
}

std::string setStealthModeShowContentOnMouseOver(bool show) {
    return "wqSetStealthModeShowContentOnMouseOver(" + tovak::jsString(show) + ")";
}

std::string getChatListWidth() { return "wqGetChatListWidth();"; }

std::string sendMessageToChatWithTag(std::string_view text, std::string_view tag) {
    return "wqSendMessageToChatWithTag(" + quoted(text) + ", " + quoted(tag) + ");";
}

std::string sendSharedText(std::string_view text) {
    return "wqSendMessageToChatWithTag(" + quoted(text) + ", null, true);";
}

std::string openChat(std::string_view tag) { return "wqOpenChat(" + quoted(tag) + ");"; }

std::string lockDown(bool locked) { return "wqLockDown(\"" + tovak::jsString(locked) + "\");"; }

std::string downloadBlob(std::string_view url) { return "wqDownloadBlob(" + quoted(url) + ");"; }

std::string subFrameMediaGuard() {
    return R"JS((function () {
    if (window === window.top || !window.MediaDevices) return;
    var refuse = function () {
        return Promise.reject(new DOMException("Only the page itself may use the microphone and camera.",
                                               "NotAllowedError"));
    };
    ["getUserMedia", "getDisplayMedia"].forEach(function (name) {
        try {
            Object.defineProperty(MediaDevices.prototype, name, { value: refuse, writable: false, configurable: false });
        } catch (error) {
        }
    });
})();)JS";
}

}  // namespace parlivo::pagescripts
