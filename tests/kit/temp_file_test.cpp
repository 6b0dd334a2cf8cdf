// Temporary files and folders: private, unique, removed with their owner; the once-per-process
// clean-up removes only what ended processes left. Application folders under XDG data.
//
// The tests in this file share one process on purpose: the first one sets up what earlier
// "processes" left behind before anything makes the first WQTempFile.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "DebugPrint.h"
#include "WQDebugController.h"
#include "WQDirectory.h"
#include "WQGroupTemporaryDirectory.h"
#include "WQTempFile.h"
#include "WQTemporaryDirectory.h"
#include "foundation/FileManager.h"

namespace fs = std::filesystem;
using namespace tovak;
using platform::FileManager;

namespace {

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

std::string hex(std::uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
    return text;
}

const std::string kUUID = "0B6F3A52-8E1C-4D7A-9F00-11AA22BB33CC";

void touch(const fs::path& file) { std::ofstream(file) << "data"; }

}  // namespace

TEST(WQTempFile, FirstCreationRemovesOnlyWhatEndedProcessesLeft) {
    const fs::path common = WQTempFile::commonDirectory();
    ASSERT_TRUE(FileManager::makePrivateDirectory(common));

    // A process that still runs (a sleeping child) and one that has ended.
    const pid_t live = fork();
    if (live == 0) {
        pause();
        _exit(0);
    }
    ASSERT_GT(live, 0);
    const auto liveStart = FileManager::processStartTime(live);
    ASSERT_TRUE(liveStart);

    const fs::path liveFolder = common / (kUUID + "-" + std::to_string(live) + "-" + hex(*liveStart));
    const fs::path endedFolder = common / (kUUID + "-99999999-1");
    const fs::path reusedPidFolder = common / (kUUID + "-" + std::to_string(live) + "-" + hex(*liveStart + 1));
    const fs::path foreignFolder = common / "keep-me";
    for (const auto& folder : {liveFolder, endedFolder, reusedPidFolder, foreignFolder}) {
        fs::create_directories(folder);
        touch(folder / "file.m4a");
    }

    // Several threads make the first files at once: the clean-up runs exactly once, before any
    // of them has a folder.
    std::vector<std::unique_ptr<WQTempFile>> files(4);
    std::vector<std::thread> threads;
    for (auto& file : files) threads.emplace_back([&file] { file = std::make_unique<WQTempFile>("m4a"); });
    for (auto& thread : threads) thread.join();

    EXPECT_TRUE(fs::exists(liveFolder / "file.m4a"));
    EXPECT_TRUE(fs::exists(foreignFolder / "file.m4a"));
    EXPECT_FALSE(fs::exists(endedFolder));
    EXPECT_FALSE(fs::exists(reusedPidFolder));
    for (const auto& file : files) EXPECT_TRUE(fs::is_directory(file->parentDirectory()));

    // A second round leaves the first round's folders alone.
    WQTempFile later("jpg");
    for (const auto& file : files) EXPECT_TRUE(fs::is_directory(file->parentDirectory()));

    kill(live, SIGKILL);
    waitpid(live, nullptr, 0);
}

TEST(WQTempFile, EachFileGetsItsOwnPrivateFolderUnderTheCommonOne) {
    WQTempFile a("m4a");
    WQTempFile b("m4a");
    EXPECT_EQ(a.url().extension(), ".m4a");
    EXPECT_EQ(a.url().parent_path(), a.parentDirectory());
    EXPECT_EQ(a.parentDirectory().parent_path(), WQTempFile::commonDirectory());
    EXPECT_NE(a.parentDirectory(), b.parentDirectory());
    EXPECT_NE(a.url().filename(), b.url().filename());
    EXPECT_FALSE(fs::exists(a.url()));  // the caller writes the file
    EXPECT_EQ(modeOf(a.parentDirectory()), 0700u);
    EXPECT_EQ(modeOf(FileManager::temporaryDirectory()), 0700u);
    EXPECT_FALSE(FileManager::isOwnerGone(a.parentDirectory().filename().string()));
}

TEST(WQTempFile, NamesStayInsideTheirFolder) {
    struct Case {
        const char* name;
        const char* extension;
        const char* fileName;
    } cases[] = {
        {"voice", "m4a", "voice.m4a"},
        {"noext", "", "noext"},
        {"../../etc/passwd", "", ".._.._etc_passwd"},
        {"a", "b/../../c", "a.b_.._.._c"},
    };
    for (const auto& c : cases) {
        WQTempFile file(c.name, c.extension);
        EXPECT_EQ(file.url().filename(), c.fileName);
        EXPECT_EQ(file.url().parent_path(), file.parentDirectory());
    }
    for (const char* name : {"", ".", ".."}) {
        WQTempFile file(name, "");
        EXPECT_EQ(file.url().parent_path(), file.parentDirectory()) << name;
        EXPECT_NE(file.url().filename(), name);
    }
}

TEST(WQTempFile, ReleaseRemovesTheFolderWithEverythingUnlessToldNotTo) {
    fs::path removed, kept;
    {
        WQTempFile file("mp4");
        removed = file.parentDirectory();
        touch(file.url());
        touch(removed / "second.mp4");
    }
    EXPECT_FALSE(fs::exists(removed));
    {
        WQTempFile file("mp4");
        kept = file.parentDirectory();
        file.setDeleteOnDeinit(false);
    }
    EXPECT_TRUE(fs::is_directory(kept));
    fs::remove_all(kept);
}

class WQTemporaryDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override { WQDebugController::sharedInstance().setDebug(true); }
    void TearDown() override { WQDebugController::sharedInstance().setDebug(false); }
};

TEST_F(WQTemporaryDirectoryTest, LivesAsLongAsItsObjectAndLogsItsFate) {
    fs::path first;
    testing::internal::CaptureStdout();
    {
        WQTemporaryDirectory a;
        WQTemporaryDirectory b;
        first = a.url();
        EXPECT_TRUE(a.created());
        EXPECT_EQ(a.url().parent_path(), FileManager::temporaryDirectory());
        EXPECT_EQ(a.url().parent_path(), b.url().parent_path());
        EXPECT_NE(a.url(), b.url());
        EXPECT_EQ(a.url().filename().string().substr(0, 6), "WQtemp");
        EXPECT_EQ(modeOf(a.url()), 0700u);
        EXPECT_TRUE(a.removeOnDeinit());
        touch(a.url() / "shared.txt");
    }
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(fs::exists(first));
    EXPECT_NE(log.find("WQTemporaryDirectory ===> Create Temporary Directory at: " + first.string() + "\n"),
              std::string::npos);
    EXPECT_NE(log.find("WQTemporaryDirectory ===> WQTemporaryDirectory: Successfully removed on deinit\n"),
              std::string::npos);
}

TEST_F(WQTemporaryDirectoryTest, HandedOverOrAlreadyGoneFoldersAreLogged) {
    const fs::path base = WQTempFile::commonDirectory().parent_path() / "handover";
    fs::path kept;
    testing::internal::CaptureStdout();
    {
        WQTemporaryDirectory handedOver(base);
        handedOver.setRemoveOnDeinit(false);
        kept = handedOver.url();
        WQTemporaryDirectory vanished(base);
        fs::remove_all(vanished.url());
    }
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(fs::is_directory(kept));
    EXPECT_EQ(kept.parent_path(), base);
    EXPECT_NE(log.find("WQTemporaryDirectory ===> WQTemporaryDirectory: Not removing\n"), std::string::npos);
    EXPECT_NE(log.find("WQTemporaryDirectory ===> WQTemporaryDirectory: Could not remove on deinit\n"),
              std::string::npos);
    fs::remove_all(base);
}

TEST_F(WQTemporaryDirectoryTest, GroupDirectoryLivesInTheContainerAndLogsUnderItsOwnName) {
    testing::internal::CaptureStdout();
    fs::path url;
    {
        WQGroupTemporaryDirectory group("net.vantreo.mac.WhatsApp.share");
        url = group.url();
        EXPECT_EQ(url.parent_path(), *FileManager::groupContainer());
        EXPECT_TRUE(fs::is_directory(url));
        // No container for a bad group name: still a fresh private folder.
        WQGroupTemporaryDirectory fallback("../bad");
        EXPECT_EQ(fallback.url().parent_path(), FileManager::temporaryDirectory());
        EXPECT_TRUE(fallback.created());
    }
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(fs::exists(url));
    EXPECT_NE(log.find("WQGroupTemporaryDirectory ===> WQTemporaryDirectory: Successfully removed on deinit"),
              std::string::npos);
}

TEST_F(WQTemporaryDirectoryTest, UncreatableFolderIsReported) {
    const fs::path blocker = WQTempFile::commonDirectory().parent_path() / "blocker";
    touch(blocker);
    testing::internal::CaptureStdout();
    {
        WQTemporaryDirectory directory(blocker);
        EXPECT_FALSE(directory.created());
    }
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("Could not create Temporary Directory at: "), std::string::npos);
    fs::remove(blocker);
}

TEST_F(WQTemporaryDirectoryTest, AppDirectoryUnderXdgDataNamedByTheBundle) {
    const fs::path fixture = WQTempFile::commonDirectory().parent_path() / "bundles";
    fs::create_directories(fixture / "with-id");
    fs::create_directories(fixture / "without-id");
    std::ofstream(fixture / "with-id" / "Info.plist")
        << R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>)"
        << "<key>CFBundleIdentifier</key><string>net.vantreo.mac.WhatsApp</string></dict></plist>";
    const platform::Bundle withId(fixture / "with-id");
    const platform::Bundle withoutId(fixture / "without-id");
    const fs::path data = FileManager::applicationSupportDirectory();

    testing::internal::CaptureStdout();
    EXPECT_EQ(WQDirectory::appDirectory(withId), data / "Vantreo" / "net.vantreo.mac.WhatsApp");
    EXPECT_EQ(WQDirectory::appDirectory(withId), data / "Vantreo" / "net.vantreo.mac.WhatsApp");
    EXPECT_EQ(WQDirectory::userContentDirectory(withId), data / "Vantreo" / "net.vantreo.mac.WhatsApp" / "UserContent");
    EXPECT_TRUE(fs::is_directory(data / "Vantreo" / "net.vantreo.mac.WhatsApp" / "UserContent"));
    EXPECT_EQ(WQDirectory::appDirectory(withoutId), data / "Vantreo" / "default");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // existing folders log nothing

    // A plain file where the folder belongs: logged, the path still returned.
    fs::remove_all(data / "Vantreo" / "default");
    touch(data / "Vantreo" / "default");
    testing::internal::CaptureStdout();
    EXPECT_EQ(WQDirectory::userContentDirectory(withoutId), data / "Vantreo" / "default" / "UserContent");
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(log, "WQDirectory ===> Error creating App Directory\nWQDirectory ===> Error creating UserContent Directory\n");
    fs::remove(data / "Vantreo" / "default");
}
