#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

// Fingerprint verification of the current user through fprintd (net.reactivated.Fprint on the
// system bus; PARLIVO_FPRINT_BUS=session selects the session bus, for tests). Without fprintd,
// a device or an enrolled finger, biometrics cannot be evaluated. Use it on the main thread.
class LocalAuthentication : public std::enable_shared_from_this<LocalAuthentication> {
public:
    // (the user was verified, why not)
    using Reply = std::function<void(bool success, const std::string& error)>;

    static std::shared_ptr<LocalAuthentication> create();
    ~LocalAuthentication();
    LocalAuthentication(const LocalAuthentication&) = delete;
    LocalAuthentication& operator=(const LocalAuthentication&) = delete;

    // True when fprintd answers, has a default device and the user has an enrolled finger;
    // otherwise false with `error` filled. Asks fprintd synchronously (bounded wait).
    bool canEvaluateBiometrics(std::string* error = nullptr);

    // The same question without waiting: `reply` runs later on the main loop with whether
    // fingerprints can be used, and why not. For windows that must not freeze (the answer can
    // take seconds while fprintd starts).
    using AvailabilityReply = std::function<void(bool available, const std::string& error)>;
    static void queryBiometricsAvailability(AvailabilityReply reply);

    // Claims the default device and verifies any enrolled finger. `reply` runs exactly once,
    // later, on the main loop: true on a match; false on no match, an error, fprintd going
    // away, or invalidate(). fprintd shows no prompt of its own, so the reason is only kept
    // (the caller's window says what to do). A running evaluation keeps this object alive.
    void evaluateBiometrics(const std::string& reason, Reply reply);

    // Ends a running evaluation (its reply is false) and makes the context unusable.
    void invalidate();
    bool isInvalidated() const { return invalidated_; }
    const std::string& reason() const { return reason_; }

    struct Evaluation;  // one running verification

private:
    LocalAuthentication() = default;
    bool connect(std::string* error);
    void finish(bool success, const std::string& error);

    void* connection_ = nullptr;  // GDBusConnection
    std::string devicePath_;
    std::string reason_;
    bool invalidated_ = false;
    std::shared_ptr<Evaluation> evaluation_;
};

}  // namespace platform
