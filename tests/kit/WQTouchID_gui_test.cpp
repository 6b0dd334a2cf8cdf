#include <gtest/gtest.h>
#include <gio/gio.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PrivateSessionBus.h"
#include "RunLoop.h"
#include "WQTouchID.h"
#include "foundation/MainQueue.h"

using tovak::WQTouchID;

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
  </interface>
</node>)XML";

constexpr const char* kDevicePath = "/net/reactivated/Fprint/Device/0";
constexpr const char* kSecondDevicePath = "/net/reactivated/Fprint/Device/1";

// A stand-in for fprintd on the private session bus, on a thread and main context of its own,
// so the code under test can call it synchronously from the test's main thread.
class FakeFprintd {
public:
    enum class Verdict { match, noMatch, retryThenMatch, never };

    bool hasDevice = true;
    std::vector<std::string> fingers{"right-index-finger"};
    Verdict verdict = Verdict::match;

    std::atomic<int> claims{0}, releases{0}, verifyStarts{0}, verifyStops{0};
    std::string claimedUser = "?", verifiedFinger;

    // The default device may change while a verification runs (a reader plugged in).
    void setDefaultDevice(std::string path) {
        std::lock_guard lock(mutex_);
        defaultDevice_ = std::move(path);
    }
    std::vector<std::string> releasedDevices() {
        std::lock_guard lock(mutex_);
        return releasedDevices_;
    }

    void start() {
        std::atomic<bool> ready{false};
        thread_ = std::thread([this, &ready] { run(ready); });
        while (!ready) std::this_thread::yield();
    }
    void stop() {
        if (!thread_.joinable()) return;
        g_main_context_invoke(context_, [](gpointer loop) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        }, loop_);
        thread_.join();
    }
    ~FakeFprintd() { stop(); }

private:
    void run(std::atomic<bool>& ready) {
        context_ = g_main_context_new();
        g_main_context_push_thread_default(context_);
        loop_ = g_main_loop_new(context_, FALSE);
        connection_ = testsupport::newSessionBusConnection();
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
        static const GDBusInterfaceVTable vtable{&FakeFprintd::onCall, nullptr, nullptr, {}};
        const guint manager = g_dbus_connection_register_object(connection_, "/net/reactivated/Fprint/Manager",
                                                                node->interfaces[0], &vtable, this, nullptr, nullptr);
        const guint device =
            g_dbus_connection_register_object(connection_, kDevicePath, node->interfaces[1], &vtable, this, nullptr, nullptr);
        const guint secondDevice = g_dbus_connection_register_object(connection_, kSecondDevicePath, node->interfaces[1],
                                                                     &vtable, this, nullptr, nullptr);
        GVariant* owned = g_dbus_connection_call_sync(connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                      "org.freedesktop.DBus", "RequestName",
                                                      g_variant_new("(su)", "net.reactivated.Fprint", 4u), nullptr,
                                                      G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        if (owned) g_variant_unref(owned);
        ready = true;
        g_main_loop_run(loop_);
        g_dbus_connection_unregister_object(connection_, manager);
        g_dbus_connection_unregister_object(connection_, device);
        g_dbus_connection_unregister_object(connection_, secondDevice);
        g_dbus_connection_close_sync(connection_, nullptr, nullptr);  // the name goes with it
        g_object_unref(connection_);
        g_dbus_node_info_unref(node);
        g_main_loop_unref(loop_);
        g_main_context_pop_thread_default(context_);
        g_main_context_unref(context_);
    }

    void emitStatus(const char* result, bool done) {
        g_dbus_connection_emit_signal(connection_, nullptr, kDevicePath, "net.reactivated.Fprint.Device",
                                      "VerifyStatus", g_variant_new("(sb)", result, done), nullptr);
    }

    static void onCall(GDBusConnection*, const char*, const char* path, const char*, const char* method,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
        auto& fake = *static_cast<FakeFprintd*>(data);
        const std::string name = method;
        if (name == "GetDefaultDevice") {
            if (!fake.hasDevice)
                return g_dbus_method_invocation_return_dbus_error(invocation, "net.reactivated.Fprint.Error.NoSuchDevice",
                                                                  "No devices available");
            std::lock_guard lock(fake.mutex_);
            return g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", fake.defaultDevice_.c_str()));
        }
        if (name == "ListEnrolledFingers") {
            if (fake.fingers.empty())
                return g_dbus_method_invocation_return_dbus_error(
                    invocation, "net.reactivated.Fprint.Error.NoEnrolledPrints", "Failed to discover prints");
            GVariantBuilder builder;
            g_variant_builder_init(&builder, G_VARIANT_TYPE("as"));
            for (const auto& finger : fake.fingers) g_variant_builder_add(&builder, "s", finger.c_str());
            return g_dbus_method_invocation_return_value(invocation, g_variant_new("(as)", &builder));
        }
        if (name == "Claim") {
            const char* user = nullptr;
            g_variant_get(parameters, "(&s)", &user);
            fake.claimedUser = user;
            ++fake.claims;
        } else if (name == "Release") {
            {
                std::lock_guard lock(fake.mutex_);
                fake.releasedDevices_.push_back(path);
            }
            ++fake.releases;
        } else if (name == "VerifyStop") {
            ++fake.verifyStops;
        } else if (name == "VerifyStart") {
            const char* finger = nullptr;
            g_variant_get(parameters, "(&s)", &finger);
            fake.verifiedFinger = finger;
            ++fake.verifyStarts;
            g_dbus_method_invocation_return_value(invocation, nullptr);
            // The verdict follows the method's answer, as with a real reader.
            switch (fake.verdict) {
                case Verdict::match: fake.emitStatus("verify-match", true); break;
                case Verdict::noMatch: fake.emitStatus("verify-no-match", true); break;
                case Verdict::retryThenMatch:
                    fake.emitStatus("verify-retry-scan", false);
                    fake.emitStatus("verify-match", true);
                    break;
                case Verdict::never: break;
            }
            return;
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    std::mutex mutex_;
    std::string defaultDevice_ = kDevicePath;
    std::vector<std::string> releasedDevices_;
    std::thread thread_;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    GDBusConnection* connection_ = nullptr;
};

class TouchIDTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { setenv("PARLIVO_FPRINT_BUS", "session", 1); }

    struct Answers {
        std::vector<bool> results;
        bool onMainThread = true;
    };
    std::function<void(bool)> recordInto(Answers& answers) {
        return [&answers](bool ok) {
            answers.results.push_back(ok);
            answers.onMainThread = answers.onMainThread && platform::MainQueue::isMainThread();
        };
    }
    // Waits for the first answer, then a little longer to see that no second one comes.
    bool answered(Answers& answers) {
        const bool any = testsupport::runLoopUntil([&] { return !answers.results.empty(); }, 5.0);
        testsupport::runLoopFor(0.2);
        return any;
    }

    // Starts a verification that fprintd never decides, and waits until it is under way.
    bool startUndecidedVerification(WQTouchID& touchID, Answers& answers) {
        fprintd.verdict = FakeFprintd::Verdict::never;
        fprintd.start();
        return touchID.authenticate("Unlock", recordInto(answers)) &&
               testsupport::runLoopUntil([&] { return fprintd.verifyStarts == 1; });
    }

    FakeFprintd fprintd;
};

}  // namespace

TEST_F(TouchIDTest, NotSupportedWithoutFprintdADeviceOrAnEnrolledFinger) {
    WQTouchID noService;
    Answers answers;
    EXPECT_FALSE(noService.supported());
    EXPECT_FALSE(noService.authenticate("Unlock", recordInto(answers)));

    struct Case {
        const char* what;
        bool hasDevice;
        std::vector<std::string> fingers;
    } cases[] = {{"no device", false, {"left-thumb"}}, {"no enrolled finger", true, {}}};
    for (const auto& c : cases) {
        FakeFprintd fake;
        fake.hasDevice = c.hasDevice;
        fake.fingers = c.fingers;
        fake.start();
        WQTouchID touchID;
        EXPECT_FALSE(touchID.supported()) << c.what;
        EXPECT_FALSE(touchID.authenticate("Unlock", recordInto(answers))) << c.what;
        EXPECT_EQ(fake.claims, 0) << c.what;
    }
    testsupport::runLoopFor(0.2);
    EXPECT_TRUE(answers.results.empty()) << "the handler is never called when nothing started";
}

TEST_F(TouchIDTest, VerifiesAndAnswersOnceOnTheMainThread) {
    struct Case {
        const char* what;
        FakeFprintd::Verdict verdict;
        bool expected;
    } cases[] = {
        {"match", FakeFprintd::Verdict::match, true},
        {"no match", FakeFprintd::Verdict::noMatch, false},
        {"a retry is not the end", FakeFprintd::Verdict::retryThenMatch, true},
    };
    for (const auto& c : cases) {
        FakeFprintd fake;
        fake.verdict = c.verdict;
        fake.start();
        WQTouchID touchID;
        EXPECT_TRUE(touchID.supported()) << c.what;
        Answers answers;
        ASSERT_TRUE(touchID.authenticate("Unlock the window", recordInto(answers))) << c.what;
        EXPECT_TRUE(answers.results.empty()) << "the answer comes later";
        ASSERT_TRUE(answered(answers)) << c.what;
        EXPECT_EQ(answers.results, std::vector<bool>{c.expected}) << c.what;
        EXPECT_TRUE(answers.onMainThread);
        EXPECT_EQ(fake.claimedUser, "") << "the current user";
        EXPECT_EQ(fake.verifiedFinger, "any");
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return fake.releases == 1; })) << c.what;
        EXPECT_EQ(fake.claims, 1);
    }
}

TEST_F(TouchIDTest, CancelWithdrawsTheVerificationAndTheNextCallStartsFresh) {
    WQTouchID touchID;
    Answers first;
    ASSERT_TRUE(startUndecidedVerification(touchID, first));
    touchID.cancel();
    EXPECT_TRUE(touchID.canceled());
    ASSERT_TRUE(answered(first));
    EXPECT_EQ(first.results, std::vector<bool>{false});
    EXPECT_TRUE(first.onMainThread);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return fprintd.releases == 1; }));
    EXPECT_EQ(fprintd.verifyStops, 1);

    EXPECT_TRUE(touchID.supported());
    EXPECT_FALSE(touchID.canceled());
    fprintd.verdict = FakeFprintd::Verdict::match;
    Answers second;
    ASSERT_TRUE(touchID.authenticate("Unlock", recordInto(second)));
    ASSERT_TRUE(answered(second));
    EXPECT_EQ(second.results, std::vector<bool>{true});
}

TEST_F(TouchIDTest, FprintdGoingAwayEndsTheVerificationWithFailure) {
    WQTouchID touchID;
    Answers answers;
    ASSERT_TRUE(startUndecidedVerification(touchID, answers));
    fprintd.stop();
    ASSERT_TRUE(answered(answers));
    EXPECT_EQ(answers.results, std::vector<bool>{false});
}

TEST_F(TouchIDTest, AVerdictFromAnyoneButFprintdIsIgnored) {
    WQTouchID touchID;
    Answers answers;
    ASSERT_TRUE(startUndecidedVerification(touchID, answers));

    // Another program on the bus forges the reader's "match".
    GDBusConnection* impostor = testsupport::newSessionBusConnection();
    ASSERT_TRUE(impostor);
    g_dbus_connection_emit_signal(impostor, nullptr, kDevicePath, "net.reactivated.Fprint.Device", "VerifyStatus",
                                  g_variant_new("(sb)", "verify-match", TRUE), nullptr);
    g_dbus_connection_flush_sync(impostor, nullptr, nullptr);
    testsupport::runLoopFor(0.5);
    g_dbus_connection_close_sync(impostor, nullptr, nullptr);
    g_object_unref(impostor);
    EXPECT_TRUE(answers.results.empty()) << "a forged verdict was taken";

    touchID.cancel();
    ASSERT_TRUE(answered(answers));
    EXPECT_EQ(answers.results, std::vector<bool>{false});
}

TEST_F(TouchIDTest, TheClaimedDeviceIsTheOneReleasedWhenTheDefaultChangesMeanwhile) {
    WQTouchID touchID;
    Answers answers;
    ASSERT_TRUE(startUndecidedVerification(touchID, answers));
    fprintd.setDefaultDevice(kSecondDevicePath);
    EXPECT_TRUE(touchID.supported()) << "asks fprintd again and learns of the other reader";
    touchID.cancel();
    ASSERT_TRUE(answered(answers));
    EXPECT_EQ(answers.results, std::vector<bool>{false});
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return fprintd.releases == 1; }));
    EXPECT_EQ(fprintd.releasedDevices(), std::vector<std::string>{kDevicePath});
}

TEST_F(TouchIDTest, CapabilityIsAskedWithoutWaitingAndKeptForLater) {
    std::vector<bool> answers;
    auto record = [&answers](bool supported) {
        EXPECT_TRUE(platform::MainQueue::isMainThread());
        answers.push_back(supported);
    };
    // No fprintd on the bus: "no", later, never at once.
    WQTouchID::checkSupported(record);
    EXPECT_TRUE(answers.empty());
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return answers.size() == 1; }));
    EXPECT_FALSE(answers[0]);
    EXPECT_EQ(WQTouchID::cachedSupported(), false);

    // With a reader and a finger: two questions on their way share one answer.
    fprintd.start();
    WQTouchID::checkSupported(record);
    WQTouchID::checkSupported(record);
    EXPECT_EQ(WQTouchID::cachedSupported(), false) << "the old answer stands until the new one comes";
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return answers.size() == 3; }));
    EXPECT_TRUE(answers[1] && answers[2]);
    EXPECT_EQ(WQTouchID::cachedSupported(), true);
    EXPECT_EQ(fprintd.claims, 0) << "asking claims no device";
}
