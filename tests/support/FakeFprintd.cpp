#include "FakeFprintd.h"

namespace testsupport {

namespace {

constexpr const char* kIntrospection = R"XML(
<node>
  <interface name="net.reactivated.Fprint.Manager">
    <method name="GetDefaultDevice"><arg type="o" direction="out"/></method>
  </interface>
  <interface name="net.reactivated.Fprint.Device">
    <method name="ListEnrolledFingers"><arg type="s" direction="in"/><arg type="as" direction="out"/></method>
    <method name="Claim"><arg type="s" direction="in"/></method>
    <method name="Release"/>
    <method name="VerifyStart"><arg type="s" direction="in"/></method>
    <method name="VerifyStop"/>
    <signal name="VerifyStatus"><arg type="s"/><arg type="b"/></signal>
    <signal name="EnrollStatus"><arg type="s"/><arg type="b"/></signal>
  </interface>
</node>)XML";

}  // namespace

bool FakeFprintd::start() {
    service_ = FakeBusService::start(
        "net.reactivated.Fprint", kIntrospection,
        {{managerPath, "net.reactivated.Fprint.Manager"}, {devicePath, deviceInterface}, {secondDevicePath, deviceInterface}},
        [this](const std::string& path, const std::string& method, GVariant* parameters,
               GDBusMethodInvocation* invocation) { onCall(path, method, parameters, invocation); });
    return service_ != nullptr;
}

void FakeFprintd::emitEnrollCompleted() {
    service_->emitSignal(devicePath, deviceInterface, "EnrollStatus", g_variant_new("(sb)", "enroll-completed", TRUE));
}

void FakeFprintd::emitVerifyStatus(const char* result, bool done) {
    service_->emitSignal(devicePath, deviceInterface, "VerifyStatus", g_variant_new("(sb)", result, done));
}

void FakeFprintd::onCall(const std::string& path, const std::string& method, GVariant* parameters,
                         GDBusMethodInvocation* invocation) {
    std::unique_lock lock(mutex_);
    if (method == "GetDefaultDevice") {
        ++state_.deviceQuestions;
        if (!state_.hasDevice)
            return g_dbus_method_invocation_return_dbus_error(invocation, "net.reactivated.Fprint.Error.NoSuchDevice",
                                                              "No devices available");
        return g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", state_.defaultDevice.c_str()));
    }
    if (method == "ListEnrolledFingers") {
        if (state_.fingers.empty())
            return g_dbus_method_invocation_return_dbus_error(
                invocation, "net.reactivated.Fprint.Error.NoEnrolledPrints", "Failed to discover prints");
        GVariantBuilder builder;
        g_variant_builder_init(&builder, G_VARIANT_TYPE("as"));
        for (const auto& finger : state_.fingers) g_variant_builder_add(&builder, "s", finger.c_str());
        return g_dbus_method_invocation_return_value(invocation, g_variant_new("(as)", &builder));
    }
    if (method == "Claim") {
        const char* user = nullptr;
        g_variant_get(parameters, "(&s)", &user);
        state_.claimedUser = user;
        ++state_.claims;
    } else if (method == "Release") {
        state_.releasedDevices.push_back(path);
        ++state_.releases;
    } else if (method == "VerifyStop") {
        ++state_.verifyStops;
    } else if (method == "VerifyStart") {
        const char* finger = nullptr;
        g_variant_get(parameters, "(&s)", &finger);
        state_.verifiedFinger = finger;
        ++state_.verifyStarts;
        const Verdict verdict = state_.verdict;
        lock.unlock();
        g_dbus_method_invocation_return_value(invocation, nullptr);
        // The verdict follows the method's answer, as with a real reader.
        switch (verdict) {
        case Verdict::match: emitVerifyStatus("verify-match", true); break;
        case Verdict::noMatch: emitVerifyStatus("verify-no-match", true); break;
        case Verdict::retryThenMatch:
            emitVerifyStatus("verify-retry-scan", false);
            emitVerifyStatus("verify-match", true);
            break;
        case Verdict::never: break;
        }
        return;
    }
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

}  // namespace testsupport
