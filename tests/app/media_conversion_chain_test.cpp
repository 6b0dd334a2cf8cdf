// The media conversion chain: HEIF photos become JPEG and movies take the road their mode
// gives them, all results of a request reach the page in one call in the input's order, stop
// ends a request with nothing sent, failures send the source, requests wait their turn, every
// text in a script is escaped, files over the embedding limit are refused with a message, and
// sources the caller hands over live until they have been read.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <memory>

#include "MediaFixtures.h"
#include "RunLoop.h"
#include "WQTempFile.h"
#include "foundation/MainQueue.h"
#include "media/AssetExportSession.h"
#include "media/WQMediaConversionChain.h"

using namespace mediafixtures;
using parlivo::MovieFileMode;
using parlivo::WQMediaConversionChain;

namespace {

class FakePage : public platform::JavaScriptEvaluator {
public:
    std::vector<std::string> scripts;
    void evaluateJavaScript(const std::string& script, Completion completion) override {
        EXPECT_TRUE(platform::MainQueue::isMainThread());
        scripts.push_back(script);
        if (completion) platform::MainQueue::async([completion] { completion({}); });
    }
};

class FakeSheet : public parlivo::WQModalProgressSheet {
public:
    std::string title;
    std::optional<std::string> subTitle;
    std::function<void()> stopAction;
    std::vector<double> progress;
    bool begun = false, ended = false;
    bool stopOnFirstProgress = false;

    void beginSheet() override { begun = true; }
    void endSheet() override { ended = true; }
    void progressDidChange(double value) override {
        progress.push_back(value);
        if (stopOnFirstProgress && progress.size() == 1) stopAction();
    }
};

class FakeHost : public parlivo::WQMediaConversionHost {
public:
    std::vector<std::shared_ptr<FakeSheet>> sheets;
    std::vector<std::pair<std::string, std::string>> messages;
    bool stopOnFirstProgress = false;

    std::shared_ptr<parlivo::WQModalProgressSheet> makeProgressSheet(const std::string& title,
                                                                    const std::optional<std::string>& subTitle,
                                                                    std::function<void()> stopAction) override {
        auto sheet = std::make_shared<FakeSheet>();
        sheet->title = title;
        sheet->subTitle = subTitle;
        sheet->stopAction = std::move(stopAction);
        sheet->stopOnFirstProgress = stopOnFirstProgress;
        sheets.push_back(sheet);
        return sheet;
    }
    void presentMessage(const std::string& message, const std::string& informativeText) override {
        messages.emplace_back(message, informativeText);
    }
};

struct Item {
    std::string mimeType;
    Bytes bytes;
    std::string name;
};

std::vector<Item> items(const PageCall& call) {
    std::vector<Item> out;
    for (std::size_t i = 0; i < call.dataURLs.size(); ++i) {
        auto decoded = decodeDataURL(call.dataURLs[i]);
        EXPECT_TRUE(decoded) << call.dataURLs[i].substr(0, 40);
        if (!decoded) continue;
        out.push_back({decoded->first, decoded->second, i < call.names.size() ? call.names[i] : ""});
    }
    return out;
}

// Files left in the temporary folder under the given name.
bool temporaryFileNamed(const std::string& name) {
    std::error_code error;
    for (fs::recursive_directory_iterator it(tovak::WQTempFile::commonDirectory(), error), end; !error && it != end;
         it.increment(error))
        if (it->path().filename() == name) return true;
    return false;
}

}  // namespace

class MediaConversionChainTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        makeHEIF(heic(), 64, 48);
        makeWithFFmpeg(movie(), {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=15", "-f", "lavfi", "-i", "sine",
                                 "-t", "1", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"});
        makeWithFFmpeg(longMovie(), {"-f", "lavfi", "-i", "testsrc=size=640x480:rate=25", "-t", "20", "-c:v",
                                     "libx264", "-preset", "ultrafast"});
        writeFile(pdf(), "%PDF-1.4\n% a document\n%%EOF\n");
    }
    static fs::path dir() { return workDir("conversion-chain"); }
    static fs::path heic() { return dir() / "a.heic"; }
    static fs::path movie() { return dir() / "b.mov"; }
    static fs::path pdf() { return dir() / "c.pdf"; }
    static fs::path longMovie() { return dir() / "long.mov"; }

    void SetUp() override {
        chain = WQMediaConversionChain::create(tovak::WQVideoConverter::create());
        chain->setWebView(page);
        chain->setHost(host);
        // The smallest preset and a budget no estimate fits: every movie is transcoded, quickly.
        setMode(MovieFileMode::avFoundation);
    }

    void setMode(std::optional<MovieFileMode> mode, std::optional<std::int64_t> target = 1,
                 std::string_view preset = platform::AssetExportSession::presetLowQuality) {
        chain->movieSettings = [mode, target, preset] {
            return WQMediaConversionChain::MovieSettings{mode, target, std::vector<std::string>{std::string(preset)}};
        };
    }

    PageCall waitForCall(std::size_t index = 0) {
        EXPECT_TRUE(testsupport::runLoopUntil([&] { return page->scripts.size() > index; }, 120));
        if (page->scripts.size() <= index) return {};
        auto call = parsePageCall(page->scripts[index]);
        EXPECT_TRUE(call) << page->scripts[index].substr(0, 200);
        return call.value_or(PageCall{});
    }

    std::shared_ptr<FakePage> page = std::make_shared<FakePage>();
    std::shared_ptr<FakeHost> host = std::make_shared<FakeHost>();
    std::shared_ptr<WQMediaConversionChain> chain;
};

TEST_F(MediaConversionChainTest, ConvertsHEIFAndMoviesAndSendsAllInOneCallInOrder) {
    chain->convertNextFile({heic(), movie(), pdf()}, std::nullopt);
    const PageCall call = waitForCall();
    EXPECT_EQ(call.function, "wqDropFileURLs");
    EXPECT_FALSE(call.id);
    const auto sent = items(call);
    ASSERT_EQ(sent.size(), 3u);

    EXPECT_EQ(sent[0].mimeType, "image/jpeg");
    EXPECT_EQ(jpegSize(sent[0].bytes), (std::pair{64, 48}));
    EXPECT_EQ(sent[0].name, "a.jpg");

    EXPECT_EQ(sent[1].mimeType, "video/quicktime");
    EXPECT_EQ(majorBrand(sent[1].bytes), "qt  ");
    EXPECT_NE(sent[1].bytes, readFile(movie()));
    EXPECT_EQ(sent[1].name, "b.mov");

    EXPECT_EQ(sent[2].mimeType, "application/pdf");
    EXPECT_EQ(sent[2].bytes, readFile(pdf()));
    EXPECT_EQ(sent[2].name, "c.pdf");

    ASSERT_EQ(host->sheets.size(), 1u);
    const auto& sheet = *host->sheets[0];
    EXPECT_EQ(sheet.title, "Converting Video");
    EXPECT_EQ(sheet.subTitle, "b.mov");
    EXPECT_TRUE(sheet.begun);
    EXPECT_TRUE(sheet.ended);
    ASSERT_FALSE(sheet.progress.empty());
    EXPECT_DOUBLE_EQ(sheet.progress.back(), 1.0);
    EXPECT_EQ(chain->videoConverter()->progressDelegate, nullptr);

    // Read and sent: the chain's own temporary files are gone, the sources stay.
    EXPECT_FALSE(temporaryFileNamed("a.jpg"));
    EXPECT_FALSE(temporaryFileNamed("b.mov"));
    EXPECT_TRUE(fs::exists(heic()));
    EXPECT_FALSE(chain->isBusy());
}

TEST_F(MediaConversionChainTest, EachMovieModeTakesItsRoad) {
    struct Case {
        std::optional<MovieFileMode> mode;
        bool chosenInPanel;   // the open panel's files, or a drop
        bool photoConverted;
        bool movieConverted;
    };
    const Case cases[] = {
        {MovieFileMode::raw, false, true, false},
        {MovieFileMode::fFmpeg, false, true, true},
        {MovieFileMode::avFoundation, false, true, true},
        {MovieFileMode::raw, true, false, false},
        {MovieFileMode::fFmpeg, true, false, false},
        {MovieFileMode::avFoundation, true, true, true},
        {std::nullopt, false, true, false},
    };
    std::size_t index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << (c.mode ? int(*c.mode) : -1) << (c.chosenInPanel ? " panel" : " drop"));
        setMode(c.mode);
        const std::size_t sheetsBefore = host->sheets.size();
        if (c.chosenInPanel)
            chain->sendChosenFiles({heic(), movie()}, "f1");
        else
            chain->convertNextFile({heic(), movie()}, "f1");
        const PageCall call = waitForCall(index++);
        EXPECT_EQ(call.function, "wqOpenFileURLsWithID");
        EXPECT_EQ(call.id, "f1");
        const auto sent = items(call);
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(sent[0].mimeType, c.photoConverted ? "image/jpeg" : "image/heic");
        EXPECT_EQ(sent[0].bytes == readFile(heic()), !c.photoConverted);
        EXPECT_EQ(sent[1].bytes == readFile(movie()), !c.movieConverted);
        EXPECT_EQ(host->sheets.size() - sheetsBefore, c.movieConverted ? 1u : 0u);
    }
}

TEST_F(MediaConversionChainTest, StopOnTheSheetEndsTheRequestAndSendsNothing) {
    host->stopOnFirstProgress = true;
    // A preset slow enough that the export is still running at the first progress report.
    setMode(MovieFileMode::avFoundation, 1, platform::AssetExportSession::presetHighestQuality);
    chain->convertNextFile({heic(), longMovie(), pdf()}, "f1");
    // Waiting behind it: its delivery is the marker that the stopped request is over.
    chain->sendFiles({pdf()}, std::nullopt);
    const PageCall call = waitForCall();
    EXPECT_EQ(call.function, "wqDropFileURLs");
    ASSERT_EQ(items(call).size(), 1u);
    EXPECT_EQ(items(call)[0].name, "c.pdf");
    EXPECT_EQ(page->scripts.size(), 1u);

    ASSERT_EQ(host->sheets.size(), 1u);
    EXPECT_TRUE(host->sheets[0]->ended);
    EXPECT_LT(host->sheets[0]->progress.back(), 1.0);  // stopped mid-export
    EXPECT_FALSE(temporaryFileNamed("a.jpg"));
    EXPECT_FALSE(temporaryFileNamed("long.mov"));
}

TEST_F(MediaConversionChainTest, FilesThatCannotBeConvertedGoAsTheyAre) {
    const fs::path brokenPhoto = dir() / "broken.heic", brokenMovie = dir() / "broken.mov";
    writeFile(brokenPhoto, "not a picture");
    writeFile(brokenMovie, "not a movie");
    chain->convertNextFile({brokenPhoto, brokenMovie}, std::nullopt);
    const auto sent = items(waitForCall());
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].mimeType, "image/heic");
    EXPECT_EQ(sent[0].name, "broken.heic");
    EXPECT_EQ(sent[0].bytes, readFile(brokenPhoto));
    EXPECT_EQ(sent[1].mimeType, "video/quicktime");
    EXPECT_EQ(sent[1].bytes, readFile(brokenMovie));
    ASSERT_EQ(host->sheets.size(), 1u);
    EXPECT_TRUE(host->sheets[0]->ended);

    // A JPEG that cannot be written (writes past 200 bytes fail for this process) keeps the source.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limited = previous;
    limited.rlim_cur = 200;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    chain->convertNextFile({heic()}, std::nullopt);
    const auto kept = items(waitForCall(1));
    setrlimit(RLIMIT_FSIZE, &previous);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].mimeType, "image/heic");
    EXPECT_EQ(kept[0].bytes, readFile(heic()));
}

TEST_F(MediaConversionChainTest, PhotosOverTheBoundsAreRefusedWithTheTooLargeMessage) {
    const fs::path enormous = dir() / "enormous.heic";
    fs::copy_file(enormousGridHEIF(), enormous, fs::copy_options::overwrite_existing);
    chain->convertNextFile({enormous, pdf()}, std::nullopt);
    const auto sent = items(waitForCall());
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].mimeType, "application/pdf");
    ASSERT_EQ(host->messages.size(), 1u);
    EXPECT_EQ(host->messages[0].first, "“enormous.heic” is too large to send.");

    // Alone in its request: nothing is sent, the user is told all the same.
    chain->convertNextFile({enormous}, "f1");
    chain->sendFiles({pdf()}, "marker");  // requests run in order: its call comes after
    waitForCall(1);
    ASSERT_EQ(page->scripts.size(), 2u);
    EXPECT_EQ(host->messages[1].first, "“enormous.heic” is too large to send.");
}

TEST_F(MediaConversionChainTest, RequestsRunOneAtATimeInTheOrderTheyCame) {
    chain->convertNextFile({movie()}, "first");
    chain->sendFiles({pdf()}, "second");
    chain->sendFileData({1, 2, 3}, "image/png", "third");
    EXPECT_TRUE(chain->isBusy());
    EXPECT_EQ(chain->waitingCount(), 2u);
    EXPECT_EQ(waitForCall(0).id, "first");
    EXPECT_EQ(waitForCall(1).id, "second");
    EXPECT_EQ(waitForCall(2).id, "third");
    EXPECT_FALSE(chain->isBusy());
}

TEST_F(MediaConversionChainTest, ScriptsEscapeEveryNameIdAndType) {
    const fs::path quoted = dir() / "it's <b>\n.png";
    writeFile(quoted, "PNG");
    chain->sendFiles({quoted}, "x'); alert(1); ('");
    chain->sendFileData({1, 2, 3}, "image/jpeg", "c7");
    chain->sendFileData({1, 2, 3}, "image/jpeg", std::nullopt);
    chain->sendFileData({}, "text/plain'", std::nullopt);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return page->scripts.size() == 4; }));
    EXPECT_EQ(page->scripts[0],
              "wqOpenFileURLsWithID('x\\u0027); alert(1); (\\u0027', ['data:image\\/png;base64,UE5H'], "
              "['it\\u0027s \\u003cb>\\n.png']);");
    EXPECT_EQ(page->scripts[1], "wqOpenFileURLsWithID('c7', ['data:image\\/jpeg;base64,AQID'], ['unknown.jpeg']);");
    EXPECT_EQ(page->scripts[2], "wqDropFileURLs(['data:image\\/jpeg;base64,AQID']);");
    EXPECT_EQ(page->scripts[3], "wqDropFileURLs(['data:text\\/plain\\u0027;base64,']);");
    EXPECT_EQ(parsePageCall(page->scripts[0])->names, std::vector<std::string>{quoted.filename().string()});
}

TEST_F(MediaConversionChainTest, NothingReadableMeansNoPageCall) {
    chain->convertNextFile({}, "empty");
    chain->convertNextFile({dir() / "missing.png", dir()}, "unreadable");
    chain->sendFiles({dir() / "missing.pdf"}, "unreadable");
    chain->sendFiles({pdf()}, "marker");
    EXPECT_EQ(waitForCall().id, "marker");
    EXPECT_EQ(page->scripts.size(), 1u);
    EXPECT_TRUE(host->messages.empty());
}

TEST_F(MediaConversionChainTest, FilesTooLargeToEmbedAreRefusedWithAMessage) {
    chain->limits = {1000, 1500};
    const fs::path big = dir() / "big.bin", first = dir() / "first.txt", second = dir() / "second.txt";
    writeFile(big, std::string(5000, 'b'));
    writeFile(first, std::string(600, '1'));
    writeFile(second, std::string(1000, '2'));
    chain->sendFiles({big, first, second}, std::nullopt);
    const auto sent = items(waitForCall());
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].name, "first.txt");
    ASSERT_EQ(host->messages.size(), 1u);
    EXPECT_EQ(host->messages[0].first, "2 files are too large to send.");
    EXPECT_NE(host->messages[0].second.find("big.bin, second.txt"), std::string::npos);

    // All over the limit: no page call, only the message; a captured item the same.
    chain->sendFiles({big}, "f1");
    chain->sendFileData(Bytes(2000, 0), "image/jpeg", "c7");
    chain->sendFiles({first}, "marker");
    EXPECT_EQ(waitForCall(1).id, "marker");
    EXPECT_EQ(page->scripts.size(), 2u);
    ASSERT_EQ(host->messages.size(), 3u);
    EXPECT_EQ(host->messages[1].first, "“big.bin” is too large to send.");
    EXPECT_EQ(host->messages[2].first, "“unknown.jpeg” is too large to send.");
}

TEST_F(MediaConversionChainTest, SourcesHandedOverLiveUntilTheyHaveBeenRead) {
    auto recording = std::make_shared<tovak::WQTempFile>("recording", "mov");
    writeFile(recording->url(), "recorded bytes");
    const fs::path path = recording->url();
    std::weak_ptr<tovak::WQTempFile> watch = recording;
    setMode(MovieFileMode::raw);
    // Let go on the main thread, where its owner lives, not on a worker.
    bool releasedOnMainThread = false;
    std::shared_ptr<void> probe(new int(0), [&releasedOnMainThread](int* p) {
        releasedOnMainThread = platform::MainQueue::isMainThread();
        delete p;
    });
    chain->convertNextFile({path}, std::nullopt, {std::move(recording), std::move(probe)});
    const auto sent = items(waitForCall());
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, Bytes({'r', 'e', 'c', 'o', 'r', 'd', 'e', 'd', ' ', 'b', 'y', 't', 'e', 's'}));
    EXPECT_TRUE(watch.expired());
    EXPECT_TRUE(releasedOnMainThread);
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(MediaConversionChainTest, AFinishingActionGetsTheResultsAndTheirFiles) {
    WQMediaConversionChain::URLs converted;
    WQMediaConversionChain::TempFiles held;
    bool finished = false;
    chain->convertNextFile({heic(), pdf()}, [&](auto urls, auto tempFiles) {
        converted = std::move(urls);
        held = std::move(tempFiles);
        finished = true;
    });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return finished; }, 60));
    ASSERT_EQ(converted.size(), 2u);
    EXPECT_EQ(converted[0].filename(), "a.jpg");
    EXPECT_EQ(converted[1], pdf());
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0]->url(), converted[0]);
    EXPECT_TRUE(jpegSize(readFile(converted[0])));  // still there while held
    EXPECT_TRUE(page->scripts.empty());
    held.clear();
    EXPECT_FALSE(fs::exists(converted[0]));
}

// A request may have its movies written as MP4 (the camera's): the new file is one, its name
// says so, and the sheet need not name the file.
TEST_F(MediaConversionChainTest, MoviesWrittenInTheContainerTheRequestAsks) {
    struct Case {
        WQMediaConversionChain::MovieOutput output;
        std::string extension, brand;
        std::optional<std::string> subTitle;
    };
    using FileType = tovak::WQVideoConverter::OutputFileType;
    const Case cases[] = {
        {{}, ".mov", "qt  ", "b.mov"},
        {{FileType::mp4, false}, ".mp4", "isom", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extension);
        WQMediaConversionChain::URLs converted;
        WQMediaConversionChain::TempFiles held;
        bool finished = false;
        chain->convertNextFile(
            {movie()},
            [&](auto urls, auto tempFiles) {
                converted = std::move(urls);
                held = std::move(tempFiles);
                finished = true;
            },
            {}, c.output);
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return finished; }, 60));
        ASSERT_EQ(held.size(), 1u);
        EXPECT_EQ(converted.at(0), held[0]->url());
        EXPECT_EQ(converted[0].extension(), c.extension);
        EXPECT_EQ(majorBrand(readFile(converted[0])), c.brand);
        ASSERT_FALSE(host->sheets.empty());
        EXPECT_EQ(host->sheets.back()->subTitle, c.subTitle);
    }
}
