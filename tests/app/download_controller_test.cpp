// Saving what the page hands over and what its links point to: the user picks the place, the
// file is written whole or the user is told, never a partial file reported as saved.
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <deque>
#include <fstream>

#include "RunLoop.h"
#include "foundation/FileManager.h"
#include "web/DownloadController.h"

using namespace parlivo;
namespace fs = std::filesystem;

namespace {

// Answers each question with the next of `answers` (the page's data is decoded off the main
// thread, so the panel is asked later than the call), then with `answer`.
struct ScriptedPanel : SavePanel {
    std::vector<Options> asked;
    std::deque<std::optional<fs::path>> answers;
    std::optional<fs::path> answer;
    void run(const Options& options, std::function<void(std::optional<fs::path>)> done) override {
        asked.push_back(options);
        if (answers.empty()) return done(answer);
        auto next = answers.front();
        answers.pop_front();
        done(next);
    }
};

class DownloadControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::path(g_get_tmp_dir()) / "downloads";
        fs::remove_all(folder);
        fs::create_directories(folder);
        controller = DownloadController::create(
            panel, [this](const std::string& message) { reports.push_back(message); },
            [this](const std::string& url, DownloadController::FetchCompletion done) {
                fetched.push_back(url);
                done(fetchResult);
            });
        controller->onFinished = [this](const fs::path& path, bool saved) { finished.emplace_back(path, saved); };
    }
    bool waitForFinish(size_t count = 1) {
        return testsupport::runLoopUntil([&] { return finished.size() >= count; });
    }
    static std::string contents(const fs::path& path) {
        return platform::FileManager::contentsAtPath(path, 1 << 20).value_or("<missing>");
    }

    fs::path folder;
    std::shared_ptr<ScriptedPanel> panel = std::make_shared<ScriptedPanel>();
    std::shared_ptr<DownloadController> controller;
    std::vector<std::string> reports, fetched;
    std::vector<std::pair<fs::path, bool>> finished;
    SimpleGetHTTPRequest::Result fetchResult = std::vector<std::uint8_t>{'z', 'i', 'p'};
};

}  // namespace

TEST_F(DownloadControllerTest, PageDataIsSavedWhereTheUserSaysUnderAPlainName) {
    panel->answer = folder / "chosen.txt";
    controller->saveDataURL("data:text/plain;base64,aGVs\nbG8=", "text/plain", std::string("../../etc/hosts"));
    ASSERT_TRUE(waitForFinish());
    ASSERT_EQ(panel->asked.size(), 1u);
    EXPECT_EQ(panel->asked[0].title, "Save File");
    EXPECT_EQ(panel->asked[0].suggestedName, "hosts");
    EXPECT_EQ(panel->asked[0].mimeType, "text/plain");
    EXPECT_EQ(contents(folder / "chosen.txt"), "hello");
    EXPECT_EQ(finished[0].second, true);
    EXPECT_TRUE(reports.empty());

    // Cancelled: nothing is written and nobody is bothered. The save after it finishes as the
    // only one: a write the cancelled one had started would have come before it.
    panel->answers = {std::nullopt, folder / "later.txt"};
    controller->saveDataURL("data:text/plain;base64,aGk=", "text/plain", std::nullopt);
    controller->saveDataURL("data:text/plain;base64,bGF0ZXI=", "text/plain", std::nullopt);
    ASSERT_TRUE(waitForFinish(2));
    ASSERT_TRUE(testsupport::drainMainQueue());
    ASSERT_EQ(finished.size(), 2u);
    EXPECT_EQ(finished[1].first, folder / "later.txt");
    EXPECT_EQ(contents(folder / "later.txt"), "later");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
    EXPECT_TRUE(reports.empty());
}

TEST_F(DownloadControllerTest, DataThatCannotBeSavedIsToldNotReported) {
    // No payload at all: the user hears it at once, no panel asks for a place in vain.
    controller->saveDataURL("no payload", "text/plain", std::nullopt);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !reports.empty(); }));
    EXPECT_TRUE(panel->asked.empty());
    EXPECT_EQ(reports.size(), 1u);

    // A place that cannot be written: the old file stays whole and the user is told.
    const fs::path locked = folder / "locked";
    fs::create_directory(locked);
    std::ofstream(locked / "keep.txt") << "old";
    chmod(locked.c_str(), 0500);
    panel->answer = locked / "keep.txt";
    controller->saveDataURL("data:text/plain;base64,bmV3", "text/plain", std::nullopt);
    ASSERT_TRUE(waitForFinish());
    chmod(locked.c_str(), 0700);
    if (geteuid() != 0) {  // root writes anywhere
        EXPECT_FALSE(finished[0].second);
        EXPECT_EQ(contents(locked / "keep.txt"), "old");
        ASSERT_EQ(reports.size(), 2u);
        EXPECT_NE(reports[1].find((locked / "keep.txt").string()), std::string::npos);
    }
    // A folder in the way.
    fs::create_directory(folder / "a-folder");
    panel->answer = folder / "a-folder";
    controller->saveDataURL("data:text/plain;base64,bmV3", "text/plain", std::nullopt);
    ASSERT_TRUE(waitForFinish(2));
    EXPECT_FALSE(finished[1].second);
    EXPECT_TRUE(fs::is_directory(folder / "a-folder"));
}

TEST_F(DownloadControllerTest, LinkedFilesAreFetchedAfterThePlaceIsChosen) {
    panel->answer = folder / "archive.zip";
    controller->downloadFile("https://files.example.org/dir/archive.zip?token=1");
    ASSERT_TRUE(waitForFinish());
    ASSERT_EQ(panel->asked.size(), 1u);
    EXPECT_EQ(panel->asked[0].extension, "zip");
    EXPECT_EQ(panel->asked[0].suggestedName, "archive.zip");
    EXPECT_EQ(fetched, std::vector<std::string>{"https://files.example.org/dir/archive.zip?token=1"});
    EXPECT_EQ(contents(folder / "archive.zip"), "zip");

    // A failed fetch (an error status, a cut-off transfer) writes nothing and is told.
    fetchResult = platform::Error{SimpleGetHTTPRequest::errorDomain, -4, "connection failed with response 206"};
    panel->answer = folder / "partial.zip";
    controller->downloadFile("https://files.example.org/partial.zip");
    ASSERT_TRUE(waitForFinish(2));
    EXPECT_FALSE(finished[1].second);
    EXPECT_FALSE(fs::exists(folder / "partial.zip"));
    EXPECT_EQ(reports.size(), 1u);

    // Cancelling fetches nothing; links that are no web addresses are not fetched at all.
    panel->answer.reset();
    fetched.clear();
    controller->downloadFile("https://files.example.org/x.zip");
    controller->downloadFile("file:///etc/passwd.txt");
    controller->downloadFile("ftp://files.example.org/x.zip");
    EXPECT_TRUE(fetched.empty());
    EXPECT_EQ(panel->asked.size(), 3u);  // only the https link asked for a place
}
