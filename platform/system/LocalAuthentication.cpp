#include "LocalAuthentication.h"

#include <gio/gio.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/MainQueue.h"
#include "system/SessionBus.h"

namespace platform {
namespace {

constexpr const char* kService = "net.reactivated.Fprint";
constexpr const char* kManagerPath = "/net/reactivated/Fprint/Manager";
constexpr const char* kManagerInterface = "net.reactivated.Fprint.Manager";
constexpr const char* kDeviceInterface = "net.reactivated.Fprint.Device";
constexpr dbus::Target kManager{kService, kManagerPath, kManagerInterface};

dbus::Target deviceAt(const std::string& daemon, const std::string& path) {
    return {daemon.c_str(), path.c_str(), kDeviceInterface};
}

bool onSessionBus() {
    const char* bus = std::getenv("PARLIVO_FPRINT_BUS");
    return bus && std::strcmp(bus, "session") == 0;
}

// The error's text without the remote error's name (the message is what fprintd says).
std::string errorText(GError* error) {
    if (!error) return "unknown error";
    g_dbus_error_strip_remote_error(error);
    return error->message;
}

// Fire and forget: stops the verification, then gives the device back, in that order. Both go to
// `daemon`, the fprintd that holds the claim (its unique bus name when known): a later fprintd
// never held it.
void stopAndRelease(GDBusConnection* connection, const std::string& daemon, const std::string& devicePath,
                    bool verifying) {
    auto release = [](GDBusConnection* connection, const std::string& daemon, const std::string& devicePath) {
        dbus::call(connection, deviceAt(daemon, devicePath), "Release", nullptr, nullptr, {},
                   {.flags = G_DBUS_CALL_FLAGS_NO_AUTO_START});
    };
    if (!verifying) return release(connection, daemon, devicePath);
    dbus::call(connection, deviceAt(daemon, devicePath), "VerifyStop", nullptr, nullptr,
               [release, connection = G_DBUS_CONNECTION(g_object_ref(connection)), daemon, devicePath](GVariant*,
                                                                                                     GError*) {
                   release(connection, daemon, devicePath);
                   g_object_unref(connection);
               },
               {.flags = G_DBUS_CALL_FLAGS_NO_AUTO_START});
}

using Biometry = LocalAuthentication::Biometry;

struct Observer {
    std::function<void()> block;
};

// What fprintd says about this machine, asked in the background and kept. One per process, on
// the main loop; never destroyed, so bus callbacks may always reach it.
class FingerprintService {
public:
    static FingerprintService& shared() {
        static FingerprintService* service = new FingerprintService;
        return *service;
    }

    Biometry state() const { return state_; }
    const std::string& error() const { return error_; }
    const std::string& device() const { return device_; }
    GDBusConnection* bus() const { return bus_; }

    // Asks fprintd (again). Questions asked while one is under way are answered together by one
    // more after it.
    void ask() {
        if (!connected_) return connect();
        if (!bus_) return;
        if (asking_) {
            askAgain_ = true;
            return;
        }
        probe();
    }

    // Runs `then` once fprintd's next answer has settled (at once when something is known).
    void whenKnown(std::function<void()> then) {
        if (state_ != Biometry::unknown) return then();
        waiting_.push_back(std::move(then));
        ask();
    }

    void addObserver(const std::shared_ptr<Observer>& observer) {
        std::erase_if(observers_, [](const auto& weak) { return weak.expired(); });
        observers_.push_back(observer);
    }

private:
    void connect() {
        if (connecting_) return;
        connecting_ = true;
        if (onSessionBus()) return connected(sessionBus(), "no session bus");
        // The system bus is connected to without waiting, like every call after it.
        g_bus_get(G_BUS_TYPE_SYSTEM, nullptr,
                  [](GObject*, GAsyncResult* result, gpointer) {
                      GError* error = nullptr;
                      GDBusConnection* bus = g_bus_get_finish(result, &error);
                      shared().connected(bus, bus ? "" : errorText(error));
                      g_clear_error(&error);
                  },
                  nullptr);
    }

    void connected(GDBusConnection* bus, const std::string& failure) {
        connected_ = true;
        bus_ = bus;  // the system connection's reference is kept for good; the session one is borrowed
        if (!bus_) return settle(Biometry::unavailable, "no bus for fprintd: " + failure, {});
        // Enrolment ends with fprintd's EnrollStatus; a finger enrolled or fprintd (re)started may
        // change the answer. fprintd leaving the bus changes nothing: it quits when idle and is
        // started again on the next call.
        enrollStatus_ = dbus::SignalSubscription(
            bus_, {.sender = kService, .interface = kDeviceInterface, .member = "EnrollStatus"},
            [](const dbus::Signal&) { shared().ask(); });
        fprintd_ = dbus::NameWatch(bus_, kService, [](const std::string&) { shared().ask(); });
        probe();
    }

    void probe() {
        asking_ = true;
        askAgain_ = false;
        dbus::call(bus_, kManager, "GetDefaultDevice", nullptr, G_VARIANT_TYPE("(o)"),
                   [](GVariant* reply, GError* error) {
                       auto device = dbus::read<dbus::ObjectPath>(reply);
                       if (!device)
                           return shared().settle(Biometry::unavailable, "no fingerprint device: " + errorText(error), {});
                       shared().listFingers(std::get<0>(*device).path);
                   });
    }

    void listFingers(const std::string& devicePath) {
        dbus::call(bus_, deviceAt(kService, devicePath), "ListEnrolledFingers", g_variant_new("(s)", ""),
                   G_VARIANT_TYPE("(as)"), [devicePath](GVariant* reply, GError* error) {
                       auto fingers = dbus::read<std::vector<std::string>>(reply);
                       if (!fingers)
                           return shared().settle(Biometry::unavailable,
                                                  "no enrolled fingerprint: " + errorText(error), {});
                       if (std::get<0>(*fingers).empty())
                           return shared().settle(Biometry::unavailable, "no enrolled fingerprint", {});
                       shared().settle(Biometry::available, "", devicePath);
                   });
    }

    void settle(Biometry state, std::string error, std::string device) {
        asking_ = false;
        state_ = state;
        error_ = std::move(error);
        if (state == Biometry::available) device_ = std::move(device);
        // A question asked meanwhile gets an answer of its own; only the newest one is told.
        if (askAgain_) return probe();
        for (auto& then : std::exchange(waiting_, {})) then();
        std::vector<std::shared_ptr<Observer>> live;
        for (const auto& weak : observers_)
            if (auto observer = weak.lock()) live.push_back(std::move(observer));
        for (const auto& observer : live)
            if (observer->block) observer->block();
    }

    GDBusConnection* bus_ = nullptr;
    dbus::SignalSubscription enrollStatus_;
    dbus::NameWatch fprintd_;
    bool connecting_ = false, connected_ = false;
    bool asking_ = false, askAgain_ = false;
    Biometry state_ = Biometry::unknown;
    std::string error_ = "fprintd has not answered yet";
    std::string device_;
    std::vector<std::function<void()>> waiting_;
    std::vector<std::weak_ptr<Observer>> observers_;
};

}  // namespace

struct LocalAuthentication::Evaluation {
    Reply reply;
    std::string device;
    std::string daemon = kService;  // the fprintd that answers: its unique name once known
    GDBusConnection* bus = nullptr;
    std::shared_ptr<LocalAuthentication> owner;  // kept while the evaluation runs
    bool claimed = false;
    bool verifying = false;
    bool done = false;
    dbus::SignalSubscription verifyStatus;
    dbus::NameWatch daemonWatch;
};

std::shared_ptr<LocalAuthentication> LocalAuthentication::create() {
    FingerprintService::shared().ask();
    return std::shared_ptr<LocalAuthentication>(new LocalAuthentication());
}

LocalAuthentication::~LocalAuthentication() = default;

LocalAuthentication::Biometry LocalAuthentication::biometry() {
    return FingerprintService::shared().state();
}

ObserverToken LocalAuthentication::addBiometryObserver(std::function<void()> block) {
    auto observer = std::make_shared<Observer>(Observer{std::move(block)});
    FingerprintService::shared().addObserver(observer);
    return ObserverToken([observer] { observer->block = nullptr; });
}

Expected<void> LocalAuthentication::canEvaluateBiometrics() {
    if (invalidated_)
        return failure(LocalAuthenticationErrorDomain, LocalAuthenticationErrorCode::invalidated,
                       "the authentication context was invalidated");
    auto& service = FingerprintService::shared();
    const bool available = service.state() == Biometry::available;
    std::string why = available ? std::string() : service.error();
    service.ask();  // for the next question: the machine may have changed
    if (!available)
        return failure(LocalAuthenticationErrorDomain, LocalAuthenticationErrorCode::biometryNotAvailable, std::move(why));
    return {};
}

void LocalAuthentication::queryBiometricsAvailability(AvailabilityReply reply) {
    // A fresh question to the one fingerprint service; the reply takes its next answer. The
    // observation holds the question until then and is ended on a later turn of the loop (not
    // inside its own call).
    struct Question {
        AvailabilityReply reply;
        ObserverToken token;
    };
    auto question = std::make_shared<Question>();
    question->reply = std::move(reply);
    question->token = addBiometryObserver([question] {
        if (!question->reply) return;
        auto& service = FingerprintService::shared();
        const bool available = service.state() == Biometry::available;
        std::exchange(question->reply, {})(available, available ? std::string() : service.error());
        MainQueue::async([question] { question->token.reset(); });
    });
    FingerprintService::shared().ask();
}

void LocalAuthentication::evaluateBiometrics(const std::string& reason, Reply reply) {
    reason_ = reason;
    auto answerNow = [&reply](const std::string& why) {
        if (reply) MainQueue::async([reply = std::move(reply), why] { reply(false, why); });
    };
    if (invalidated_) return answerNow("the authentication context was invalidated");
    if (evaluation_) return answerNow("an evaluation is already running");

    auto evaluation = std::make_shared<Evaluation>();
    evaluation->reply = std::move(reply);
    evaluation->owner = shared_from_this();
    evaluation_ = evaluation;
    FingerprintService::shared().whenKnown([evaluation] {
        if (evaluation->done) return;  // invalidated while fprintd was asked
        evaluation->owner->claim(evaluation);
    });
}

void LocalAuthentication::claim(const std::shared_ptr<Evaluation>& evaluation) {
    auto& service = FingerprintService::shared();
    if (service.state() != Biometry::available) return finish(false, service.error());
    // The device as known now; it is the one released at the end, whatever the default is then.
    evaluation->device = service.device();
    evaluation->bus = service.bus();

    dbus::call(
        evaluation->bus, deviceAt(kService, evaluation->device), "Claim", g_variant_new("(s)", ""), nullptr,
        [evaluation](GVariant* answer, GError* callError) {
            if (evaluation->done) {
                // Cancelled while claiming: give the device back at once.
                if (answer) stopAndRelease(evaluation->bus, evaluation->daemon, evaluation->device, false);
                return;
            }
            auto* self = evaluation->owner.get();
            if (!answer) return self->finish(false, "could not claim the fingerprint device: " + errorText(callError));
            evaluation->claimed = true;
            std::weak_ptr<Evaluation> weak = evaluation;
            // Only fprintd's own verdicts count: on a message bus anyone may broadcast a signal
            // with the device's path and interface, and a forged "verify-match" must not unlock.
            evaluation->verifyStatus = dbus::SignalSubscription(
                evaluation->bus,
                {.sender = kService, .interface = kDeviceInterface, .member = "VerifyStatus",
                 .path = evaluation->device.c_str()},
                [weak](const dbus::Signal& signal) {
                    auto evaluation = weak.lock();
                    if (!evaluation || evaluation->done) return;
                    auto verdict = dbus::read<std::string, bool>(signal.parameters);
                    if (!verdict) return;
                    const auto& [status, finished] = *verdict;
                    // Retries ("verify-retry-scan", "verify-swipe-too-short", ...) are not final.
                    if (finished || status == "verify-match" || status == "verify-no-match")
                        evaluation->owner->finish(status == "verify-match", status);
                });
            evaluation->daemonWatch = dbus::NameWatch(
                evaluation->bus, kService,
                [weak](const std::string& owner) {
                    auto evaluation = weak.lock();
                    if (evaluation && evaluation->daemon == kService) evaluation->daemon = owner;
                },
                [weak] {
                    auto evaluation = weak.lock();
                    if (evaluation && !evaluation->done) evaluation->owner->finish(false, "fprintd went away");
                });
            evaluation->verifying = true;
            dbus::call(evaluation->bus, deviceAt(kService, evaluation->device), "VerifyStart",
                       g_variant_new("(s)", "any"), nullptr, [evaluation](GVariant* answer, GError* callError) {
                           if (answer || evaluation->done) return;
                           evaluation->verifying = false;
                           evaluation->owner->finish(false, "could not start verification: " + errorText(callError));
                       });
        });
}

void LocalAuthentication::finish(bool success, const std::string& error) {
    auto evaluation = std::move(evaluation_);
    if (!evaluation || evaluation->done) return;
    evaluation->done = true;
    auto keepAlive = std::move(evaluation->owner);  // `this` may go when this function returns
    GDBusConnection* bus = evaluation->bus;
    evaluation->verifyStatus.reset();
    evaluation->daemonWatch.reset();
    if (bus && evaluation->claimed) stopAndRelease(bus, evaluation->daemon, evaluation->device, evaluation->verifying);
    if (auto reply = std::move(evaluation->reply))
        MainQueue::async([reply = std::move(reply), success, error] { reply(success, error); });
}

void LocalAuthentication::invalidate() {
    invalidated_ = true;
    finish(false, "canceled");
}

}  // namespace platform
