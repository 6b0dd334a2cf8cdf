#pragma once

#include <functional>
#include <memory>
#include <string>

#include "Expected.h"
#include "foundation/ObserverToken.h"

namespace platform {

// The domain of LocalAuthentication's failures and its codes.
inline constexpr const char* LocalAuthenticationErrorDomain = "platform.LocalAuthentication";
namespace LocalAuthenticationErrorCode {
inline constexpr long invalidated = 1;            // the context was invalidated
inline constexpr long biometryNotAvailable = 2;  // no fprintd, device or enrolled finger (yet)
}  // namespace LocalAuthenticationErrorCode

// Fingerprint verification of the current user through fprintd (net.reactivated.Fprint on the
// system bus; PARLIVO_FPRINT_BUS=session selects the session bus, for tests). Without fprintd,
// a device or an enrolled finger, biometrics cannot be evaluated. Use it on the main thread.
//
// Nothing here waits for fprintd. Whether fingerprints can be used is asked in the background
// (when the first context is made, when fprintd appears on the bus, when enrolment changes, and
// again after every question) and kept; questions are answered from what is known now.
class LocalAuthentication : public std::enable_shared_from_this<LocalAuthentication> {
public:
    // (the user was verified, why not)
    using Reply = std::function<void(bool success, const std::string& error)>;

    // What is known about fingerprints on this machine.
    enum class Biometry { unknown, available, unavailable };

    // A fresh context; the first one starts following fprintd.
    static std::shared_ptr<LocalAuthentication> create();
    ~LocalAuthentication();
    LocalAuthentication(const LocalAuthentication&) = delete;
    LocalAuthentication& operator=(const LocalAuthentication&) = delete;

    // What fprintd last said (unknown before its first answer). canEvaluateBiometrics and
    // queryBiometricsAvailability tell why not.
    static Biometry biometry();
    // Calls `observer` on the main loop each time fprintd's answer has come in and no newer
    // question is waiting, whether or not the answer changed.
    [[nodiscard]] static ObserverToken addBiometryObserver(std::function<void()> observer);

    // True when fprintd has a default device and the user an enrolled finger, as last heard;
    // otherwise an error that says why. Asks fprintd again in the background, so a change
    // reaches the next question and the observers.
    Expected<void> canEvaluateBiometrics();

    // The same question without waiting: `reply` runs later on the main loop with whether
    // fingerprints can be used, and why not. For windows that must not freeze (the answer can
    // take seconds while fprintd starts).
    using AvailabilityReply = std::function<void(bool available, const std::string& error)>;
    static void queryBiometricsAvailability(AvailabilityReply reply);

    // Claims the default device and verifies any enrolled finger. `reply` runs exactly once,
    // later, on the main loop: true on a match; false on no match, an error, fprintd going
    // away, fingerprints not being available, or invalidate(). Before fprintd's first answer the
    // evaluation waits for it. fprintd shows no prompt of its own, so the reason is only kept
    // (the caller's window says what to do). A running evaluation keeps this object alive.
    void evaluateBiometrics(const std::string& reason, Reply reply);

    // Ends a running evaluation (its reply is false): the verification is stopped and the device
    // released. The context cannot be used again.
    void invalidate();
    bool isInvalidated() const { return invalidated_; }
    const std::string& reason() const { return reason_; }

    struct Evaluation;  // one running verification

private:
    LocalAuthentication() = default;
    void claim(const std::shared_ptr<Evaluation>& evaluation);
    void finish(bool success, const std::string& error);

    std::string reason_;
    bool invalidated_ = false;
    std::shared_ptr<Evaluation> evaluation_;
};

}  // namespace platform
