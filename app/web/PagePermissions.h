#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/WebView.h"

namespace platform {
class UserDefaults;
}

namespace parlivo {

// What the page may use of the machine, and who decides: WebKit asks about every permission, and
// the answer depends only on what is asked, by which document, whether the privacy lock is on
// and what the user said before. No display is needed to ask it.
//
// - Notifications: refused. The page scripts replace the page's Notification with their own
//   (permission "granted") and hand every notification to the program, whose settings decide
//   whether and how it is shown; WebKit's own would be a second, unfiltered one.
// - Microphone and camera: only for a main-frame document of the page's own origin, never while
//   the privacy lock is on, and only after the user agreed (remembered per kind; a refusal is
//   remembered too). Until the user has answered for a kind, the user is asked.
// - Everything else (screen, location, pointer lock, device info, media keys, clipboard, website
//   data access, media plug-ins, anything newer): refused.
namespace pagepermissions {

enum class MediaKind { microphone, camera };

// The setting that keeps the user's answer for a kind: true agreed, false refused, none asked yet
// ("pageMicrophoneAllowed", "pageCameraAllowed").
std::string_view settingKey(MediaKind kind);
// "microphone" / "camera", for the log.
std::string_view name(MediaKind kind);

// The kinds a request asks for; empty for requests that are not for the microphone or camera.
std::vector<MediaKind> mediaKinds(platform::PermissionKind kind);

struct Decision {
    enum class Answer { allow, deny, ask };
    Answer answer = Answer::deny;
    std::string reason;           // for the log
    std::vector<MediaKind> ask;   // with ask: the kinds without an answer yet
};

struct Circumstances {
    platform::PermissionKind kind = platform::PermissionKind::other;
    std::string documentURL;  // the main frame's document at the time of the request
    std::string pageOrigin;   // the configured page's origin ("scheme://host[:port]"); empty: none
    bool locked = false;      // the privacy lock is on
};

Decision decide(const Circumstances& circumstances, const platform::UserDefaults& defaults);

// The user's stored answer for a kind.
std::optional<bool> storedAnswer(MediaKind kind, const platform::UserDefaults& defaults);

}  // namespace pagepermissions

}  // namespace parlivo
