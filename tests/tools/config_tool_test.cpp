#include <glib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include <httplib.h>

#include <thread>

#include "ConfigServer.h"
#include "PageChannel.h"
#include "PayloadWriter.h"
#include "RunLoop.h"
#include "ServeProcess.h"
#include "config/DynamicData.h"
#include "config/EncryptionKey.h"
#include "foundation/ProcessInfo.h"
#include "system/URLSession.h"

using namespace parlivo;
using namespace parlivo::config;
using platform::PropertyList;

namespace {

const std::filesystem::path defaultManifest = PARLIVO_SOURCE_DIR "/tools/config/default/manifest.plist";
const std::filesystem::path defaultPayload = PARLIVO_BUILD_DIR "/config/default.payload";

platform::URLSession& trustingSession() {
    static platform::URLSession session({PARLIVO_BUILD_DIR "/config-tls/ca.pem", "test"});
    return session;
}

bool isUTF8(const Bytes& bytes) { return isUTF8Text(bytes); }

std::filesystem::path tempDir() {
    auto dir = std::filesystem::path(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") / "config-tool-test";
    std::filesystem::create_directories(dir);
    return dir;
}

void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

// A manifest of its own: patches in a given order, and a script with a non-ASCII character.
std::filesystem::path writeManifest(const std::string& extraValues = {}) {
    const auto dir = tempDir();
    writeText(dir / "start.js", "start(\"é\");");
    writeText(dir / "end.js", "end();");
    writeText(dir / "offline.html", "<p>offline</p>");
    writeText(dir / "patches.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><array>
<dict><key>id</key><string>b</string><key>namePrefix</key><string>main</string>
<key>before</key><string>x</string><key>after</key><string>y</string></dict>
<dict><key>id</key><string>a</string><key>namePrefix</key><string></string>
<key>before</key><string>1</string><key>after</key><string>2</string></dict>
</array></plist>)");
    std::string values = R"(<key>ProductId</key><integer>3200</integer>
<key>Version</key><string>@PROGRAM_VERSION@</string>
<key>DynamicDataVersion</key><string>77</string>
<key>UserAgent</key><string>Agent/2</string>
<key>PageURL</key><string>https://page.example/</string>
<key>BaseURL</key><string>https://page.example/</string>
<key>CustomPageLoading</key><true/>
<key>AllowMessageSendingFromNotification</key><false/>
<key>AddDraggingOverlay</key><true/>
<key>Send</key><false/>
<key>MovieFileMode</key><integer>0</integer>
<key>MovieMaximumFileSize</key><integer>1</integer>
<key>MovieTargetFileSize</key><integer>2</integer>
<key>MovieMaximumLength</key><integer>3</integer>
<key>MovieExportPresets</key><array><string>P</string></array>
<key>MovieRecordPreset</key><string>R</string>
<key>SupportPageURL</key><string>https://s.example/</string>
<key>FAQURL</key><string>https://s.example/faq</string>
<key>PrivacyURL</key><string>https://s.example/privacy</string>)" + extraValues;
    writeText(dir / "manifest.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>Values</key><dict>)" + values + R"(</dict>
<key>Files</key><dict><key>InjectJsStart</key><string>start.js</string>
<key>InjectJsEnd</key><string>end.js</string><key>CouldNotConnect</key><string>offline.html</string></dict>
<key>Patches</key><string>patches.plist</string></dict></plist>)");
    return dir / "manifest.plist";
}

struct Delegate : DynamicDataDelegate {
    std::vector<bool> results;
    void handleConfigurationResult(bool success) override { results.push_back(success); }
};

}  // namespace

TEST(PackTest, ManifestRoundTripsThroughTheClient) {
    std::string error;
    auto payload = packManifest(writeManifest(), &error);
    ASSERT_TRUE(payload) << error;
    EXPECT_FALSE(isUTF8(*payload));

    auto client = DynamicData::create(trustingSession(), {});
    ASSERT_TRUE(client->processConfigurationData(*payload, true));
    EXPECT_EQ(client->version(), "77");
    EXPECT_EQ(client->injectionScriptStart(), "start(\"é\");");
    EXPECT_EQ(client->couldNotConnect(), "<p>offline</p>");
    EXPECT_EQ(client->userAgent(), "Agent/2");
    EXPECT_EQ(client->customPageLoading(), true);
    EXPECT_EQ(client->enableSend(), false);
    EXPECT_EQ(client->movieFileMode(), MovieFileMode::raw);
    auto patches = client->patches();
    ASSERT_TRUE(patches);
    ASSERT_EQ(patches->size(), 2u);
    EXPECT_EQ((*patches)[0], TextPatch::make("b", "main", "x", "y"));
    EXPECT_EQ((*patches)[1], TextPatch::make("a", "", "1", "2"));

    auto dumped = dumpPayload(*payload, &error);
    ASSERT_TRUE(dumped) << error;
    EXPECT_NE(dumped->find("<string>start(\"é\");</string>"), std::string::npos);
    EXPECT_NE(dumped->find("<string>main</string>"), std::string::npos);
}

TEST(PackTest, RefusesManifestsTheProgramWouldRefuse) {
    std::string error;
    // A key of the wrong type passes the writer's own reading but not the program's check.
    EXPECT_FALSE(packManifest(writeManifest("<key>Send</key><string>yes</string>"), &error));
    EXPECT_NE(error.find("Error DD99"), std::string::npos) << error;
    EXPECT_FALSE(packManifest(tempDir() / "missing.plist", &error));
    writeText(tempDir() / "broken.plist", "<plist><dict><key>Values</key>");
    EXPECT_FALSE(packManifest(tempDir() / "broken.plist", &error));
}

TEST(PackTest, SealedPayloadsNeverReadAsText) {
    // Small payloads are the likeliest to come out as valid UTF-8 by chance; padding fixes them.
    for (int i = 0; i < 3000; ++i) {
        PropertyList root = PropertyList::dictionary();
        root.set("n", i);
        const Bytes sealed = seal(root, EncryptionKey::key(), EncryptionKey::iv());
        ASSERT_FALSE(isUTF8(sealed)) << i;
        auto opened = open(sealed, EncryptionKey::key(), EncryptionKey::iv());
        ASSERT_TRUE(opened);
        EXPECT_EQ((*opened)["n"].asInt(), i);
    }
}

TEST(DumpTest, BadPayloadsGiveTheirCode) {
    std::string error;
    EXPECT_FALSE(dumpPayload(Bytes{0xff, 0x00, 0x13}, &error));
    EXPECT_EQ(error, "Error DD11");
    auto good = readFile(defaultPayload);
    ASSERT_TRUE(good);
    auto wrongKey = resealWithWrongKey(*good);
    ASSERT_TRUE(wrongKey);
    EXPECT_FALSE(dumpPayload(*wrongKey, &error));
    EXPECT_EQ(error.substr(0, 9), "Error DD1");
}

namespace {

struct ToolRun {
    int status = -1;
    std::string out, err;
};

// Runs the built parlivo-config with `args`; what it wrote to each stream and its exit status.
ToolRun runTool(const std::vector<std::string>& args) {
    std::vector<std::string> argv{PARLIVO_BIN_DIR "/parlivo-config"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<gchar*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    gchar* out = nullptr;
    gchar* err = nullptr;
    gint status = 0;
    ToolRun run;
    if (!g_spawn_sync(nullptr, raw.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err, &status, nullptr))
        return run;
    run.out = out ? out : "";
    run.err = err ? err : "";
    g_free(out);
    g_free(err);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

}  // namespace

// The command line, as a person debugging a payload uses it: the code on standard error and
// exit status 1 for a bad payload, the values on standard output and 0 for a good one.
TEST(DumpTest, CommandPrintsTheCodeOnStandardErrorAndFails) {
    writeFile(tempDir() / "junk.payload", Bytes{0xff, 0x00, 0x13, 0x80});
    auto junk = runTool({"dump", (tempDir() / "junk.payload").string()});
    EXPECT_EQ(junk.status, 1);
    EXPECT_EQ(junk.err, "Error DD11\n");
    EXPECT_EQ(junk.out, "");

    auto good = readFile(defaultPayload);
    ASSERT_TRUE(good);
    PropertyList otherVersion = *open(*good, EncryptionKey::key(), EncryptionKey::iv());
    otherVersion.set("Version", "0.0.0-other");
    writeFile(tempDir() / "other-version.payload", seal(otherVersion, EncryptionKey::key(), EncryptionKey::iv()));
    auto other = runTool({"dump", (tempDir() / "other-version.payload").string()});
    EXPECT_EQ(other.status, 1);
    EXPECT_EQ(other.err, "Error DD17\n");

    auto fine = runTool({"dump", defaultPayload.string()});
    EXPECT_EQ(fine.status, 0);
    EXPECT_NE(fine.out.find("<key>ProductId</key>"), std::string::npos);
}

// Help on request goes to standard output with status 0; a wrong call gets the usage on
// standard error with status 2; what is not a regular file is refused with status 1, never a
// crash and never a read without end.
TEST(CommandLineTest, HelpUsageAndFilesThatAreNoFiles) {
    const auto dir = tempDir() / "a-folder";
    std::filesystem::create_directories(dir);
    writeText(tempDir() / "names-a-folder.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>Values</key><dict/>
<key>Files</key><dict><key>InjectJsStart</key><string>a-folder</string></dict></dict></plist>)");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* out;  // a text the output must hold ("" for none at all)
        const char* err;
    } cases[] = {
        {{"--help"}, 0, "commands:", ""},
        {{"-h"}, 0, "usage: parlivo-config COMMAND", ""},
        {{"pack", "--help"}, 0, "usage: parlivo-config pack MANIFEST -o PAYLOAD", ""},
        {{"dump", "--help"}, 0, "Error DDnn", ""},
        {{"serve", "--help"}, 0, "--answers", ""},
        {{}, 2, "", "usage: parlivo-config COMMAND"},
        {{"frobnicate"}, 2, "", "unknown command"},
        {{"dump"}, 2, "", "usage: parlivo-config dump PAYLOAD"},
        {{"pack", "only-a-manifest"}, 2, "", "usage: parlivo-config pack"},
        {{"serve", "--port"}, 2, "", "usage: parlivo-config serve"},
        {{"serve", "--payload", "x", "--answers", "maybe"}, 2, "", "unknown answer"},
        {{"dump", dir.string()}, 1, "", "not a regular file"},
        {{"dump", "/dev/zero"}, 1, "", "not a regular file"},
        {{"pack", (tempDir() / "names-a-folder.plist").string(), "-o", (tempDir() / "out.payload").string()}, 1, "",
         "cannot read the file for \"InjectJsStart\""},
    };
    for (const auto& c : cases) {
        std::string call;
        for (const auto& a : c.args) call += " " + a;
        SCOPED_TRACE("parlivo-config" + call);
        auto run = runTool(c.args);
        EXPECT_EQ(run.status, c.status);
        if (*c.out) {
            EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        } else {
            EXPECT_EQ(run.out, "");
        }
        if (*c.err) {
            EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        } else {
            EXPECT_EQ(run.err, "");
        }
    }
}

TEST(DefaultConfigurationTest, CarriesEveryKeyAndThisVersion) {
    auto payload = readFile(defaultPayload);
    ASSERT_TRUE(payload);
    auto client = DynamicData::create(trustingSession(), {});
    ASSERT_TRUE(client->processConfigurationData(*payload, true));
    EXPECT_EQ(client->pageURL(), "https://web.whatsapp.com/");
    EXPECT_EQ(client->patches(), std::vector<TextPatch>{});
    EXPECT_NE(client->userAgent()->find("Mozilla/5.0"), std::string::npos);
}

// The stand-in configuration names "the server that serves it" as https://127.0.0.1:0; the server
// puts its own origin there, and only there.
TEST(RebaseOriginTest, RewritesTheSelfOriginAndNothingElse) {
    const auto standin = readFile(PARLIVO_BUILD_DIR "/config/standin.payload");
    ASSERT_TRUE(standin);
    auto root = open(*standin, EncryptionKey::key(), EncryptionKey::iv());
    ASSERT_TRUE(root);
    EXPECT_EQ((*root)["PageURL"].stringOr(), "https://127.0.0.1:0/");
    const std::pair<const char*, const char*> cases[] = {
        {"https://127.0.0.1:0", "https://127.0.0.1:4711"},
        {"https://127.0.0.1:0/index.html?startup=manual", "https://127.0.0.1:4711/index.html?startup=manual"},
        {"https://127.0.0.1:0?x", "https://127.0.0.1:4711?x"},
        {"https://127.0.0.1:0#top", "https://127.0.0.1:4711#top"},
        {"https://127.0.0.1:0123/", "https://127.0.0.1:0123/"},
        {"https://127.0.0.1:00/", "https://127.0.0.1:00/"},
        {"https://web.whatsapp.com/", "https://web.whatsapp.com/"},
    };
    for (const auto& [before, after] : cases) {
        SCOPED_TRACE(before);
        PropertyList variant = *root;
        variant.set("PageURL", before);
        auto rebased = rebaseOrigin(seal(variant, EncryptionKey::key(), EncryptionKey::iv()), selfOrigin,
                                    "https://127.0.0.1:4711");
        ASSERT_TRUE(rebased);
        auto opened = open(*rebased, EncryptionKey::key(), EncryptionKey::iv());
        ASSERT_TRUE(opened);
        EXPECT_EQ((*opened)["PageURL"].stringOr(), after);
        EXPECT_EQ((*opened)["UserAgent"], (*root)["UserAgent"]);
    }
    // Nothing to rewrite: the very same bytes; no payload: none.
    EXPECT_EQ(rebaseOrigin(*readFile(defaultPayload), selfOrigin, "https://127.0.0.1:1"), readFile(defaultPayload));
    EXPECT_FALSE(rebaseOrigin(Bytes{0x6e, 0x6f}, selfOrigin, "https://127.0.0.1:1"));
}

// The test road to the stand-in page, over plain HTTP here: where a new page starts, commands
// in order after a given one, polls that end when the server stops, records line by line.
TEST(PageChannelTest, CarriesCommandsAndRecords) {
    std::mutex recordsMutex;
    std::vector<std::string> records;
    PageChannel channel([&](std::string_view line) {
        std::lock_guard lock(recordsMutex);
        records.emplace_back(line);
    });
    httplib::Server server;
    channel.attach(server);
    const int port = server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port, 0);
    std::thread serving([&] { server.listen_after_bind(); });
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60);
    auto get = [&](const std::string& query) {
        auto answer = client.Get(("/__standin/commands?" + query).c_str());
        return answer ? answer->body : std::string("no answer");
    };

    EXPECT_EQ(get("after=-1"), R"({"last":0,"commands":[]})");
    // A waiting poll gets the command as soon as it is sent.
    std::string waited;
    std::thread poll([&] { waited = httplib::Client("127.0.0.1", port).Get("/__standin/commands?after=0&wait=30")->body; });
    EXPECT_EQ(channel.send(R"({"eval":"1"})"), 1);
    poll.join();
    EXPECT_EQ(waited, R"({"last":1,"commands":[{"seq":1,"command":{"eval":"1"}}]})");
    EXPECT_EQ(channel.send(R"({"post":"logHandler","body":"x"})"), 2);
    EXPECT_EQ(get("after=1&wait=0"), R"({"last":2,"commands":[{"seq":2,"command":{"post":"logHandler","body":"x"}}]})");
    EXPECT_EQ(get("after=2&wait=0"), R"({"last":2,"commands":[]})");
    EXPECT_EQ(get("after=-1"), R"({"last":2,"commands":[]})");

    auto posted = client.Post("/__standin/records", "{\"a\":1}\n\n{\"b\":2}\n{\"c\":3}", "text/plain");
    ASSERT_TRUE(posted);
    EXPECT_EQ(posted->status, 204);
    {
        std::lock_guard lock(recordsMutex);
        EXPECT_EQ(records, (std::vector<std::string>{R"({"a":1})", R"({"b":2})", R"({"c":3})"}));
    }

    // Stopping answers a poll that would otherwise wait its full time (whether it came before
    // or after).
    std::string last;
    std::thread stopping([&] { last = httplib::Client("127.0.0.1", port).Get("/__standin/commands?after=2&wait=30")->body; });
    channel.close();
    stopping.join();
    EXPECT_EQ(last, R"({"last":2,"commands":[]})");
    server.stop();
    serving.join();
}

TEST(AnswerTest, ParsesTheServersAnswerWords) {
    EXPECT_EQ(Answer::parse("payload")->kind, Answer::Kind::payload);
    EXPECT_EQ(Answer::parse("text:a,b:c")->text, "a,b:c");
    EXPECT_EQ(Answer::parse("slow:0.25")->seconds, 0.25);
    EXPECT_EQ(Answer::parse("wrong-key")->kind, Answer::Kind::wrongKey);
    for (const char* bad : {"", "slow:", "slow:x", "slow:-1", "text", "nonsense"}) EXPECT_FALSE(Answer::parse(bad)) << bad;
}

// The whole road: the built server, real TLS on loopback, the client's retry ladder.
class ServeTest : public ::testing::Test {
protected:
    void SetUp() override { platform::ProcessInfo::setArguments({"parlivo-for-whatsapp"}); }

    std::shared_ptr<DynamicData> clientFor(const ServeProcess& server, platform::URLSession& session = trustingSession()) {
        auto client = DynamicData::create(session, {server.host(), "localhost:" + std::to_string(server.port())});
        client->delegate = delegate;
        // The server is an instrumented program in the sanitizer pass: its answers take longer.
        client->timeout = 5 * testsupport::timeScale();
        client->setLogObserver([this](std::string_view line) {
            std::lock_guard lock(mutex);
            lines.emplace_back(line);
        });
        return client;
    }

    bool runUntilResult() {
        return testsupport::runLoopUntil([&] { return !delegate->results.empty(); }, 30);
    }

    size_t retries() {
        std::lock_guard lock(mutex);
        return size_t(std::count_if(lines.begin(), lines.end(), [](auto& l) { return l.rfind("Retrying: ", 0) == 0; }));
    }

    std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();
    std::mutex mutex;
    std::vector<std::string> lines;
};

TEST_F(ServeTest, StandinConfigurationNamesTheServersOwnOrigin) {
    ServeProcess server({"--payload", PARLIVO_BUILD_DIR "/config/standin.payload", "--static",
                         PARLIVO_FIXTURES_DIR "/standin/page", "--page-channel"});
    ASSERT_GT(server.port(), 0);
    auto client = clientFor(server);
    client->startDownload();
    ASSERT_TRUE(runUntilResult());
    ASSERT_EQ(delegate->results, std::vector<bool>{true});
    EXPECT_EQ(client->pageURL(), "https://" + server.host() + "/");
    EXPECT_EQ(client->baseURL(), "https://" + server.host() + "/");
}

TEST_F(ServeTest, VerifiedDownloadOverTLS) {
    ServeProcess server({"--payload", defaultPayload.string()});
    ASSERT_GT(server.port(), 0);
    auto client = clientFor(server);
    client->startDownload();
    ASSERT_TRUE(runUntilResult());
    EXPECT_EQ(delegate->results, std::vector<bool>{true});
    EXPECT_EQ(client->cachedData, readFile(defaultPayload));
    EXPECT_EQ(client->pageURL(), "https://web.whatsapp.com/");
    EXPECT_EQ(retries(), 0u);
    EXPECT_EQ(server.stop(), 0);  // SIGTERM ends it cleanly
}

TEST_F(ServeTest, APortInUseIsRefused) {
    // Sharing the port would let a stale server answer some of the program's requests.
    ServeProcess first({"--payload", defaultPayload.string()});
    ASSERT_GT(first.port(), 0);
    ServeProcess second({"--payload", defaultPayload.string(), "--port", std::to_string(first.port())});
    EXPECT_EQ(second.port(), 0);
    EXPECT_EQ(second.stop(), 1);
}

TEST_F(ServeTest, SecondServerAndAlternatePath) {
    std::string error;
    auto alternate = packManifest(writeManifest(), &error);
    ASSERT_TRUE(alternate) << error;
    writeFile(tempDir() / "alternate.payload", *alternate);
    ServeProcess server({"--payload", defaultPayload.string(), "--alternate-payload",
                         (tempDir() / "alternate.payload").string()});
    platform::ProcessInfo::setArguments({"p", "-server2", "-alternate"});
    auto client = clientFor(server);
    client->startDownload();
    ASSERT_TRUE(runUntilResult());
    platform::ProcessInfo::setArguments({"p"});
    EXPECT_EQ(delegate->results, std::vector<bool>{true});
    EXPECT_EQ(client->userAgent(), "Agent/2");
}

TEST_F(ServeTest, FailuresEndInTheirCodesAfterThreeAttempts) {
    struct Case {
        std::vector<std::string> serverOptions;
        std::string code;
        long urlErrorCode;  // 0: no error object expected to be in the URL domain
        double timeout;     // as on an idle machine; scaled, except where the time-out is the point
    } cases[] = {
        {{"--answers", "text:<b>maintenance</b>"}, "Error DD02: <b>maintenance</b>", 0, 5},
        {{"--answers", "empty"}, "Error DD02: ", 0, 5},
        {{"--answers", "wrong-key"}, "Error DD11", 0, 5},
        {{"--answers", "drop"}, "Error DD01", platform::URLErrorCode::networkConnectionLost, 5},
        // The answer comes long after the time-out, however busy the machine.
        {{"--answers", "slow:" + std::to_string(int(5 * testsupport::timeScale()))}, "Error DD01",
         platform::URLErrorCode::timedOut, 0.2},
        // A server with no configuration for this version answers with a 404 page: a text answer.
        {{"--version", "0.0.0-other"}, "Error DD02: No configuration for this version", 0, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serverOptions.back());
        delegate->results.clear();
        lines.clear();
        std::vector<std::string> options{"--payload", defaultPayload.string()};
        options.insert(options.end(), c.serverOptions.begin(), c.serverOptions.end());
        ServeProcess server(options);
        auto client = clientFor(server);
        client->timeout = c.urlErrorCode == platform::URLErrorCode::timedOut ? c.timeout : c.timeout * testsupport::timeScale();
        client->startDownload();
        ASSERT_TRUE(runUntilResult());
        EXPECT_EQ(delegate->results, std::vector<bool>{false});
        EXPECT_EQ(client->errorDescription, c.code);
        EXPECT_EQ(retries(), 2u);
        EXPECT_EQ(client->retryCount, 0);
        if (c.urlErrorCode) {
            ASSERT_TRUE(client->error);
            EXPECT_EQ(client->error->domain, platform::URLErrorDomain);
            EXPECT_EQ(client->error->code, c.urlErrorCode);
        }
    }
}

// What a server sends is bounded: a message is kept only up to its first kilobyte (cut between
// characters, never inside one), and an answer larger than any payload is not taken in at all.
TEST_F(ServeTest, AServersMessageAndAnswerAreBounded) {
    const std::string message = std::string(1023, 'a') + "\u00e9" + std::string(5000, 'b');
    {
        ServeProcess server({"--payload", defaultPayload.string(), "--answers", "text:" + message});
        auto client = clientFor(server);
        client->startDownload();
        ASSERT_TRUE(runUntilResult());
        EXPECT_EQ(client->errorDescription, "Error DD02: " + std::string(1023, 'a'));
    }
    delegate->results.clear();
    const auto huge = tempDir() / "huge.payload";
    writeFile(huge, Bytes(DynamicData::maximumPayloadSize + 1, 0xff));
    ServeProcess server({"--payload", huge.string()});
    auto client = clientFor(server);
    // 32 MiB over TLS from an instrumented server on a busy machine: a bound, not a pace.
    client->timeout = 60 * testsupport::timeScale();
    client->startDownload();
    ASSERT_TRUE(runUntilResult());
    EXPECT_EQ(delegate->results, std::vector<bool>{false});
    EXPECT_EQ(client->errorDescription, "Error DD01");
    ASSERT_TRUE(client->error);
    EXPECT_EQ(client->error->code, platform::URLErrorCode::networkConnectionLost);
    std::filesystem::remove(huge);
}

TEST_F(ServeTest, SuccessOnTheSecondAttemptKeepsTheCount) {
    ServeProcess server({"--payload", defaultPayload.string(), "--answers", "drop,payload"});
    auto client = clientFor(server);
    client->startDownload();
    ASSERT_TRUE(runUntilResult());
    EXPECT_EQ(delegate->results, std::vector<bool>{true});
    EXPECT_EQ(client->retryCount, 1);
    EXPECT_EQ(retries(), 1u);
}

TEST_F(ServeTest, UntrustedCertificateIsASecureConnectionFailure) {
    ServeProcess server({"--payload", defaultPayload.string()});
    platform::URLSession systemStoreOnly({"", "system-store"});
    auto client = clientFor(server, systemStoreOnly);
    client->startDownload();
    ASSERT_TRUE(runUntilResult());
    EXPECT_EQ(delegate->results, std::vector<bool>{false});
    EXPECT_EQ(client->errorDescription, "Error DD01");
    ASSERT_TRUE(client->error);
    EXPECT_EQ(client->error->code, platform::URLErrorCode::secureConnectionFailed);
}
