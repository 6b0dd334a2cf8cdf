#include "web/PagePermissions.h"

#include "foundation/URL.h"
#include "foundation/UserDefaults.h"

namespace parlivo::pagepermissions {

using platform::PermissionKind;

std::string_view settingKey(MediaKind kind) {
    return kind == MediaKind::microphone ? "pageMicrophoneAllowed" : "pageCameraAllowed";
}

std::string_view name(MediaKind kind) { return kind == MediaKind::microphone ? "microphone" : "camera"; }

std::vector<MediaKind> mediaKinds(PermissionKind kind) {
    switch (kind) {
    case PermissionKind::microphone: return {MediaKind::microphone};
    case PermissionKind::camera: return {MediaKind::camera};
    case PermissionKind::microphoneAndCamera: return {MediaKind::microphone, MediaKind::camera};
    default: return {};
    }
}

std::optional<bool> storedAnswer(MediaKind kind, const platform::UserDefaults& defaults) {
    const auto value = defaults.object(std::string(settingKey(kind)));
    if (!value) return std::nullopt;
    return value->asBool();
}

Decision decide(const Circumstances& c, const platform::UserDefaults& defaults) {
    using Answer = Decision::Answer;
    if (c.kind == PermissionKind::notifications)
        return {Answer::deny, "the page's notifications come through the page scripts", {}};
    const auto kinds = mediaKinds(c.kind);
    if (kinds.empty()) return {Answer::deny, "never allowed", {}};
    if (c.locked) return {Answer::deny, "the privacy lock is on", {}};
    const auto document = platform::URL::parse(c.documentURL);
    if (c.pageOrigin.empty() || !document || document->origin() != c.pageOrigin)
        return {Answer::deny, "not the page's own origin", {}};
    Decision decision{Answer::allow, "agreed before", {}};
    for (MediaKind kind : kinds) {
        const auto stored = storedAnswer(kind, defaults);
        if (stored == false) return {Answer::deny, "refused before", {}};
        if (!stored) decision.ask.push_back(kind);
    }
    if (!decision.ask.empty()) {
        decision.answer = Answer::ask;
        decision.reason = "the user is asked";
    }
    return decision;
}

}  // namespace parlivo::pagepermissions
