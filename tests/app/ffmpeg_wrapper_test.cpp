// The ffmpeg bridge: the page's argument lists are held to the allowlist (a table of hostile
// requests, refused before anything runs), real runs convert and answer on the main thread,
// hostile inputs read nothing else, the time limit and the output cap end runaway runs, a
// failed input write is a failure, and the page's audio is fetched only over http(s) with the
// status and size checked, always ending in one answer.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <memory>

#include "LoopbackHTTPServer.h"
#include "MediaFixtures.h"
#include "RunLoop.h"
#include "foundation/MainQueue.h"
#include "media/FFmpegArgumentPolicy.h"
#include "media/FFmpegWrapper.h"
#include "system/URLSession.h"

using namespace mediafixtures;
using parlivo::FFmpegArgumentPolicy;
using parlivo::FFmpegWrapper;
using platform::PropertyList;

namespace {

PropertyList::Array list(std::initializer_list<const char*> words) {
    PropertyList::Array array;
    for (const char* word : words) array.emplace_back(std::string(word));
    return array;
}

struct Answer {
    int calls = 0;
    bool onMainThread = true;
    std::optional<FFmpegWrapper::Bytes> bytes;
};

FFmpegWrapper::DataCompletion recordInto(const std::shared_ptr<Answer>& answer) {
    return [answer](std::optional<FFmpegWrapper::Bytes> bytes) {
        ++answer->calls;
        answer->onMainThread = answer->onMainThread && platform::MainQueue::isMainThread();
        answer->bytes = std::move(bytes);
    };
}

bool waitFor(const std::shared_ptr<Answer>& answer, double seconds = 60) {
    return testsupport::runLoopUntil([&] { return answer->calls > 0; }, seconds);
}

// Proves that nothing more is queued for the main thread before it: what was due has run.
void drainMainQueue() {
    bool marker = false;
    platform::MainQueue::async([&] { marker = true; });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return marker; }));
}

// A stand-in for ffmpeg that only leaves a mark that it ran.
fs::path fakeFFmpeg(const std::string& name, const std::string& body) {
    const fs::path script = workDir("ffmpeg-fakes") / name;
    writeFile(script, "#!/bin/sh\n" + body + "\n");
    fs::permissions(script, fs::perms::owner_all);
    return script;
}

}  // namespace

class FFmpegWrapperTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        makeWithFFmpeg(tone(), {"-f", "lavfi", "-i", "sine=frequency=440:duration=1"});
        makeWithFFmpeg(aac(), {"-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-c:a", "aac", "-f", "adts"});
        makeWithFFmpeg(movie(), {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=10", "-f", "lavfi", "-i", "sine",
                                 "-t", "1", "-c:v", "libx264", "-c:a", "aac"});
        // A real recording, so that a run that reached it would succeed.
        makeWithFFmpeg(secret(), {"-f", "lavfi", "-i", "sine=frequency=1000:duration=1"});
    }
    static fs::path tone() { return workDir("ffmpeg-wrapper") / "tone.wav"; }
    static fs::path aac() { return workDir("ffmpeg-wrapper") / "tone.aac"; }
    static fs::path movie() { return workDir("ffmpeg-wrapper") / "clip.mov"; }
    static fs::path secret() { return workDir("ffmpeg-wrapper") / "secret.mp3"; }
    static fs::path marker() { return workDir("ffmpeg-fakes") / "ran"; }

    static std::shared_ptr<FFmpegWrapper> markingWrapper() {
        fs::remove(marker());
        FFmpegWrapper::Configuration configuration;
        configuration.executable = fakeFFmpeg("marking-ffmpeg", "echo ran > '" + marker().string() + "'");
        return FFmpegWrapper::create(configuration);
    }

    static std::optional<FFmpegWrapper::Bytes> run(const std::shared_ptr<FFmpegWrapper>& wrapper,
                                                   const FFmpegWrapper::Bytes& input, const std::string& inType,
                                                   const std::string& outType, PropertyList::Array parameters) {
        auto answer = std::make_shared<Answer>();
        wrapper->runFFmpeg(input, inType, outType, std::move(parameters), recordInto(answer));
        EXPECT_TRUE(waitFor(answer));
        EXPECT_EQ(answer->calls, 1);
        EXPECT_TRUE(answer->onMainThread);
        return answer->bytes;
    }
};

TEST_F(FFmpegWrapperTest, ThePagesListBecomesAConfinedCommandLine) {
    const fs::path in = "/work/in.ogg", out = "/work/out.mp3";
    PropertyList::Array parameters = list({"-i", "%i", "-vn", "-c:a", "libmp3lame", "-b:a", "64k", "%o"});
    // Elements that are not strings are left out.
    parameters.insert(parameters.begin() + 2, PropertyList(std::int64_t{7}));
    parameters.insert(parameters.begin() + 4, PropertyList::dictionary());
    std::string why;
    const auto arguments = FFmpegArgumentPolicy::arguments(parameters, in, out, 1000, &why);
    ASSERT_TRUE(arguments) << why;
    const std::vector<std::string> expected{
        "-nostdin", "-hide_banner", "-loglevel", "error", "-max_alloc", "268435456", "-protocol_whitelist", "file",
        "-format_whitelist",
        FFmpegArgumentPolicy::inputFormatWhitelist(), "-i", "file:/work/in.ogg", "-vn", "-c:a", "libmp3lame",
        "-b:a", "64k", "-fs", "1000", "-y", "file:/work/out.mp3"};
    EXPECT_EQ(*arguments, expected);

    // Options before the input are input options; allowed filters and durations pass.
    const auto trimmed = FFmpegArgumentPolicy::arguments(
        list({"-ss", "00:00:01.5", "-i", "%i", "-af", "volume=0.5,aresample=48000", "-t", "30", "-map", "0:a:0?",
              "-strict", "-2", "%o"}),
        in, out, 1000, &why);
    ASSERT_TRUE(trimmed) << why;
    EXPECT_EQ(std::vector<std::string>(trimmed->begin() + 10, trimmed->begin() + 14),
              (std::vector<std::string>{"-ss", "00:00:01.5", "-i", "file:/work/in.ogg"}));
}

TEST_F(FFmpegWrapperTest, HostileListsAreRefused) {
    const std::vector<PropertyList::Array> hostile{
        {},
        list({"-i", "%i"}),
        list({"%o"}),
        list({"%o", "-i", "%i"}),
        list({"-i", "%i", "%i", "%o"}),
        // other files and addresses
        list({"-i", "/etc/passwd", "%o"}),
        list({"-i", "%i", "-i", "http://127.0.0.1/a.mp3", "%o"}),
        list({"-i", "%i", "/tmp/elsewhere.mp3"}),
        list({"-i", "%i", "%o", "/tmp/second.mp3"}),
        list({"-i", "%i", "%o", "%o"}),
        list({"-i", "%i", "-c:a", "copy", "file:/tmp/out.mp3"}),
        list({"-i", "%ifoo", "%o"}),
        list({"-protocol_whitelist", "file,http,tcp", "-i", "%i", "%o"}),
        list({"-i", "%i", "-progress", "http://127.0.0.1:1/", "%o"}),
        list({"-i", "%i", "-vstats_file", "/tmp/stats", "%o"}),
        list({"-i", "%i", "-passlogfile", "/tmp/pass", "%o"}),
        list({"-i", "%i", "-attach", "/etc/passwd", "%o"}),
        list({"-dump_attachment:t", "/tmp/x", "-i", "%i", "%o"}),
        list({"-i", "%i", "-metadata", "title=x", "%o"}),
        list({"-i", "%i", "-map", "1:a", "%o"}),
        // devices, generators and lists of files as input formats; muxers that write elsewhere
        list({"-f", "lavfi", "-i", "%i", "%o"}),
        list({"-f", "concat", "-safe", "0", "-i", "%i", "%o"}),
        list({"-f", "v4l2", "-i", "%i", "%o"}),
        list({"-f", "alsa", "-i", "%i", "%o"}),
        list({"-f", "x11grab", "-i", "%i", "%o"}),
        list({"-f", "hls", "-i", "%i", "%o"}),
        list({"-i", "%i", "-f", "tee", "%o"}),
        list({"-i", "%i", "-f", "segment", "%o"}),
        list({"-i", "%i", "-f", "hls", "%o"}),
        // filters that read files or never end
        list({"-i", "%i", "-af", "amovie=/etc/passwd", "%o"}),
        list({"-i", "%i", "-vf", "movie=/etc/passwd", "%o"}),
        list({"-i", "%i", "-vf", "subtitles=/etc/passwd", "%o"}),
        list({"-i", "%i", "-vf", "drawtext=textfile=/etc/passwd", "%o"}),
        list({"-i", "%i", "-vf", "scale=100:100,movie=x.mp4", "%o"}),
        list({"-i", "%i", "-af", "volume=1[a];[a]amovie=x", "%o"}),
        list({"-i", "%i", "-af", "volume='1'", "%o"}),
        list({"-i", "%i", "-af", "volume=1\\,amovie=x", "%o"}),
        list({"-i", "%i", "-filter_complex", "amovie=x", "%o"}),
        list({"-i", "%i", "-lavfi", "amovie=x", "%o"}),
        list({"-i", "%i", "-filter_script:a", "/tmp/graph", "%o"}),
        list({"-i", "%i", "-af", "apad", "%o"}),
        list({"-i", "%i", "-af", "aloop=loop=-1:size=2000000000", "%o"}),
        list({"-stream_loop", "-1", "-i", "%i", "%o"}),
        // huge durations
        list({"-i", "%i", "-t", "99999999", "%o"}),
        list({"-i", "%i", "-t", "1:00:01", "%o"}),
        list({"-i", "%i", "-to", "100:00:00", "%o"}),
        // values that smuggle options or files
        list({"-i", "%i", "-c:a", "-i", "%o"}),
        list({"-i", "%i", "-b:a", "%i", "%o"}),
        list({"-i", "%i", "-c:a", "libopus:x", "%o"}),
        list({"-i", "%i", "-c:a", "%o"}),
        list({"-i", "%i", "-fs", "999999999999", "%o"}),
        list({"-i", "%i", "-s", "16000x16000", "%o"}),
        list({"-i", "%i", "-max_alloc", "99999999999", "%o"}),
        list({"-i", "%i", "-c:a:metadata:title", "copy", "%o"}),
    };
    for (const auto& parameters : hostile) {
        std::string why;
        std::string shown;
        for (const auto& p : parameters) shown += (p.asString() ? *p.asString() : "?") + " ";
        EXPECT_FALSE(FFmpegArgumentPolicy::arguments(parameters, "/w/in.mp3", "/w/out.mp3", 1000, &why)) << shown;
        EXPECT_FALSE(why.empty()) << shown;
    }
    PropertyList::Array tooMany(FFmpegArgumentPolicy::maximumArguments - 2, PropertyList(std::string("-vn")));
    tooMany.insert(tooMany.begin(), {PropertyList(std::string("-i")), PropertyList(std::string("%i"))});
    tooMany.emplace_back(std::string("%o"));
    EXPECT_FALSE(FFmpegArgumentPolicy::arguments(tooMany, "/w/in", "/w/out", 1000));

    for (const char* type : {"mp3", "ogg", "m4a", "wav", "opus", "webm", "jpeg"})
        EXPECT_TRUE(FFmpegArgumentPolicy::isAllowedDataType(type)) << type;
    for (const char* type : {"", "MP3", "mp3 ", "../mp3", "m3u8", "txt", "concat", "mp3/x", "ffconcat", "sdp"})
        EXPECT_FALSE(FFmpegArgumentPolicy::isAllowedDataType(type)) << type;
}

TEST_F(FFmpegWrapperTest, RefusedRequestsNeverRunTheProgram) {
    auto wrapper = markingWrapper();
    const FFmpegWrapper::Bytes input{1, 2, 3};
    EXPECT_FALSE(run(wrapper, input, "mp3", "wav", list({"-f", "lavfi", "-i", "%i", "%o"})));
    EXPECT_FALSE(run(wrapper, input, "mp3", "wav", list({"-i", "%i", "-af", "amovie=/etc/passwd", "%o"})));
    EXPECT_FALSE(run(wrapper, input, "m3u8", "wav", list({"-i", "%i", "%o"})));
    EXPECT_FALSE(run(wrapper, input, "mp3", "../../x", list({"-i", "%i", "%o"})));
    EXPECT_FALSE(run(wrapper, input, "mp3", "wav", {}));
    EXPECT_FALSE(fs::exists(marker()));

    // A list that passes does run; a program that ends well without writing the output gives none.
    EXPECT_FALSE(run(wrapper, input, "mp3", "wav", list({"-i", "%i", "%o"})));
    EXPECT_TRUE(fs::exists(marker()));
}

TEST_F(FFmpegWrapperTest, PageRequestsConvertWithTheRealProgram) {
    auto wrapper = FFmpegWrapper::create();
    const auto wav = readFile(tone());
    const auto mp3 = run(wrapper, wav, "wav", "mp3", list({"-i", "%i", "-vn", "-c:a", "libmp3lame", "-b:a", "64k", "%o"}));
    ASSERT_TRUE(mp3);
    ASSERT_GT(mp3->size(), 1000u);
    EXPECT_TRUE(((*mp3)[0] == 'I' && (*mp3)[1] == 'D' && (*mp3)[2] == '3') || (*mp3)[0] == 0xFF);

    const auto m4a = run(wrapper, wav, "wav", "m4a", list({"-i", "%i", "-c:a", "aac", "-b:a", "96k", "%o"}));
    ASSERT_TRUE(m4a);
    EXPECT_EQ(majorBrand(*m4a), "M4A ");

    // Bytes ffmpeg cannot read give none.
    EXPECT_FALSE(run(wrapper, {'n', 'o', 'p', 'e'}, "wav", "mp3", list({"-i", "%i", "%o"})));
}

TEST_F(FFmpegWrapperTest, InputsThatPointAtOtherFilesReadNothing) {
    auto wrapper = FFmpegWrapper::create();
    const std::string path = secret().string();
    const std::vector<std::string> hostileInputs{
        "ffconcat version 1.0\nfile '" + path + "'\n",
        "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nfile:" + path + "\n#EXT-X-ENDLIST\n",
        "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" + path + "\n#EXT-X-ENDLIST\n",
    };
    for (const auto& bytes : hostileInputs) {
        const auto out = run(wrapper, FFmpegWrapper::Bytes(bytes.begin(), bytes.end()), "mp3", "wav",
                             list({"-i", "%i", "-c:a", "pcm_s16le", "%o"}));
        EXPECT_FALSE(out) << bytes;
    }
}

TEST_F(FFmpegWrapperTest, RunawayRunsEndAtTheTimeLimitOrTheOutputCap) {
    FFmpegWrapper::Configuration slow;
    slow.executable = fakeFFmpeg("hanging-ffmpeg", "exec sleep 600");
    slow.timeLimit = 0.3;
    EXPECT_FALSE(run(FFmpegWrapper::create(slow), {1}, "wav", "mp3", list({"-i", "%i", "%o"})));

    // A second of 16-bit stereo PCM is far above 20 kB; at the cap the output is cut, so it fails.
    FFmpegWrapper::Configuration capped;
    capped.outputSizeLimit = 20000;
    const auto wav = readFile(tone());
    EXPECT_FALSE(run(FFmpegWrapper::create(capped), wav, "wav", "wav", list({"-i", "%i", "-ac", "2", "%o"})));
    capped.outputSizeLimit = 1 << 20;
    EXPECT_TRUE(run(FFmpegWrapper::create(capped), wav, "wav", "wav", list({"-i", "%i", "-ac", "2", "%o"})));
}

TEST_F(FFmpegWrapperTest, AnInputThatCannotBeWrittenIsAFailure) {
    auto wrapper = markingWrapper();
    // Writes past 4 KiB fail (EFBIG) for this process, root or not.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limited = previous;
    limited.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const auto answer = run(wrapper, FFmpegWrapper::Bytes(64 * 1024, 7), "wav", "mp3", list({"-i", "%i", "%o"}));
    setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_FALSE(answer);
    EXPECT_FALSE(fs::exists(marker()));  // ffmpeg never ran on a missing or partial input
}

TEST_F(FFmpegWrapperTest, RemuxCopiesTheStreamsIntoMP4) {
    auto wrapper = FFmpegWrapper::create();
    const fs::path output = workDir("ffmpeg-wrapper") / "remuxed.mp4";
    const fs::path broken = workDir("ffmpeg-wrapper") / "broken.mov";
    writeFile(broken, "not a movie");
    for (const auto& [input, expected] : {std::pair{movie(), true}, std::pair{broken, false}}) {
        fs::remove(output);
        int calls = 0;
        bool result = !expected, onMain = false;
        wrapper->remuxMedia(input, output, [&](bool succeeded) {
            ++calls;
            result = succeeded;
            onMain = platform::MainQueue::isMainThread();
        });
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return calls > 0; }, 60));
        EXPECT_EQ(result, expected) << input;
        EXPECT_TRUE(onMain);
        if (expected) {
            EXPECT_EQ(majorBrand(readFile(output)), "isom");
        }
    }
}

TEST_F(FFmpegWrapperTest, PageAudioIsFetchedOverHTTPOnlyAndAlwaysAnswersOnce) {
    testsupport::LoopbackHTTPServer server;
    const auto aacBytes = readFile(aac());
    const std::string aacBody(aacBytes.begin(), aacBytes.end());
    auto reply = [](const std::string& status, const std::string& body) {
        return testsupport::LoopbackHTTPServer::Reply{
            testsupport::LoopbackHTTPServer::response(status, body, "Content-Type: application/octet-stream\r\n")};
    };
    server.route("/voice.aac", reply("200 OK", aacBody));
    server.route("/big.aac", reply("200 OK", std::string(5000, 'x')));
    server.route("/empty.aac", reply("200 OK", ""));
    server.route("/garbage.aac", reply("200 OK", "this is no audio at all"));
    server.route("/gone.aac", reply("404 Not Found", aacBody));
    server.route("/broken.aac", reply("500 Internal Server Error", ""));
    server.route("/hang.aac", {"", true});  // reads the request and never answers

    platform::URLSession session({"", "ffmpeg-wrapper-test"});
    FFmpegWrapper::Configuration configuration;
    configuration.session = &session;
    configuration.userAgent = "ParlivoTest/1.0";
    configuration.downloadSizeLimit = 4096 * 4;
    configuration.downloadTimeout = 1.0;

    struct Case {
        std::string url;
        bool converts;
        bool reachesServer;
    };
    const std::vector<Case> cases{
        {server.url("/voice.aac"), true, true},
        {server.url("/gone.aac"), false, true},
        {server.url("/broken.aac"), false, true},
        {server.url("/empty.aac"), false, true},
        {server.url("/garbage.aac"), false, true},
        {server.url("/hang.aac"), false, true},
        {"file://" + aac().string(), false, false},
        {"ftp://127.0.0.1/voice.aac", false, false},
        {"javascript:alert(1)", false, false},
        {"http://", false, false},
        {"", false, false},
        {"data:audio/aac;base64,AAAA", false, false},
    };
    std::vector<std::shared_ptr<Answer>> answers;
    for (const auto& c : cases) {
        const int before = server.requestCount();
        auto answer = std::make_shared<Answer>();
        FFmpegWrapper::create(configuration)->downloadAndConvertAudio(c.url, recordInto(answer));
        ASSERT_TRUE(waitFor(answer)) << c.url;
        EXPECT_TRUE(answer->onMainThread) << c.url;
        EXPECT_EQ(answer->bytes.has_value(), c.converts) << c.url;
        if (c.converts) {
            EXPECT_EQ(majorBrand(*answer->bytes), "M4A ");
            EXPECT_EQ(server.lastUserAgent(), "ParlivoTest/1.0");
        }
        EXPECT_EQ(server.requestCount() > before, c.reachesServer) << c.url;
        answers.push_back(answer);
    }
    // The body over the cap fails like a lost connection.
    configuration.downloadSizeLimit = 1000;
    auto capped = std::make_shared<Answer>();
    FFmpegWrapper::create(configuration)->downloadAndConvertAudio(server.url("/big.aac"), recordInto(capped));
    ASSERT_TRUE(waitFor(capped));
    EXPECT_FALSE(capped->bytes);
    answers.push_back(capped);

    drainMainQueue();
    for (const auto& answer : answers) EXPECT_EQ(answer->calls, 1);
}
