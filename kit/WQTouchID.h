#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "foundation/ObserverToken.h"

namespace platform {
class LocalAuthentication;
}

namespace tovak {

// Fingerprint unlock for the lock screen and the privacy preferences: can the user be
// verified by fingerprint here (supported), and please do so now (authenticate). cancel()
// withdraws a running verification; the next call works on a fresh context. Main thread only.
//
// supported() never waits for the fingerprint service: it answers from what the service last
// said (false until its first answer, which the first WQTouchID of the process asks for) and
// asks again in the background. addSupportObserver hears each answer, so a window can offer the
// fingerprint once it is known.
class WQTouchID {
public:
    static constexpr std::string_view kClassName = "WQTouchID";

    WQTouchID();
    // A running verification is stopped and its reader released; its handler is not called.
    ~WQTouchID();
    WQTouchID(const WQTouchID&) = delete;
    WQTouchID& operator=(const WQTouchID&) = delete;

    bool supported();
    // supported() after a fresh question, without waiting for fprintd: `completion` runs later on
    // the main thread with the answer. Questions asked while one is on its way share its answer.
    static void checkSupported(std::function<void(bool)> completion);
    // What the fingerprint service last answered; none before its first answer.
    static std::optional<bool> cachedSupported();
    // Returns true when a verification was started; `completionHandler` then runs exactly
    // once, later, on the main thread, with true when the user was verified. Returns false
    // when fingerprints are not available; the handler is then never called.
    bool authenticate(const std::string& reason, std::function<void(bool)> completionHandler);
    void cancel();

    // Asks the fingerprint service now, so that its answer is there when the first lock screen
    // asks (the first WQTouchID asks too).
    static void startFollowingSupport();
    // Calls `observer` on the main thread each time the fingerprint service has answered.
    [[nodiscard]] static platform::ObserverToken addSupportObserver(std::function<void()> observer);

    bool canceled() const { return canceled_; }
    void setCanceled(bool canceled) { canceled_ = canceled; }

private:
    void renewContext();

    std::shared_ptr<platform::LocalAuthentication> context_;
    bool canceled_ = false;
    // Handlers of verifications started by this object run only while it lives.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tovak
