#include "web/PagePermissionRequests.h"

#include <gtkmm/window.h>

#include "DebugPrint.h"
#include "foundation/URL.h"
#include "foundation/UserDefaults.h"
#include "settings/PrivacyGate.h"
#include "web/MediaPermissionDialog.h"

namespace parlivo {

namespace {

// Logged as the main view controller, whose page asks.
void debugLog(std::string_view message) { tovak::debugPrint("ViewController", message); }

void logPermission(const platform::PermissionRequest& request, const std::string& outcome) {
    debugLog("Permission " + std::string(platform::permissionKindName(request.kind())) + " for " + request.pageURL() +
             ": " + outcome);
}

void denyPermission(platform::PermissionRequest& request, std::string_view reason) {
    logPermission(request, "denied (" + std::string(reason) + ")");
    request.deny();
}

}  // namespace

PagePermissionRequests::PagePermissionRequests(std::function<std::string()> pageOrigin,
                                               std::function<bool()> lockScreenShown)
    : pageOrigin_(std::move(pageOrigin)), lockScreenShown_(std::move(lockScreenShown)) {}

PagePermissionRequests::~PagePermissionRequests() = default;

void PagePermissionRequests::refuse(platform::PermissionRequest request, std::string_view reason) {
    denyPermission(request, reason);
}

void PagePermissionRequests::decide(platform::PermissionRequest request) {
    pagepermissions::Circumstances circumstances;
    circumstances.kind = request.kind();
    circumstances.documentURL = request.pageURL();
    circumstances.pageOrigin = pageOrigin_();
    circumstances.locked = lockScreenShown_() || PrivacyGate::isLocked();
    const auto decision = pagepermissions::decide(circumstances, platform::UserDefaults::standard());
    using Answer = pagepermissions::Decision::Answer;
    const std::string answer = decision.answer == Answer::allow ? "allowed" : decision.answer == Answer::deny ? "denied" : "asking";
    logPermission(request, answer + " (" + decision.reason + ")");
    switch (decision.answer) {
    case Answer::allow: request.allow(); break;
    case Answer::deny: request.deny(); break;
    case Answer::ask:
        waiting_.push_back(std::move(request));
        ask(decision.ask);
        break;
    }
}

void PagePermissionRequests::ask(const std::vector<pagepermissions::MediaKind>& kinds) {
    // One question at a time; requests that come meanwhile are decided again after its answer.
    if (dialog_) return;
    auto window = window_.lock();
    const auto page = platform::URL::parse(pageOrigin_());
    std::string site = page ? page->host() : std::string("the page");
    if (page && page->port()) site += ":" + std::to_string(*page->port());
    std::weak_ptr<PagePermissionRequests> weak = weak_from_this();
    dialog_ = std::make_unique<MediaPermissionDialog>(window.get(), kinds, site, [weak, kinds](std::optional<bool> agreed) {
        if (auto self = weak.lock()) self->answered(kinds, agreed);
    });
}

void PagePermissionRequests::answered(std::vector<pagepermissions::MediaKind> kinds, std::optional<bool> agreed) {
    dialog_.reset();
    if (agreed) {
        for (auto kind : kinds) platform::UserDefaults::standard().setBool(std::string(pagepermissions::settingKey(kind)), *agreed);
        debugLog(std::string("The user ") + (*agreed ? "agreed" : "refused"));
    } else {
        debugLog("The user closed the question without an answer");
    }
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (auto& request : waiting) {
        // Closed without an answer: nothing is kept, and the page is refused this time.
        if (!agreed) {
            denyPermission(request, "no answer");
            continue;
        }
        decide(std::move(request));
    }
}

void PagePermissionRequests::refuseWaiting(std::string_view reason) {
    dialog_.reset();
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (auto& request : waiting) denyPermission(request, reason);
}

}  // namespace parlivo
