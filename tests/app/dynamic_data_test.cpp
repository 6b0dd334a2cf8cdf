#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>

#include "ClosedPort.h"
#include "PayloadFixture.h"
#include "RunLoop.h"
#include "config/DynamicData.h"
#include "foundation/MainQueue.h"
#include "foundation/KeyedArchive.h"
#include "foundation/ProcessInfo.h"
#include "system/URLSession.h"

using namespace parlivo;
using namespace payloadfixture;

namespace {

platform::URLSession& testSession() {
    static platform::URLSession session({PARLIVO_BUILD_DIR "/config-tls/ca.pem", "test"});
    return session;
}

// A port nothing listens on, held for the whole test program: every request to it fails at once
// with "cannot connect".
const testsupport::ClosedPort& closedPort() {
    static const testsupport::ClosedPort port;
    return port;
}
DynamicData::Servers closedServers() {
    return {closedPort().host(), "localhost:" + std::to_string(closedPort().port())};
}

struct RecordingDelegate : DynamicDataDelegate {
    std::vector<bool> results;
    void handleConfigurationResult(bool success) override { results.push_back(success); }
};

class DynamicDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::ProcessInfo::setArguments({"parlivo-for-whatsapp"});
        data = DynamicData::create(testSession(), closedServers());
        data->timeout = 5;
        data->setLogObserver([this](std::string_view line) {
            std::lock_guard lock(logMutex);
            logLines.emplace_back(line);
        });
        delegate = std::make_shared<RecordingDelegate>();
        data->delegate = delegate;
    }

    std::vector<std::string> logs() {
        std::lock_guard lock(logMutex);
        return logLines;
    }
    size_t countLog(std::string_view line) {
        auto all = logs();
        return size_t(std::count(all.begin(), all.end(), std::string(line)));
    }
    // Runs the loop past every completion already on the session's queue and the main-queue work
    // it hands on.
    static bool settle() {
        bool settled = false;
        testSession().delegateQueue().async([&] { platform::MainQueue::async([&] { settled = true; }); });
        return testsupport::runLoopUntil([&] { return settled; });
    }

    std::shared_ptr<DynamicData> data;
    std::shared_ptr<RecordingDelegate> delegate;
    std::mutex logMutex;
    std::vector<std::string> logLines;
};

PropertyList without(PropertyList root, const char* key) {
    root.remove(key);
    return root;
}

PropertyList with(PropertyList root, const char* key, PropertyList value) {
    root.set(key, std::move(value));
    return root;
}

}  // namespace

TEST(EncryptionKeyTest, DerivesSixteenCharactersFromOffsetThreeOfTheBase64Digest) {
    // SHA-256("abc") = ba7816bf...; Base64 of that hex text is "YmE3ODE2YmY4ZjAxY2Zl..."
    EXPECT_EQ(deriveKeyMaterial("abc"), "3ODE2YmY4ZjAxY2Z");
    EXPECT_EQ(EncryptionKey::key().size(), 16u);
    EXPECT_EQ(EncryptionKey::iv().size(), 16u);
    EXPECT_NE(EncryptionKey::key(), EncryptionKey::iv());
}

TEST_F(DynamicDataTest, EveryPayloadFaultEndsInItsCode) {
    Bytes notZstd = encrypt(bytesOf("these bytes are not a zstd frame at all"));
    Bytes empty = encrypt({});
    Bytes notPlist = sealBytes(bytesOf("neither XML nor a binary property list"));
    Bytes array = seal(PropertyList::array());
    std::mt19937 rng(7);
    Bytes random(4096);
    for (auto& b : random) b = uint8_t(rng());
    Bytes truncated = seal(validRoot());
    truncated.resize(truncated.size() - 5);
    Bytes wrongKey = encrypt(*platform::Compression::compress(validRoot().toBinary()), deriveKeyMaterial("other"),
                             deriveKeyMaterial("seeds"));
    // 33 MB of zeros compress to a few KB: past the cap it must fail, not allocate.
    Bytes bomb = encrypt(*platform::Compression::compress(Bytes(33 << 20, 0), 1));

    struct Case {
        const char* name;
        Bytes payload;
        const char* code;
    } cases[] = {
        {"random bytes", random, "Error DD11"},
        {"truncated", truncated, "Error DD11"},
        {"wrong key", wrongKey, "Error DD11"},
        {"empty plaintext", empty, "Error DD12"},
        {"not zstd", notZstd, "Error DD13"},
        {"decompression bomb", bomb, "Error DD13"},
        {"root is an array", array, "Error DD14"},
        {"not a property list", notPlist, "Error DD15"},
        {"ProductId as text", seal(with(validRoot(), "ProductId", "3200")), "Error DD16"},
        {"ProductId other", seal(with(validRoot(), "ProductId", 3201)), "Error DD16"},
        {"ProductId missing", seal(without(validRoot(), "ProductId")), "Error DD16"},
        {"Version other", seal(with(validRoot(), "Version", "0.0.1")), "Error DD17"},
        {"Version as number", seal(with(validRoot(), "Version", 1)), "Error DD17"},
        {"UserAgent missing", seal(without(validRoot(), "UserAgent")), "Error DD99"},
        {"InjectJsStart missing", seal(without(validRoot(), "InjectJsStart")), "Error DD99"},
        {"InjectJsEnd as text", seal(with(validRoot(), "InjectJsEnd", "end();")), "Error DD99"},
        {"CouldNotConnect missing", seal(without(validRoot(), "CouldNotConnect")), "Error DD99"},
        {"script not UTF-8", seal(with(validRoot(), "InjectJsStart", PropertyList::data("\xff\xfe"))), "Error DD99"},
        {"Send missing", seal(without(validRoot(), "Send")), "Error DD99"},
        {"MovieExportPresets of numbers", seal(with(validRoot(), "MovieExportPresets", PropertyList::Array{1, 2})),
         "Error DD99"},
        {"FAQURL not a URL", seal(with(validRoot(), "FAQURL", "not a url")), "Error DD99"},
        {"PageURL not a URL", seal(with(validRoot(), "PageURL", "::")), "Error DD99"},
        {"Patches not an archive", seal(with(validRoot(), "Patches", PropertyList::data("junk"))), "Error DD99"},
        {"Patches of another class",
         seal(with(validRoot(), "Patches",
                   PropertyList(platform::KeyedArchive::write(platform::KeyedArchive::Object::makeArray(
                       {platform::KeyedArchive::Object::makeRecord("Evil", {})}))))),
         "Error DD99"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        data->errorDescription.reset();
        EXPECT_FALSE(data->processConfigurationData(c.payload, false));
        EXPECT_EQ(data->errorDescription, c.code);
        EXPECT_FALSE(data->processConfigurationData(c.payload, true));
        EXPECT_FALSE(data->dataLoaded());
    }
}

TEST_F(DynamicDataTest, ErrorObjectFollowsTheFailingStep) {
    const platform::Error earlier{"Earlier", 5, "kept"};
    data->error = earlier;
    EXPECT_FALSE(data->processConfigurationData(seal(with(validRoot(), "Version", "9")), false));
    EXPECT_EQ(data->error, earlier);  // validation leaves it as it was

    EXPECT_FALSE(data->processConfigurationData(bytesOf("0123456789abcde"), false));
    ASSERT_TRUE(data->error);
    EXPECT_EQ(data->error->domain, platform::CryptoErrorDomain);

    EXPECT_FALSE(data->processConfigurationData(encrypt({}), false));
    EXPECT_FALSE(data->error);  // "no bytes" has no error object

    EXPECT_FALSE(data->processConfigurationData(sealBytes(bytesOf("<plist><dict>")), false));
    EXPECT_TRUE(data->error);
}

TEST_F(DynamicDataTest, VerificationStoresNothingAndLoadingStoresEveryValue) {
    const Bytes payload = seal(validRoot("42"));
    EXPECT_TRUE(data->processConfigurationData(payload, false));
    EXPECT_EQ(data->version(), "0");
    EXPECT_FALSE(data->dataLoaded());
    EXPECT_EQ(data->userAgent(), std::nullopt);  // no cachedData: nothing to load from

    EXPECT_TRUE(data->processConfigurationData(payload, true));
    EXPECT_TRUE(data->dataLoaded());
    EXPECT_EQ(data->version(), "42");
    EXPECT_EQ(data->userAgent(), "TestAgent/1.0");
    EXPECT_EQ(data->couldNotConnect(), "<html>offline</html>");
    EXPECT_EQ(data->messageSendingFromNotification(), true);
    EXPECT_EQ(data->draggingOverlay(), false);
    EXPECT_EQ(data->customPageLoading(), true);
    EXPECT_EQ(data->pageURL(), "https://web.example.org/");
    EXPECT_EQ(data->baseURL(), "https://web.example.org/base/");
    EXPECT_EQ(data->movieFileMode(), MovieFileMode::avFoundation);
    EXPECT_EQ(data->movieMaximumFileSize(), 16000000);
    EXPECT_EQ(data->movieTargetFileSize(), 15000000);
    EXPECT_EQ(data->movieMaximumLength(), 180);
    EXPECT_EQ(data->movieExportPresets(),
              (std::vector<std::string>{"AVAssetExportPreset960x540", "AVAssetExportPresetLowQuality"}));
    EXPECT_EQ(data->movieRecordPreset(), "AVCaptureSessionPreset1280x720");
    EXPECT_EQ(data->injectJQuery(), true);
    EXPECT_EQ(data->FAQ(), "https://support.example.org/faq");
    EXPECT_EQ(data->enableSend(), true);
    auto patches = data->patches();
    ASSERT_TRUE(patches);
    ASSERT_EQ(patches->size(), 2u);
    EXPECT_EQ((*patches)[0], TextPatch::make("1", "app", "foo", "bar"));
    EXPECT_EQ((*patches)[1].namePrefix(), "");
    const auto order = logs();
    const std::vector<std::string> expected{"Decrypting",          "Decryption Successful", "Decompressing",
                                            "Deserialization Successful", "Validation Successful", "Load Values: 42"};
    ASSERT_GE(order.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), order.end() - expected.size()));
}

TEST_F(DynamicDataTest, LargeScriptsLoad) {
    // Past 64 KB the binary property list uses wider offsets; real scripts are that large.
    PropertyList root = validRoot();
    root.set("InjectJsStart", PropertyList::data(std::string(700 * 1024, 'x')));
    ASSERT_TRUE(data->processConfigurationData(seal(root), true)) << data->errorDescription.value_or("");
    EXPECT_EQ(data->injectionScriptStart()->size(), 700u * 1024);
}

TEST_F(DynamicDataTest, OptionalKeysFallBack) {
    PropertyList root = without(validRoot(), "DynamicDataVersion");
    root.set("DisableZoom", "yes");
    root.set("InjectJQuery", "yes");
    root.set("MovieFileMode", 3);
    root.set("Unknown", PropertyList::Array{1});
    ASSERT_TRUE(data->processConfigurationData(seal(root), true));
    EXPECT_EQ(data->version(), "-1");
    EXPECT_EQ(data->injectJQuery(), false);
    EXPECT_EQ(data->movieFileMode(), std::nullopt);
    EXPECT_EQ(movieFileModeFromRawValue(-1), std::nullopt);
    EXPECT_EQ(movieFileModeFromRawValue(0), MovieFileMode::raw);
}

TEST_F(DynamicDataTest, GettersLoadLazilyAndScriptsAreOneShot) {
    data->cachedData = seal(validRoot("5"));
    EXPECT_EQ(data->version(), "0");  // version never loads by itself
    EXPECT_EQ(data->injectionScriptStart(), "start();");
    EXPECT_EQ(countLog("Load Values: 5"), 1u);
    EXPECT_EQ(data->version(), "5");
    EXPECT_EQ(data->userAgent(), "TestAgent/1.0");  // loaded already: no new run
    EXPECT_EQ(countLog("Load Values: 5"), 1u);
    EXPECT_EQ(data->injectionScriptStart(), "start();");  // taken: loads everything again
    EXPECT_EQ(countLog("Load Values: 5"), 2u);
    EXPECT_EQ(data->injectionScriptEnd(), "end();");

    data->resetValues();
    EXPECT_EQ(data->version(), "0");
    EXPECT_FALSE(data->dataLoaded());
    EXPECT_EQ(data->enableSend(), true);
    EXPECT_EQ(data->version(), "5");
}

TEST_F(DynamicDataTest, ServerSelectionFollowsTheLaunchArguments) {
    auto client = DynamicData::create(testSession(), {"one.example", "two.example:8443"});
    const std::string version = tovak::WQApplicationInfo::bundleVersionString();
    struct Case {
        std::vector<std::string> arguments;
        std::string url;
    } cases[] = {
        {{"p"}, "https://one.example/ParlivoForWhatsApp/" + version + "/Data/GetDynamicData.php"},
        {{"p", "-alternate"}, "https://one.example/ParlivoForWhatsApp/" + version + "/Data/GetDynamicDataAlternate.php"},
        {{"p", "-server2"}, "https://two.example:8443/ParlivoForWhatsApp/" + version + "/Data/GetDynamicData.php"},
        {{"p", "-server2", "-alternate"},
         "https://two.example:8443/ParlivoForWhatsApp/" + version + "/Data/GetDynamicDataAlternate.php"},
        {{"p", "-server2x", "alternate"}, "https://one.example/ParlivoForWhatsApp/" + version + "/Data/GetDynamicData.php"},
    };
    for (const auto& c : cases) {
        platform::ProcessInfo::setArguments(c.arguments);
        EXPECT_EQ(client->configurationURL(), c.url);
    }
    platform::ProcessInfo::setArguments({"p"});
}

TEST_F(DynamicDataTest, ResponsesEndInTheirCodes) {
    const platform::Error offline{platform::URLErrorDomain, platform::URLErrorCode::notConnectedToInternet, "offline"};
    Bytes failing = seal(with(validRoot(), "Version", "0.0"));
    struct Case {
        const char* name;
        std::optional<Bytes> body;
        std::optional<platform::Error> transportError;
        std::string code;
        std::optional<platform::Error> error;
    } cases[] = {
        {"transport error", std::nullopt, offline, "Error DD01", offline},
        {"text body", bytesOf("<html>Service down</html>"), std::nullopt, "Error DD02: <html>Service down</html>",
         std::nullopt},
        {"empty body", Bytes{}, std::nullopt, "Error DD02: ", std::nullopt},
        {"failing payload", failing, std::nullopt, "Error DD17", std::nullopt},
        {"neither", std::nullopt, std::nullopt, "Error DD04", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        data->resetValues();
        data->retryCount = 2;  // the last attempt of a ladder: the delegate hears the result
        delegate->results.clear();
        data->handleConfigurationResponse(c.body, c.transportError);
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return !delegate->results.empty(); }));
        EXPECT_EQ(delegate->results, std::vector<bool>{false});
        EXPECT_EQ(data->errorDescription, c.code);
        EXPECT_EQ(data->error, c.error);
        EXPECT_EQ(data->retryCount, 0);
        EXPECT_FALSE(data->cachedData);
    }
}

TEST_F(DynamicDataTest, ThreeFailedAttemptsTellTheDelegateOnce) {
    data->startDownload();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !delegate->results.empty(); }, 20));
    ASSERT_TRUE(settle());
    EXPECT_EQ(delegate->results, std::vector<bool>{false});
    EXPECT_EQ(data->retryCount, 0);
    EXPECT_EQ(countLog("Retrying: 1 of 3"), 1u);
    EXPECT_EQ(countLog("Retrying: 2 of 3"), 1u);
    EXPECT_EQ(countLog("Retrying: 3 of 3"), 0u);
    EXPECT_EQ(countLog("Downloading Data from https://" + closedPort().host() + "/ParlivoForWhatsApp/" +
                       tovak::WQApplicationInfo::bundleVersionString() + "/Data/GetDynamicData.php"),
              3u);
    EXPECT_EQ(data->errorDescription, "Error DD01");
    ASSERT_TRUE(data->error);
    EXPECT_EQ(data->error->domain, platform::URLErrorDomain);
    EXPECT_EQ(data->error->code, platform::URLErrorCode::cannotConnectToHost);
}

TEST_F(DynamicDataTest, ANewDownloadDropsTheLateAnswerOfTheOneInFlight) {
    // A reload while the first request runs: only the new cycle's answers count, so the ladder
    // makes its three attempts once and the delegate hears one result.
    data->startDownload();
    data->startDownload();
    // Every request has come back once the replaced one's answer is dropped and the new cycle's
    // ladder has ended; then nothing is left to arrive.
    ASSERT_TRUE(testsupport::runLoopUntil(
        [&] {
            return !delegate->results.empty() &&
                   countLog("Dropped the answer of a download that a newer one replaced") >= 1;
        },
        20));
    ASSERT_TRUE(settle());
    EXPECT_EQ(delegate->results, std::vector<bool>{false});
    EXPECT_EQ(countLog("Dropped the answer of a download that a newer one replaced"), 1u);
    EXPECT_EQ(countLog("Retrying: 1 of 3"), 1u);
    EXPECT_EQ(countLog("Retrying: 2 of 3"), 1u);
    EXPECT_EQ(data->retryCount, 0);

    // A late success is dropped too: the bytes of the replaced cycle never become the cache.
    delegate->results.clear();
    const uint64_t replaced = data->currentCycle();
    data->handleConfigurationResponse(seal(validRoot()), std::nullopt);
    data->startDownload();
    EXPECT_NE(data->currentCycle(), replaced);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !delegate->results.empty(); }, 20));
    EXPECT_EQ(delegate->results, std::vector<bool>{false});
    EXPECT_FALSE(data->cachedData);
}

TEST_F(DynamicDataTest, FinalFailureWithoutDelegateStillResetsTheCount) {
    data->delegate.reset();
    data->retryCount = 2;
    data->finishDownload(false);
    EXPECT_EQ(data->retryCount, 0);
}

TEST_F(DynamicDataTest, NewVerifiedDownloadDropsValuesOfTheOldBytes) {
    data->cachedData = seal(validRoot("1", "OldAgent"));
    EXPECT_EQ(data->userAgent(), "OldAgent");
    data->retryCount = 1;
    data->handleConfigurationResponse(seal(validRoot("2", "NewAgent")), std::nullopt);
    // Fields are written on the main queue only, never on the session's thread.
    EXPECT_EQ(data->version(), "1");
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !delegate->results.empty(); }));
    EXPECT_EQ(delegate->results, std::vector<bool>{true});
    EXPECT_EQ(data->retryCount, 1);  // success keeps the count
    EXPECT_EQ(data->version(), "0");
    EXPECT_EQ(data->userAgent(), "NewAgent");
    EXPECT_EQ(data->version(), "2");
}

TEST_F(DynamicDataTest, FailedDownloadKeepsTheLastVerifiedBytes) {
    const Bytes verified = seal(validRoot("1"));
    data->cachedData = verified;
    data->retryCount = 2;
    data->handleConfigurationResponse(seal(with(validRoot(), "ProductId", 1)), std::nullopt);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !delegate->results.empty(); }));
    EXPECT_EQ(data->errorDescription, "Error DD16");
    EXPECT_EQ(data->cachedData, verified);
}

TEST(UTF8TextTest, AgreesWithTheStandard) {
    struct Case {
        std::string bytes;
        bool text;
    } cases[] = {
        {"", true},
        {"plain", true},
        {std::string("nul\0inside", 10), true},  // the platform's decoder takes NUL as a character
        {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", true},
        {"\xc0\x80", false},          // overlong
        {"\xe0\x80\xaf", false},      // overlong
        {"\xed\xa0\x80", false},      // surrogate
        {"\xf4\x90\x80\x80", false},  // past U+10FFFF
        {"\xe2\x82", false},          // cut short
        {"\x80", false},
        {std::string(1000, 'a') + "\xff" + std::string(7, 'b'), false},
    };
    for (const auto& c : cases) EXPECT_EQ(isUTF8Text(bytesOf(c.bytes)), c.text) << c.bytes;

    // Against GLib's validator on random, mostly-valid byte strings without NUL.
    std::mt19937 rng(11);
    const std::vector<std::string> pieces{"a", "Z", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\x80", "\xc3",
                                          "\xed\xa0\x80", "\xf5", "\xe0\xa0", "0123456789abcdef"};
    for (int i = 0; i < 5000; ++i) {
        std::string s;
        for (int n = int(rng() % 12); n > 0; --n) s += pieces[rng() % pieces.size()];
        EXPECT_EQ(isUTF8Text(bytesOf(s)), bool(g_utf8_validate_len(s.data(), s.size(), nullptr))) << s;
    }
}

// An installed program reads the payload installed with it through the same client: a file: URL,
// no request body, the same verification and the same error codes.
TEST_F(DynamicDataTest, BundledPayloadIsReadFromItsFileWithTheSameChecks) {
    const std::filesystem::path folder = std::filesystem::path(g_get_tmp_dir()) / "bundled-payload";
    std::filesystem::create_directories(folder);
    auto write = [&](const char* name, const Bytes& bytes) {
        std::ofstream(folder / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                             std::streamsize(bytes.size()));
    };
    write("good.payload", seal(validRoot("9", "BundledAgent")));
    write("text.payload", bytesOf("not a payload"));
    struct Case {
        const char* file;
        bool success;
        std::optional<std::string> code;
        std::optional<long> errorCode;
    } cases[] = {
        {"good.payload", true, std::nullopt, std::nullopt},
        {"text.payload", false, "Error DD02: not a payload", std::nullopt},
        {"missing.payload", false, "Error DD01", platform::URLErrorCode::fileDoesNotExist},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        gchar* uri = g_filename_to_uri((folder / c.file).c_str(), nullptr, nullptr);
        auto bundled = DynamicData::create(testSession(), {closedPort().host(), closedPort().host(), uri});
        g_free(uri);
        bundled->timeout = 5;
        auto results = std::make_shared<RecordingDelegate>();
        bundled->delegate = results;
        bundled->startDownload();
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return !results->results.empty(); }, 20));
        EXPECT_EQ(results->results, std::vector<bool>{c.success});
        EXPECT_EQ(bundled->errorDescription, c.code);
        EXPECT_EQ(bundled->error ? std::optional<long>(bundled->error->code) : std::nullopt, c.errorCode);
        if (c.success) {
            EXPECT_EQ(bundled->userAgent(), "BundledAgent");
        }
    }
    // A configuration URL from the servers is never a file: only the bundled source reads files.
    EXPECT_EQ(data->configurationURL().rfind("https://", 0), 0u);
}
