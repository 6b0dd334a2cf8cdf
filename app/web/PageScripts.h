#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/Enums.h"

// Every script the main view controller runs in the page, built in this one place. Texts that
// come from outside (ids, tags, types, URLs, reply texts) always go through the one escaper, so
// no value can end its string literal early or break the script. Base64 arguments are the
// program's own encoding (standard alphabet, one line) and are inserted as they are.
namespace parlivo::pagescripts {

// "wqInit.didFinishNativeInit();"
std::string didFinishNativeInit();
// changeAudioToURL('data:<mime>;base64,<data>', '<id>');
std::string changeAudioToURL(std::string_view mimeType, std::string_view base64, std::string_view id);
// wqFFmpegCallback("<id>", false); or wqFFmpegCallback("<id>", true, "<data>", "<type>");
std::string ffmpegCallback(std::string_view id, const std::optional<std::string>& base64, std::string_view outDataType);

std::string windowStatusDidChange(bool isKeyWindow);
std::string handleLogOut();
// wqModifyWallpaper('data:image/jpeg;base64,<data>') or wqModifyWallpaper() (no semicolon)
std::string modifyWallpaper(const std::optional<std::string>& base64Jpeg);
std::string setZoom(std::int64_t fontSize);
std::string setStyle(std::string_view styleName);
std::string setDoNotDisturb(bool on);
std::string enableSending(bool on);
std::string startAudioRecording();
std::string stopAudioRecording(bool send);
// The page function of a menu command; none for the commands the media controller carries out
// (camera, image, video).
std::optional<std::string> menuCommand(NativeAction action);
// wqSetStealthModeShowContentOnMouseOver(<b>) (no semicolon)
std::string setStealthModeShowContentOnMouseOver(bool show);
std::string getChatListWidth();
// A reply from a desktop notification: wqSendMessageToChatWithTag("<text>", "<tag>");
std::string sendMessageToChatWithTag(std::string_view text, std::string_view tag);
// Shared text for the chat the user picked: wqSendMessageToChatWithTag("<text>", null, true);
std::string sendSharedText(std::string_view text);
std::string openChat(std::string_view tag);
// wqLockDown("true"); / wqLockDown("false");
std::string lockDown(bool locked);
std::string downloadBlob(std::string_view url);

// The program's own document-start script for every frame: in a sub-frame the microphone and
// camera (getUserMedia, getDisplayMedia) refuse at once, so only the page's main frame can reach
// the permission question; WebKit names no frame with its requests.
std::string subFrameMediaGuard();

}  // namespace parlivo::pagescripts
