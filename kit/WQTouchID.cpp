#include "WQTouchID.h"

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
