#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {
class LocalAuthentication;
}

namespace tovak {

// Fingerprint unlock for the lock screen and the privacy preferences: can the user be
// verified by fingerprint here (supported), and please do so now (authenticate). cancel()
// withdraws a running verification; the next call works on a fresh context. Main thread only.
class WQTouchID {
public:
    static constexpr std::string_view kClassName = "WQTouchID";

    WQTouchID();
    ~WQTouchID();
    WQTouchID(const WQTouchID&) = delete;
    WQTouchID& operator=(const WQTouchID&) = delete;

    bool supported();
    // supported() without waiting for fprintd: `completion` runs later on the main thread with
    // the answer, which is also kept for cachedSupported(). Questions asked while one is on its
    // way share its answer.
    static void checkSupported(std::function<void(bool)> completion);
    // The latest answer checkSupported() received; none before the first.
    static std::optional<bool> cachedSupported();
    // Returns true when a verification was started; `completionHandler` then runs exactly
    // once, later, on the main thread, with true when the user was verified. Returns false
    // when fingerprints are not available; the handler is then never called.
    bool authenticate(const std::string& reason, std::function<void(bool)> completionHandler);
    void cancel();

    bool canceled() const { return canceled_; }
    void setCanceled(bool canceled) { canceled_ = canceled; }

private:
    void renewContext();

    std::shared_ptr<platform::LocalAuthentication> context_;
    bool canceled_ = false;
};

}  // namespace tovak
