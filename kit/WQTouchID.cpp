#include "WQTouchID.h"

#include "DebugPrint.h"
#include "system/LocalAuthentication.h"

namespace tovak {

WQTouchID::WQTouchID() : context_(platform::LocalAuthentication::create()) {}

WQTouchID::~WQTouchID() {
    // Whoever owned this object is gone: its verification ends, the reader is released, and no
    // handler reaches the owner's remains.
    *alive_ = false;
    context_->invalidate();
}

void WQTouchID::startFollowingSupport() { platform::LocalAuthentication::create(); }

platform::ObserverToken WQTouchID::addSupportObserver(std::function<void()> observer) {
    return platform::LocalAuthentication::addBiometryObserver(std::move(observer));
}

void WQTouchID::renewContext() {
    if (!canceled_) return;
    context_ = platform::LocalAuthentication::create();
    canceled_ = false;
}

bool WQTouchID::supported() {
    renewContext();
    const auto available = context_->canEvaluateBiometrics();
    if (available) return true;
    if (!available.error().message.empty())
        debugPrint(kClassName, "Error checking for TouchID: " + available.error().message);
    return false;
}

void WQTouchID::checkSupported(std::function<void(bool)> completion) {
    platform::LocalAuthentication::queryBiometricsAvailability(
        [completion = std::move(completion)](bool available, const std::string& error) {
            if (!available && !error.empty()) debugPrint(kClassName, "Error checking for TouchID: " + error);
            if (completion) completion(available);
        });
}

std::optional<bool> WQTouchID::cachedSupported() {
    switch (platform::LocalAuthentication::biometry()) {
    case platform::LocalAuthentication::Biometry::available:
        return true;
    case platform::LocalAuthentication::Biometry::unavailable:
        return false;
    case platform::LocalAuthentication::Biometry::unknown:
        break;
    }
    return std::nullopt;
}

bool WQTouchID::authenticate(const std::string& reason, std::function<void(bool)> completionHandler) {
    renewContext();
    if (!supported()) return false;
    context_->evaluateBiometrics(reason, [alive = std::weak_ptr<bool>(alive_), handler = std::move(completionHandler)](
                                             bool success, const std::string&) {
        if (alive.lock() && handler) handler(success);
    });
    return true;
}

void WQTouchID::cancel() {
    canceled_ = true;
    context_->invalidate();
}

}  // namespace tovak
