#include "LocalAuthentication.h"

#include <gio/gio.h>

#include <cstdlib>
#include <cstring>

#include "foundation/MainQueue.h"

namespace platform {
namespace {

constexpr const char* kService = "net.reactivated.Fprint";
constexpr const char* kManagerPath = "/net/reactivated/Fprint/Manager";
constexpr const char* kManagerInterface = "net.reactivated.Fprint.Manager";
constexpr const char* kDeviceInterface = "net.reactivated.Fprint.Device";
constexpr int kQueryTimeoutMs = 3000;

GBusType fprintBus() {
    const char* bus = std::getenv("PARLIVO_FPRINT_BUS");
    return bus && std::strcmp(bus, "session") == 0 ? G_BUS_TYPE_SESSION : G_BUS_TYPE_SYSTEM;
}

std::string takeError(GError* error) {
    if (!error) return "unknown error";
    g_dbus_error_strip_remote_error(error);
    std::string text = error->message;
    g_error_free(error);
    return text;
}

// Fire and forget: stops the verification, then gives the device back, in that order.
void stopAndRelease(GDBusConnection* connection, const std::string& device, bool verifying) {
    auto release = [](GDBusConnection* bus, const char* path) {
        g_dbus_connection_call(bus, kService, path, kDeviceInterface, "Release", nullptr, nullptr,
                               G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
    };
    if (!verifying) return release(connection, device.c_str());
    struct Pending {
        GDBusConnection* connection;
        std::string device;
    };
    auto* pending = new Pending{G_DBUS_CONNECTION(g_object_ref(connection)), device};
    g_dbus_connection_call(
        connection, kService, device.c_str(), kDeviceInterface, "VerifyStop", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE,
        -1, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* pending = static_cast<Pending*>(data);
            if (GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr))
                g_variant_unref(reply);
            g_dbus_connection_call(pending->connection, kService, pending->device.c_str(), kDeviceInterface, "Release",
                                   nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
            g_object_unref(pending->connection);
            delete pending;
        },
        pending);
}

}  // namespace

struct LocalAuthentication::Evaluation {
    Reply reply;
    std::string device;
    std::shared_ptr<LocalAuthentication> owner;  // kept while the evaluation runs
    bool claimed = false;
    bool verifying = false;
    bool done = false;
    guint signalId = 0;
    guint watchId = 0;
};

namespace {

using EvaluationRef = std::shared_ptr<LocalAuthentication::Evaluation>;

void deleteRef(gpointer data) {
    delete static_cast<EvaluationRef*>(data);
}

}  // namespace

std::shared_ptr<LocalAuthentication> LocalAuthentication::create() {
    return std::shared_ptr<LocalAuthentication>(new LocalAuthentication());
}

LocalAuthentication::~LocalAuthentication() {
    if (connection_) g_object_unref(connection_);
}

bool LocalAuthentication::connect(std::string* error) {
    if (connection_) return true;
    GError* busError = nullptr;
    connection_ = g_bus_get_sync(fprintBus(), nullptr, &busError);
    if (!connection_) {
        const std::string text = takeError(busError);
        if (error) *error = "no bus for fprintd: " + text;
        return false;
    }
    return true;
}

bool LocalAuthentication::canEvaluateBiometrics(std::string* error) {
    if (invalidated_) {
        if (error) *error = "the authentication context was invalidated";
        return false;
    }
    if (!connect(error)) return false;
    auto* bus = G_DBUS_CONNECTION(connection_);
    GError* callError = nullptr;
    GVariant* device = g_dbus_connection_call_sync(bus, kService, kManagerPath, kManagerInterface, "GetDefaultDevice",
                                                   nullptr, G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE,
                                                   kQueryTimeoutMs, nullptr, &callError);
    if (!device) {
        const std::string text = takeError(callError);
        if (error) *error = "no fingerprint device: " + text;
        return false;
    }
    const char* path = nullptr;
    g_variant_get(device, "(&o)", &path);
    devicePath_ = path;
    g_variant_unref(device);

    GVariant* fingers = g_dbus_connection_call_sync(bus, kService, devicePath_.c_str(), kDeviceInterface,
                                                    "ListEnrolledFingers", g_variant_new("(s)", ""),
                                                    G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, kQueryTimeoutMs,
                                                    nullptr, &callError);
    if (!fingers) {
        const std::string text = takeError(callError);
        if (error) *error = "no enrolled fingerprint: " + text;
        return false;
    }
    GVariant* list = g_variant_get_child_value(fingers, 0);
    const bool any = g_variant_n_children(list) > 0;
    g_variant_unref(list);
    g_variant_unref(fingers);
    if (!any && error) *error = "no enrolled fingerprint";
    return any;
}

namespace {

// One availability question on its way through the bus, device and finger list.
struct AvailabilityQuery {
    LocalAuthentication::AvailabilityReply reply;
    GDBusConnection* bus = nullptr;
    ~AvailabilityQuery() {
        if (bus) g_object_unref(bus);
    }
    void answer(bool available, const std::string& error) {
        if (auto r = std::move(reply)) r(available, error);
        delete this;
    }
};

void fingersListed(GObject* source, GAsyncResult* result, gpointer data) {
    auto* query = static_cast<AvailabilityQuery*>(data);
    GError* callError = nullptr;
    GVariant* fingers = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &callError);
    if (!fingers) return query->answer(false, "no enrolled fingerprint: " + takeError(callError));
    GVariant* list = g_variant_get_child_value(fingers, 0);
    const bool any = g_variant_n_children(list) > 0;
    g_variant_unref(list);
    g_variant_unref(fingers);
    query->answer(any, any ? "" : "no enrolled fingerprint");
}

void deviceFound(GObject* source, GAsyncResult* result, gpointer data) {
    auto* query = static_cast<AvailabilityQuery*>(data);
    GError* callError = nullptr;
    GVariant* device = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &callError);
    if (!device) return query->answer(false, "no fingerprint device: " + takeError(callError));
    const char* path = nullptr;
    g_variant_get(device, "(&o)", &path);
    g_dbus_connection_call(query->bus, kService, path, kDeviceInterface, "ListEnrolledFingers", g_variant_new("(s)", ""),
                           G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, kQueryTimeoutMs, nullptr, fingersListed,
                           query);
    g_variant_unref(device);
}

void busReady(GObject*, GAsyncResult* result, gpointer data) {
    auto* query = static_cast<AvailabilityQuery*>(data);
    GError* busError = nullptr;
    query->bus = g_bus_get_finish(result, &busError);
    if (!query->bus) return query->answer(false, "no bus for fprintd: " + takeError(busError));
    g_dbus_connection_call(query->bus, kService, kManagerPath, kManagerInterface, "GetDefaultDevice", nullptr,
                           G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, kQueryTimeoutMs, nullptr, deviceFound, query);
}

}  // namespace

void LocalAuthentication::queryBiometricsAvailability(AvailabilityReply reply) {
    auto* query = new AvailabilityQuery{std::move(reply)};
    g_bus_get(fprintBus(), nullptr, busReady, query);
}

void LocalAuthentication::evaluateBiometrics(const std::string& reason, Reply reply) {
    reason_ = reason;
    auto answerNow = [&reply](const std::string& why) {
        if (reply) MainQueue::async([reply = std::move(reply), why] { reply(false, why); });
    };
    if (evaluation_) return answerNow("an evaluation is already running");
    std::string error;
    if (!canEvaluateBiometrics(&error)) return answerNow(error);

    auto evaluation = std::make_shared<Evaluation>();
    evaluation->reply = std::move(reply);
    evaluation->device = devicePath_;
    evaluation->owner = shared_from_this();
    evaluation_ = evaluation;

    g_dbus_connection_call(
        G_DBUS_CONNECTION(connection_), kService, devicePath_.c_str(), kDeviceInterface, "Claim",
        g_variant_new("(s)", ""), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<EvaluationRef> ref(static_cast<EvaluationRef*>(data));
            auto& evaluation = **ref;
            GError* callError = nullptr;
            GVariant* answer = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &callError);
            if (answer) g_variant_unref(answer);
            if (evaluation.done) {
                // Cancelled while claiming: give the device back at once.
                if (answer) stopAndRelease(G_DBUS_CONNECTION(source), evaluation.device, false);
                if (callError) g_error_free(callError);
                return;
            }
            auto* self = evaluation.owner.get();
            if (!answer) return self->finish(false, "could not claim the fingerprint device: " + takeError(callError));
            evaluation.claimed = true;
            auto* bus = G_DBUS_CONNECTION(source);
            // Only fprintd's own verdicts count: on a message bus anyone may broadcast a signal
            // with the device's path and interface, and a forged "verify-match" must not unlock.
            // The device claimed, even if a capability check has since found another default.
            evaluation.signalId = g_dbus_connection_signal_subscribe(
                bus, kService, kDeviceInterface, "VerifyStatus", evaluation.device.c_str(), nullptr,
                G_DBUS_SIGNAL_FLAGS_NONE,
                [](GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* parameters,
                   gpointer data) {
                    auto& evaluation = **static_cast<EvaluationRef*>(data);
                    if (evaluation.done || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sb)"))) return;
                    const char* status = nullptr;
                    gboolean finished = FALSE;
                    g_variant_get(parameters, "(&sb)", &status, &finished);
                    const std::string text = status;
                    // Retries ("verify-retry-scan", "verify-swipe-too-short", ...) are not final.
                    if (finished || text == "verify-match" || text == "verify-no-match")
                        evaluation.owner->finish(text == "verify-match", text);
                },
                new EvaluationRef(*ref), deleteRef);
            evaluation.watchId = g_bus_watch_name_on_connection_with_closures(
                bus, kService, G_BUS_NAME_WATCHER_FLAGS_NONE, nullptr,
                g_cclosure_new(G_CALLBACK(+[](GDBusConnection*, const char*, gpointer data) {
                                   auto& evaluation = **static_cast<EvaluationRef*>(data);
                                   if (!evaluation.done) evaluation.owner->finish(false, "fprintd went away");
                               }),
                               new EvaluationRef(*ref), [](gpointer data, GClosure*) { deleteRef(data); }));
            evaluation.verifying = true;
            g_dbus_connection_call(
                bus, kService, evaluation.device.c_str(), kDeviceInterface, "VerifyStart", g_variant_new("(s)", "any"),
                nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
                [](GObject* source, GAsyncResult* result, gpointer data) {
                    std::unique_ptr<EvaluationRef> ref(static_cast<EvaluationRef*>(data));
                    GError* callError = nullptr;
                    GVariant* answer = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &callError);
                    if (answer) return g_variant_unref(answer);
                    if ((*ref)->done) return g_error_free(callError);
                    (*ref)->verifying = false;
                    (*ref)->owner->finish(false, "could not start verification: " + takeError(callError));
                },
                new EvaluationRef(*ref));
        },
        new EvaluationRef(evaluation));
}

void LocalAuthentication::finish(bool success, const std::string& error) {
    auto evaluation = std::move(evaluation_);
    if (!evaluation || evaluation->done) return;
    evaluation->done = true;
    auto keepAlive = std::move(evaluation->owner);  // `this` may go when this function returns
    auto* bus = G_DBUS_CONNECTION(connection_);
    if (evaluation->signalId) g_dbus_connection_signal_unsubscribe(bus, evaluation->signalId);
    if (evaluation->watchId) g_bus_unwatch_name(evaluation->watchId);
    evaluation->signalId = evaluation->watchId = 0;
    if (evaluation->claimed) stopAndRelease(bus, evaluation->device, evaluation->verifying);
    if (auto reply = std::move(evaluation->reply))
        MainQueue::async([reply = std::move(reply), success, error] { reply(success, error); });
}

void LocalAuthentication::invalidate() {
    invalidated_ = true;
    finish(false, "canceled");
}

}  // namespace platform
