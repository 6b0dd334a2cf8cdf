#pragma once

#include <gio/gio.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FakeBusService.h"

namespace testsupport {

// A stand-in for fprintd (net.reactivated.Fprint) on the test's session bus; the program reaches
// it there with PARLIVO_FPRINT_BUS=session. It has a default reader with an enrolled finger
// unless told otherwise, and decides each verification after `verdict`. Its handlers run on the
// service's own thread; everything they share with the test is behind one lock.
class FakeFprintd {
public:
    static constexpr const char* managerPath = "/net/reactivated/Fprint/Manager";
    static constexpr const char* devicePath = "/net/reactivated/Fprint/Device/0";
    static constexpr const char* secondDevicePath = "/net/reactivated/Fprint/Device/1";
    static constexpr const char* deviceInterface = "net.reactivated.Fprint.Device";

    // match / noMatch: decided right after VerifyStart; retryThenMatch: a retry, then a match;
    // never: the finger never comes (the test decides with emitVerifyStatus or ends it).
    enum class Verdict { match, noMatch, retryThenMatch, never };

    struct State {
        bool hasDevice = true;
        std::vector<std::string> fingers{"right-index-finger"};
        Verdict verdict = Verdict::match;
        std::string defaultDevice = devicePath;
        int claims = 0, releases = 0, verifyStarts = 0, verifyStops = 0, deviceQuestions = 0;
        std::string claimedUser = "?", verifiedFinger;
        std::vector<std::string> releasedDevices;
    };

    // Changes or reads the state under the lock.
    template <class F>
    auto with(F&& f) {
        std::lock_guard lock(mutex_);
        return f(state_);
    }
    State snapshot() {
        return with([](State& s) { return s; });
    }

    // Owns the name on the session bus; false when that fails.
    bool start();
    void stop() { service_.reset(); }

    void emitEnrollCompleted();
    // A verdict of the reader, as fprintd sends it ("verify-match", "verify-no-match", ...).
    void emitVerifyStatus(const char* result, bool done);

private:
    void onCall(const std::string& path, const std::string& method, GVariant* parameters,
                GDBusMethodInvocation* invocation);

    std::mutex mutex_;
    State state_;
    std::unique_ptr<FakeBusService> service_;
};

}  // namespace testsupport
