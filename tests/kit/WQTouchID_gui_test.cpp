#include <gtest/gtest.h>
#include <gio/gio.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "FakeFprintd.h"
#include "PrivateSessionBus.h"
#include "RunLoop.h"
#include "WQTouchID.h"
#include "foundation/MainQueue.h"
#include "system/LocalAuthentication.h"
#include "system/SessionBus.h"

using platform::LocalAuthentication;
using tovak::WQTouchID;

namespace {

using testsupport::FakeFprintd;
constexpr const char* kDevicePath = FakeFprintd::devicePath;
constexpr const char* kSecondDevicePath = FakeFprintd::secondDevicePath;
constexpr const char* kDeviceInterface = FakeFprintd::deviceInterface;

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
    // Waits for the first answer. A second one would come from the same main-loop work that
    // gave the first, so everything queued after it is let run before the check.
    bool answered(Answers& answers) {
        const bool any = testsupport::runLoopUntil([&] { return !answers.results.empty(); }, 5.0);
        return testsupport::drainMainQueue() && any;
    }
    // Asks fprintd again and waits for its answer: supported() then tells what it says now.
    bool fprintdAnswered(WQTouchID& touchID) {
        bool heard = false;
        auto token = WQTouchID::addSupportObserver([&] { heard = true; });
        (void)touchID.supported();
        return testsupport::runLoopUntil([&] { return heard; });
    }

    // Starts a verification that fprintd never decides, and waits until it is under way.
    bool startUndecidedVerification(WQTouchID& touchID, Answers& answers) {
        fprintd.with([](auto& s) { s.verdict = FakeFprintd::Verdict::never; });
        return fprintd.start() && fprintdAnswered(touchID) && touchID.authenticate("Unlock", recordInto(answers)) &&
               testsupport::runLoopUntil([&] { return fprintd.snapshot().verifyStarts == 1; });
    }

    FakeFprintd fprintd;
};

}  // namespace

TEST_F(TouchIDTest, NotSupportedWithoutFprintdADeviceOrAnEnrolledFinger) {
    WQTouchID noService;
    Answers answers;
    ASSERT_TRUE(fprintdAnswered(noService));
    EXPECT_FALSE(noService.supported());
    EXPECT_FALSE(noService.authenticate("Unlock", recordInto(answers)));

    struct Case {
        const char* what;
        bool hasDevice;
        std::vector<std::string> fingers;
    } cases[] = {{"no device", false, {"left-thumb"}}, {"no enrolled finger", true, {}}};
    for (const auto& c : cases) {
        FakeFprintd fake;
        fake.with([&](auto& s) {
            s.hasDevice = c.hasDevice;
            s.fingers = c.fingers;
        });
        ASSERT_TRUE(fake.start());
        WQTouchID touchID;
        ASSERT_TRUE(fprintdAnswered(touchID)) << c.what;
        EXPECT_FALSE(touchID.supported()) << c.what;
        EXPECT_FALSE(touchID.authenticate("Unlock", recordInto(answers))) << c.what;
        EXPECT_EQ(fake.snapshot().claims, 0) << c.what;
    }
    ASSERT_TRUE(testsupport::drainMainQueue());
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
        fake.with([&](auto& s) { s.verdict = c.verdict; });
        ASSERT_TRUE(fake.start());
        WQTouchID touchID;
        ASSERT_TRUE(fprintdAnswered(touchID)) << c.what;
        EXPECT_TRUE(touchID.supported()) << c.what;
        Answers answers;
        ASSERT_TRUE(touchID.authenticate("Unlock the window", recordInto(answers))) << c.what;
        EXPECT_TRUE(answers.results.empty()) << "the answer comes later";
        ASSERT_TRUE(answered(answers)) << c.what;
        EXPECT_EQ(answers.results, std::vector<bool>{c.expected}) << c.what;
        EXPECT_TRUE(answers.onMainThread);
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return fake.snapshot().releases == 1; })) << c.what;
        const auto state = fake.snapshot();
        EXPECT_EQ(state.claimedUser, "") << "the current user";
        EXPECT_EQ(state.verifiedFinger, "any");
        EXPECT_EQ(state.claims, 1);
    }
}

// The capability is kept and followed: fprintd is asked in the background, its answer reaches
// observers without anyone asking again, and an enrolment it announces is heard.
TEST_F(TouchIDTest, SupportFollowsFprintdWithoutWaitingForIt) {
    fprintd.with([](auto& s) { s.fingers.clear(); });
    ASSERT_TRUE(fprintd.start());
    WQTouchID touchID;
    ASSERT_TRUE(fprintdAnswered(touchID));
    EXPECT_FALSE(touchID.supported());

    bool heard = false;
    auto token = WQTouchID::addSupportObserver([&] { heard = true; });
    fprintd.with([](auto& s) { s.fingers = {"left-index-finger"}; });
    fprintd.emitEnrollCompleted();  // nobody asks: the signal is enough
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return heard; }));
    EXPECT_EQ(LocalAuthentication::biometry(), LocalAuthentication::Biometry::available);
    EXPECT_TRUE(touchID.supported());
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
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return fprintd.snapshot().releases == 1; }));
    EXPECT_EQ(fprintd.snapshot().verifyStops, 1);

    EXPECT_TRUE(touchID.supported());
    EXPECT_FALSE(touchID.canceled());
    fprintd.with([](auto& s) { s.verdict = FakeFprintd::Verdict::match; });
    Answers second;
    ASSERT_TRUE(touchID.authenticate("Unlock", recordInto(second)));
    ASSERT_TRUE(answered(second));
    EXPECT_EQ(second.results, std::vector<bool>{true});
}

// The lock screen that made the request is gone: the reader must not stay claimed and the
// handler must not reach what is left of it.
TEST_F(TouchIDTest, DestroyingItStopsTheVerificationReleasesTheReaderAndCallsNothing) {
    Answers answers;
    {
        WQTouchID touchID;
        ASSERT_TRUE(startUndecidedVerification(touchID, answers));
    }
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return fprintd.snapshot().releases == 1; }));
    EXPECT_EQ(fprintd.snapshot().verifyStops, 1);
    ASSERT_TRUE(testsupport::drainMainQueue());
    EXPECT_TRUE(answers.results.empty());
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

    // Another program on the bus forges the reader's "match", then sends a marker: the bus keeps
    // its messages in order, so the forgery has been seen when the marker arrives.
    GDBusConnection* impostor = testsupport::newSessionBusConnection();
    ASSERT_TRUE(impostor);
    bool markerSeen = false;
    GDBusConnection* ours = platform::sessionBus();  // where the program hears fprintd
    const guint marker = g_dbus_connection_signal_subscribe(
        ours, g_dbus_connection_get_unique_name(impostor), "test.Marker", "Marker", nullptr, nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*, gpointer data) {
            *static_cast<bool*>(data) = true;
        },
        &markerSeen, nullptr);
    // A round trip, so the bus has the marker's match rule before anything is sent.
    GVariant* pong = g_dbus_connection_call_sync(ours, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                 "org.freedesktop.DBus.Peer", "Ping", nullptr, nullptr,
                                                 G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    if (pong) g_variant_unref(pong);
    g_dbus_connection_emit_signal(impostor, nullptr, kDevicePath, kDeviceInterface, "VerifyStatus",
                                  g_variant_new("(sb)", "verify-match", TRUE), nullptr);
    g_dbus_connection_emit_signal(impostor, nullptr, "/", "test.Marker", "Marker", nullptr, nullptr);
    g_dbus_connection_flush_sync(impostor, nullptr, nullptr);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return markerSeen; }));
    ASSERT_TRUE(testsupport::drainMainQueue());
    g_dbus_connection_signal_unsubscribe(ours, marker);
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
    fprintd.with([](auto& s) { s.defaultDevice = kSecondDevicePath; });
    ASSERT_TRUE(fprintdAnswered(touchID)) << "asks fprintd again and learns of the other reader";
    EXPECT_TRUE(touchID.supported());
    touchID.cancel();
    ASSERT_TRUE(answered(answers));
    EXPECT_EQ(answers.results, std::vector<bool>{false});
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return fprintd.snapshot().releases == 1; }));
    EXPECT_EQ(fprintd.snapshot().releasedDevices, std::vector<std::string>{kDevicePath});
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
    EXPECT_EQ(fprintd.snapshot().claims, 0) << "asking claims no device";
}
