#include "WQTouchID.h"

#include <vector>

#include "DebugPrint.h"
#include "system/LocalAuthentication.h"

namespace tovak {

WQTouchID::WQTouchID() : context_(platform::LocalAuthentication::create()) {}

// The context is released, not invalidated: a verification still running answers its handler.
WQTouchID::~WQTouchID() = default;

void WQTouchID::renewContext() {
    if (!canceled_) return;
    context_ = platform::LocalAuthentication::create();
    canceled_ = false;
}

bool WQTouchID::supported() {
    renewContext();
    std::string error;
    if (context_->canEvaluateBiometrics(&error)) return true;
    if (!error.empty()) debugPrint(kClassName, "Error checking for TouchID: " + error);
    return false;
}

namespace {

struct SupportCheck {
    std::optional<bool> cached;
    std::vector<std::function<void(bool)>> waiting;
};

SupportCheck& supportCheck() {
    static auto* check = new SupportCheck();
    return *check;
}

}  // namespace

void WQTouchID::checkSupported(std::function<void(bool)> completion) {
    auto& check = supportCheck();
    check.waiting.push_back(std::move(completion));
    if (check.waiting.size() > 1) return;  // one question on its way answers everyone
    platform::LocalAuthentication::queryBiometricsAvailability([](bool available, const std::string& error) {
        if (!available && !error.empty()) debugPrint(kClassName, "Error checking for TouchID: " + error);
        auto& check = supportCheck();
        check.cached = available;
        auto waiting = std::move(check.waiting);
        check.waiting.clear();
        for (auto& handler : waiting)
            if (handler) handler(available);
    });
}

std::optional<bool> WQTouchID::cachedSupported() { return supportCheck().cached; }

bool WQTouchID::authenticate(const std::string& reason, std::function<void(bool)> completionHandler) {
    renewContext();
    if (!supported()) return false;
    context_->evaluateBiometrics(reason, [handler = std::move(completionHandler)](bool success, const std::string&) {
        if (handler) handler(success);
    });
    return true;
}

void WQTouchID::cancel() {
    canceled_ = true;
    context_->invalidate();
}

}  // namespace tovak
