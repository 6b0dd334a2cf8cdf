// The privacy lock with the real program, the stand-in page and a fake fprintd on the test's
// session bus: a start with privacy mode on locks at once; the page is hidden, told wqLockDown
// and gets none of the keys typed into the lock screen; a wrong password keeps the lock and
// offers the fingerprint again; the right one (an earlier version's record) releases it and the
// record is stored again in the salted form; a minute without input locks again. A fingerprint
// match releases the lock as well.
#include <gtest/gtest.h>

#include "DesktopSession.h"
#include "FakeFprintd.h"
#include "Standin.h"

using platform::PropertyList;
using testsupport::FakeFprintd;
using testsupport::HostedProgram;
using testsupport::StandinServer;

namespace {

// An earlier version's record of "secret": its plain SHA-256.
constexpr const char* kLegacyRecord = "2bb80d537b1da3e38bd30361aa855686bde0eacd7162fef6a25fe97bf527a25b";

class PrivacyLock : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ok()) << server.error();
        windowManager = e2e::startWindowManager();
        ASSERT_TRUE(windowManager) << "openbox did not start";
        e2e::writeSettings(std::string("<key>privacyModeEnabled</key><true/>") +
                           "<key>privacyModeTouchIDEnabled</key><true/>" + "<key>privacyLockAfter</key><integer>60</integer>" +
                           "<key>WQPassowrdHandler.privacyPassword</key><string>" + kLegacyRecord + "</string>");
    }

    void launch() {
        program = HostedProgram::parlivo(server, {{"-de"}, {{"PARLIVO_FPRINT_BUS", "session"}}, {}});
        ASSERT_TRUE(program->process().started()) << program->process().startError();
        ASSERT_TRUE(server.waitForReady()) << program->output();
        window = e2e::waitForWindow("Parlivo");
        ASSERT_FALSE(window.empty()) << program->output();
        ASSERT_TRUE(e2e::activate(window)) << program->output();
    }

    // The value of a script in the page.
    PropertyList evaluate(const std::string& script) {
        auto record = server.waitForCommand(server.eval(script));
        if (!record || record->type != "evaluated") return PropertyList("no answer");
        return (*record)["value"];
    }

    // The first wqLockDown call from record `from` on, with its argument.
    std::string lockDownAfter(size_t from, double timeoutSeconds = 60) {
        auto call = server.waitForCall("wqLockDown", timeoutSeconds, from);
        if (!call) return "none";
        return call->args()[0].stringOr("?");
    }

    StandinServer server;
    FakeFprintd fprintd;
    std::unique_ptr<testsupport::HostedProgram> windowManager;
    std::unique_ptr<HostedProgram> program;
    std::string window;
};

}  // namespace

TEST_F(PrivacyLock, TheLockHidesThePageUntilTheRightPasswordAndComesBackWhenIdle) {
    fprintd.with([](auto& s) { s.verdict = FakeFprintd::Verdict::never; });
    ASSERT_TRUE(fprintd.start());
    launch();
    // Locked from the start: the page loads behind the lock screen, hidden.
    EXPECT_TRUE(e2e::eventually([&] { return evaluate("document.visibilityState") == PropertyList("hidden"); }))
        << "the page is not hidden";
    evaluate("document.addEventListener('keydown', function (e) { Standin.record('key', {name: e.key}); }, true), 1");
    // The reader listens once the locked window is active.
    ASSERT_TRUE(e2e::eventually([&] { return fprintd.snapshot().verifyStarts == 1; })) << program->output();
    e2e::screenshot("privacy-lock-locked");

    // A wrong password: the lock stays, and the running verification is the fingerprint offer.
    size_t line = program->process().lines().size();
    e2e::type("wrong");
    e2e::key("Return");
    ASSERT_GE(e2e::lineAfter(*program, line, "Wrong password"), 0) << program->output();
    EXPECT_EQ(fprintd.snapshot().verifyStarts, 1);
    EXPECT_TRUE(e2e::eventually([&] { return evaluate("document.visibilityState") == PropertyList("hidden"); }))
        << "the page is not hidden";

    // The right one (the wrong text is selected, so it is typed over) releases the lock.
    size_t mark = server.mark();
    e2e::type("secret");
    e2e::key("Return");
    EXPECT_EQ(lockDownAfter(mark), "false") << program->output();
    EXPECT_TRUE(e2e::eventually([&] { return evaluate("document.visibilityState") == PropertyList("visible"); }))
        << "the page is not visible";
    ASSERT_TRUE(e2e::eventually([&] { return fprintd.snapshot().verifyStops == 1; }));
    // Nothing typed into the lock screen reached the page (the evaluations above came after it).
    for (const auto& record : server.records()) EXPECT_NE(record.type, "key") << record.json;
    // The earlier version's record was replaced by the salted form on that unlock.
    EXPECT_TRUE(e2e::eventually([] { return e2e::readSettings().find("pbkdf2-sha256$") != std::string::npos; }))
        << e2e::readSettings();
    EXPECT_EQ(e2e::readSettings().find(kLegacyRecord), std::string::npos);

    // A minute without input locks again, and this time the page is there to be told.
    mark = server.mark();
    EXPECT_EQ(lockDownAfter(mark, 180), "true") << program->output();
    EXPECT_TRUE(e2e::eventually([&] { return evaluate("document.visibilityState") == PropertyList("hidden"); }))
        << "the page is not hidden";
    EXPECT_EQ(program->stop(), 0) << program->output();
}

TEST_F(PrivacyLock, AFingerprintMatchReleasesTheLock) {
    fprintd.with([](auto& s) { s.verdict = FakeFprintd::Verdict::match; });
    ASSERT_TRUE(fprintd.start());
    launch();
    ASSERT_TRUE(program->waitForOutput("ViewController ===> Unlocking!", 60)) << program->output();
    EXPECT_TRUE(e2e::eventually([&] { return evaluate("document.visibilityState") == PropertyList("visible"); }))
        << "the page is not visible";
    EXPECT_EQ(fprintd.snapshot().verifyStarts, 1);
    EXPECT_TRUE(e2e::eventually([] {
        return e2e::readSettings().find("<key>privacyLockdown</key><false/>") != std::string::npos ||
               e2e::readSettings().find("<key>privacyLockdown</key>\n\t<false/>") != std::string::npos;
    })) << e2e::readSettings();
    EXPECT_EQ(program->stop(), 0) << program->output();
}
