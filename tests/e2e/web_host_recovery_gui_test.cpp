// How the web host comes back: the connection-error screen for each kind of failure (its texts as
// the user reads them) and its Try Again, a reload while it is up, a web process that dies (once,
// and again and again), and a network process that dies.
#include <signal.h>

#include "LoopbackHTTPServer.h"
#include "WebHostRun.h"

using namespace e2e;

namespace {

const char* const kDefaultBody = "There has been a connection error.";
const char* const kOfflineBody = "Your internet connection appears to be offline.";
const char* const kSecureBody = "Please deactivate any security tool";

bool isErrorHeader(const Accessibility::Element& e) {
    return e.showing && e.role == "label" && e.name == "Error connecting to server";
}

// Kills the program's processes whose name is `name` (comm: its first 15 characters); false
// when there was none.
bool killAll(pid_t program, std::string_view name) {
    bool killed = false;
    for (pid_t pid : testsupport::processTree(program))
        if (testsupport::processName(pid) == name) killed = kill(pid, SIGKILL) == 0 || killed;
    return killed;
}

// Three failures: the configuration client's attempts of one download.
std::vector<std::string> failTimes(const std::string& answer, int downloads = 1) {
    return std::vector<std::string>(size_t(3 * downloads), answer);
}

}  // namespace

// Each kind of failure shows the error screen with its own text; a retry that fails again shows
// it again, and one that succeeds brings the web client.
TEST(WebHostRecovery, ConnectionErrorScreenTellsEachFailureAndTryAgainRecovers) {
    // Not a TLS server: the secure connection fails.
    testsupport::LoopbackHTTPServer plain;
    struct Case {
        const char* what;
        std::vector<std::string> answers;
        std::map<std::string, PropertyList> info;  // the configuration server elsewhere
        const char* body;
    };
    const Case cases[] = {
        {"empty answer", failTimes("empty"), {}, kDefaultBody},
        {"sealed with another key", failTimes("wrong-key"), {}, kDefaultBody},
        {"a web page instead", failTimes("text:<html>Sign in to the network</html>"), {}, kDefaultBody},
        {"connection lost", failTimes("drop"), {}, kDefaultBody},
        {"no route to the server",
         {},
         {{"ParlivoConfigurationHost", "224.0.0.1:9"}, {"ParlivoConfigurationHost2", "224.0.0.1:9"}},
         kOfflineBody},
        {"no TLS",
         {},
         {{"ParlivoConfigurationHost", "127.0.0.1:" + std::to_string(plain.port())},
          {"ParlivoConfigurationHost2", "127.0.0.1:" + std::to_string(plain.port())}},
         kSecureBody},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StandinServer::Options options;
        options.answers = c.answers;
        if (!options.answers.empty()) options.answers.push_back("payload");
        WebHostRun run(options);
        ASSERT_TRUE(run.server.ok());
        HostedProgram::Options program{{"-de"}, {}, c.info};
        run.launch(program);
        auto& a11y = run.accessibility();
        ASSERT_TRUE(a11y.waitFor(isErrorHeader, 90)) << a11y.describe() << run.program->output();
        EXPECT_TRUE(a11y.waitFor(Accessibility::containing("label", c.body))) << a11y.describe();
        EXPECT_FALSE(a11y.waitFor(Accessibility::named("label", "Loading ..."), 0)) << "the loading screen stayed";
        if (!c.info.empty()) {
            // Nowhere to go: the retry fails again and the screen comes back.
            const size_t lines = run.program->process().lines().size();
            ASSERT_TRUE(a11y.press("Try Again"));
            EXPECT_GE(run.program->process().waitForLineAfter(lines, "DynamicData ===> Retrying: 1 of", 90), 0)
                << "no new download";
            EXPECT_TRUE(a11y.waitFor(isErrorHeader, 90));
            EXPECT_TRUE(a11y.waitFor(Accessibility::containing("label", c.body)));
            continue;
        }
        const size_t from = run.server.mark();
        ASSERT_TRUE(a11y.press("Try Again"));
        ASSERT_TRUE(run.startedUp(from));
        EXPECT_TRUE(a11y.waitUntilGone(isErrorHeader)) << a11y.describe();
        EXPECT_TRUE(a11y.waitUntilGone(Accessibility::named("label", "Loading ..."))) << a11y.describe();
        EXPECT_EQ(run.stop(), 0);
    }
}

// A reload while the error screen is up starts a new cycle at once: the screen goes. The reload
// command reaches the web client that once ran (before the first web view there is nothing to
// reload), so the page starts once, and its reload fails.
TEST(WebHostRecovery, AReloadReplacesTheErrorScreen) {
    StandinServer::Options options;
    options.answers = {"payload"};
    for (const auto& answer : failTimes("empty")) options.answers.push_back(answer);
    options.answers.push_back("payload");
    WebHostRun run(options);
    ASSERT_TRUE(run.start());
    auto& a11y = run.accessibility();
    run.server.post("eventHandler", "reload");
    ASSERT_TRUE(a11y.waitFor(isErrorHeader, 90)) << a11y.describe() << run.program->output();
    const size_t from = run.server.mark();
    ASSERT_TRUE(run.pressKeys("ctrl+r"));
    ASSERT_TRUE(run.startedUp(from));
    EXPECT_TRUE(a11y.waitUntilGone(isErrorHeader)) << a11y.describe();
    EXPECT_EQ(run.server.configurationRequests(), 5);
    EXPECT_EQ(run.stop(), 0);
}

// A web process that dies takes the page with it: the program reloads the web client.
TEST(WebHostRecovery, AKilledWebProcessReloadsTheWebClient) {
    WebHostRun run;
    ASSERT_TRUE(run.start());
    pid_t web = 0;
    for (pid_t pid : testsupport::processTree(run.program->pid()))
        if (testsupport::processName(pid) == "WebKitWebProces") web = pid;  // comm holds 15 characters
    ASSERT_GT(web, 0) << "no web process below the program";
    const size_t from = run.server.mark();
    const int requests = run.server.configurationRequests();
    ASSERT_EQ(kill(web, SIGKILL), 0);
    EXPECT_TRUE(run.program->waitForOutput("ViewController ===> WKWebView was killed"));
    ASSERT_TRUE(run.startedUp(from));
    EXPECT_EQ(run.server.configurationRequests(), requests + 1) << "the configuration is fetched again";
    // The new page is a working page: the bridge answers.
    run.roundTrip();
    EXPECT_EQ(run.stop(), 0);
}

// Web processes killed again and again (each once the page had started up again, so long after
// the process started) leave the program running: it reloads later each time, and after the
// third reload shows the error screen instead of starting yet another process. Try Again brings
// the page back.
TEST(WebHostRecovery, AWebProcessThatKeepsDyingEndsAtTheErrorScreenNotInALoop) {
    WebHostRun run;
    ASSERT_TRUE(run.start());
    for (int reload = 1; reload <= 3; ++reload) {
        SCOPED_TRACE(reload);
        const size_t from = run.server.mark();
        ASSERT_TRUE(killAll(run.program->pid(), "WebKitWebProces"));
        ASSERT_TRUE(run.startedUp(from));
    }
    ASSERT_TRUE(killAll(run.program->pid(), "WebKitWebProces"));
    auto& a11y = run.accessibility();
    ASSERT_TRUE(a11y.waitFor(isErrorHeader, 90)) << a11y.describe() << run.program->output();
    EXPECT_EQ(run.server.configurationRequests(), 4) << "no reload after the fourth end";

    const size_t from = run.server.mark();
    ASSERT_TRUE(a11y.press("Try Again"));
    ASSERT_TRUE(run.startedUp(from));
    EXPECT_TRUE(a11y.waitUntilGone(isErrorHeader)) << a11y.describe();
    EXPECT_EQ(run.stop(), 0) << run.program->output();
}

// WebKit starts a new network process after one was killed but forgets the development server's
// certificate: the program sees the end, and the page comes back over the new process.
TEST(WebHostRecovery, AKilledNetworkProcessBringsThePageBack) {
    WebHostRun run;
    ASSERT_TRUE(run.start());
    ASSERT_TRUE(run.program->waitForOutput("Watching the network process")) << run.program->output();
    const size_t from = run.server.mark();
    ASSERT_TRUE(killAll(run.program->pid(), "WebKitNetworkPr"));
    ASSERT_TRUE(run.startedUp(from));
    run.roundTrip();
    EXPECT_EQ(run.stop(), 0) << run.program->output();
}
