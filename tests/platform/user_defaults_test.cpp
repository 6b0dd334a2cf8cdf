#include "foundation/Log.h"
#include "foundation/UserDefaults.h"
#include "foundation/UserDefaultsTesting.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <condition_variable>
#include <csignal>
#include <ctime>
#include <functional>
#include <thread>

#include "RunLoop.h"
#include "foundation/NotificationCenter.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

using platform::PropertyList;
using platform::UserDefaults;
namespace fs = std::filesystem;

namespace {

std::mutex logMutex;
std::vector<std::string> logLines;

void captureLog(std::string_view message, platform::LogLevel) {
    std::lock_guard lock(logMutex);
    logLines.emplace_back(message);
}

// Root writes into any folder. While one of these lives, the calling thread obeys file permissions
// like any user: it drops the override from its effective capabilities and takes it back at the
// end. Capabilities are a thread's own: a thread started meanwhile (the store's writer) keeps the
// reduced set for good.
class ObeyFilePermissions {
public:
    ObeyFilePermissions() {
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        dropped_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~ObeyFilePermissions() {
        if (dropped_) syscall(SYS_capset, &header_, saved_);
    }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};

class UserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::path(::testing::TempDir()) / info->name();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        file_ = folder_ / "defaults.plist";
        logLines.clear();
        platform::setSystemLogSink(&captureLog);
    }
    void TearDown() override { platform::setSystemLogSink(nullptr); }

    std::string readFile() const {
        std::ifstream stream(file_, std::ios::binary);
        return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    }
    void writeFile(const std::string& bytes) const { std::ofstream(file_, std::ios::binary) << bytes; }
    std::vector<fs::path> folderContents() const {
        std::vector<fs::path> names;
        for (const auto& entry : fs::directory_iterator(folder_)) names.push_back(entry.path().filename());
        return names;
    }

    fs::path folder_;
    fs::path file_;
};

}  // namespace

TEST_F(UserDefaultsTest, MissingKeysReadAsFalseZeroOrNone) {
    UserDefaults defaults(file_);
    EXPECT_FALSE(defaults.object("missing"));
    EXPECT_FALSE(defaults.boolForKey("missing"));
    EXPECT_EQ(defaults.integerForKey("missing"), 0);
    EXPECT_EQ(defaults.doubleForKey("missing"), 0.0);
    EXPECT_FALSE(defaults.stringForKey("missing"));
    EXPECT_FALSE(defaults.dataForKey("missing"));
    EXPECT_FALSE(defaults.arrayForKey("missing"));
    EXPECT_FALSE(defaults.dictionaryForKey("missing"));
    EXPECT_FALSE(fs::exists(file_));  // reading writes nothing
}

TEST_F(UserDefaultsTest, ValuesKeepTheirTypeAcrossReload) {
    {
        UserDefaults defaults(file_);
        defaults.setBool("flag", true);
        defaults.setInteger("count", -12);
        defaults.setDouble("alpha", 0.25);
        defaults.setString("name", "Zoë");
        defaults.setData("blob", {1, 2, 3});
        defaults.set("list", PropertyList::Array{1, "two"});
        defaults.set("map", PropertyList::Dictionary{{"k", 1.5}});
        defaults.set("when", PropertyList::Date{1000.0});
    }  // an object that goes writes what it has not written yet
    UserDefaults reloaded(file_);
    EXPECT_EQ(reloaded.object("flag"), PropertyList(true));
    EXPECT_EQ(reloaded.object("count"), PropertyList(-12));
    EXPECT_EQ(reloaded.object("alpha"), PropertyList(0.25));
    EXPECT_EQ(reloaded.stringForKey("name"), "Zoë");
    EXPECT_EQ(reloaded.dataForKey("blob"), (PropertyList::Data{1, 2, 3}));
    EXPECT_EQ(reloaded.arrayForKey("list"), (PropertyList::Array{1, "two"}));
    EXPECT_EQ(reloaded.dictionaryForKey("map"), (PropertyList::Dictionary{{"k", 1.5}}));
    EXPECT_EQ(reloaded.object("when"), PropertyList(PropertyList::Date{1000.0}));
    // The file is an XML property list, and numbers in it do not depend on the locale.
    const std::string xml = readFile();
    EXPECT_NE(xml.find("<real>0.25"), std::string::npos);
}

TEST_F(UserDefaultsTest, UserValuesOverrideRegisteredDefaults) {
    UserDefaults defaults(file_);
    defaults.registerDefaults(PropertyList::Dictionary{{"sound", true}, {"alpha", 0.8}});
    defaults.registerDefaults(PropertyList("not a dictionary"));
    EXPECT_TRUE(defaults.boolForKey("sound"));
    defaults.setBool("sound", false);
    EXPECT_FALSE(defaults.boolForKey("sound"));
    defaults.remove("sound");
    EXPECT_TRUE(defaults.boolForKey("sound"));
    defaults.set("alpha", nullptr);  // null removes
    EXPECT_EQ(defaults.doubleForKey("alpha"), 0.8);
    // Registered values are never written to the file.
    ASSERT_TRUE(defaults.synchronize());
    auto stored = PropertyList::parse(readFile());
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->size(), 0u);
}

TEST_F(UserDefaultsTest, NumberReadersCoerceLikeApple) {
    UserDefaults defaults(file_);
    const struct {
        PropertyList value;
        bool asBool;
        std::int64_t asInteger;
        double asDouble;
        std::optional<std::string> asString;
    } cases[] = {
        {true, true, 1, 1.0, "1"},
        {false, false, 0, 0.0, "0"},
        {42, true, 42, 42.0, "42"},
        {-2.75, true, -2, -2.75, "-2.75"},
        {0.0, false, 0, 0.0, "0"},
        {1e30, true, std::numeric_limits<std::int64_t>::max(), 1e30, "1e+30"},
        {"17", true, 17, 17.0, "17"},
        {"  3.5xyz", true, 3, 3.5, "  3.5xyz"},
        {"YES", true, 0, 0.0, "YES"},
        {"true", true, 0, 0.0, "true"},
        {"no", false, 0, 0.0, "no"},
        {"abc", false, 0, 0.0, "abc"},
        {"99999999999999999999", true, std::numeric_limits<std::int64_t>::max(), 1e20, "99999999999999999999"},
        {PropertyList::Data{1}, false, 0, 0.0, std::nullopt},
        {PropertyList::Array{1}, false, 0, 0.0, std::nullopt},
    };
    for (const auto& c : cases) {
        defaults.set("key", c.value);
        const std::string name = c.value.toXml();
        EXPECT_EQ(defaults.boolForKey("key"), c.asBool) << name;
        EXPECT_EQ(defaults.integerForKey("key"), c.asInteger) << name;
        EXPECT_DOUBLE_EQ(defaults.doubleForKey("key"), c.asDouble) << name;
        EXPECT_EQ(defaults.stringForKey("key"), c.asString) << name;
    }
}

TEST_F(UserDefaultsTest, EveryWriteLeavesOneValidFile) {
    UserDefaults defaults(file_);
    for (int i = 0; i < 20; ++i) {
        defaults.setInteger("counter", i);
        ASSERT_TRUE(defaults.synchronize());
        auto stored = PropertyList::parse(readFile());
        ASSERT_TRUE(stored);
        EXPECT_EQ((*stored)["counter"].asInt(), i);
    }
    // No temporary files are left behind.
    EXPECT_EQ(folderContents(), std::vector<fs::path>{"defaults.plist"});
}

TEST_F(UserDefaultsTest, CreatesTheSettingsFolder) {
    const fs::path nested = folder_ / "a" / "b" / "defaults.plist";
    UserDefaults defaults(nested);
    defaults.setString("x", "y");
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_TRUE(defaults.lastWriteSucceeded());
    EXPECT_EQ(UserDefaults(nested).stringForKey("x"), "y");
}

TEST_F(UserDefaultsTest, CorruptFileIsMovedAsideAndProgramContinues) {
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"garbage", "this is not a property list"},
        {"truncated xml", "<?xml version=\"1.0\"?><plist><dict><key>a</key><integer>1"},
        {"not a dictionary", PropertyList(PropertyList::Array{1, 2}).toXml()},
        {"binary garbage", "bplist00\x01\x02\x03"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& entry : fs::directory_iterator(folder_)) fs::remove(entry.path());
        logLines.clear();
        writeFile(c.bytes);

        UserDefaults defaults(file_);
        defaults.registerDefaults(PropertyList::Dictionary{{"fallback", 5}});
        EXPECT_EQ(defaults.integerForKey("fallback"), 5);
        EXPECT_FALSE(fs::exists(file_));

        auto contents = folderContents();
        ASSERT_EQ(contents.size(), 1u);
        const std::string aside = contents[0].string();
        // defaults.plist.corrupt-YYYYMMDDTHHMMSS
        ASSERT_EQ(aside.size(), std::string("defaults.plist.corrupt-20261210T134501").size()) << aside;
        EXPECT_TRUE(aside.starts_with("defaults.plist.corrupt-"));
        EXPECT_EQ(aside[31], 'T');
        std::ifstream kept(folder_ / aside, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), c.bytes);
        ASSERT_EQ(logLines.size(), 1u);
        EXPECT_NE(logLines[0].find("moved it aside"), std::string::npos);

        defaults.setBool("works", true);
        ASSERT_TRUE(defaults.synchronize());
        EXPECT_TRUE(UserDefaults(file_).boolForKey("works"));
    }
}

TEST_F(UserDefaultsTest, SecondCorruptFileDoesNotReplaceTheFirst) {
    writeFile("broken one");
    UserDefaults first(file_);
    writeFile("broken two");
    UserDefaults second(file_);
    EXPECT_EQ(folderContents().size(), 2u);
}

TEST_F(UserDefaultsTest, UnmovableCorruptFileIsNeverOverwritten) {
    if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    writeFile("broken");
    fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
    UserDefaults defaults(file_);
    defaults.setBool("x", true);
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_FALSE(defaults.lastWriteSucceeded());
    EXPECT_TRUE(defaults.boolForKey("x"));  // kept in memory
    fs::permissions(folder_, fs::perms::owner_all);
    EXPECT_EQ(readFile(), "broken");
}

// The same without folder permissions, so it runs as root too: a name so long that the
// moved-aside name would be too long for the file system.
TEST_F(UserDefaultsTest, ChangesStayInMemoryWhileAnUnmovableFileIsInTheWay) {
    file_ = folder_ / (std::string(240, 'd') + ".plist");
    writeFile("broken");
    UserDefaults defaults(file_);
    defaults.setBool("first", true);
    defaults.setInteger("second", 2);
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_FALSE(defaults.lastWriteSucceeded());
    EXPECT_TRUE(defaults.boolForKey("first"));
    EXPECT_EQ(defaults.integerForKey("second"), 2);
    EXPECT_EQ(readFile(), "broken");
}

TEST_F(UserDefaultsTest, ChangesFromAnotherProcessAreKept) {
    UserDefaults ours(file_);
    ours.setInteger("mine", 1);
    ASSERT_TRUE(ours.synchronize());
    ours.setInteger("pending", 7);  // not written yet when the other one writes
    {
        UserDefaults theirs(file_);  // stands in for the LaunchHelper
        theirs.setInteger("theirs", 2);
    }
    ours.setInteger("mine", 3);
    EXPECT_EQ(ours.integerForKey("theirs"), 2) << "the other's write is read again";
    ASSERT_TRUE(ours.synchronize());
    UserDefaults check(file_);
    EXPECT_EQ(check.integerForKey("mine"), 3);
    EXPECT_EQ(check.integerForKey("pending"), 7);
    EXPECT_EQ(check.integerForKey("theirs"), 2);
}

// A burst of changes (a slider dragged, a fade's steps) is written once, by the store's thread,
// and the caller never waits for the disk meanwhile.
TEST_F(UserDefaultsTest, ABurstOfChangesIsOneWriteOffTheMainThread) {
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, folder_.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE), 0);
    int seen = 0;
    auto writesOfTheFile = [&] {
        // Each atomic write ends with a rename onto the settings file.
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = read(watch, buffer, sizeof buffer)) > 0;) {
            for (char* p = buffer; p < buffer + n;) {
                auto* event = reinterpret_cast<inotify_event*>(p);
                if ((event->mask & IN_MOVED_TO) && event->len && std::string(event->name) == "defaults.plist") ++seen;
                p += sizeof(inotify_event) + event->len;
            }
        }
        return seen;
    };

    std::mutex mutex;
    std::vector<std::thread::id> writers;
    platform::setUserDefaultsWriteHook([&](const fs::path& file) {
        std::lock_guard lock(mutex);
        if (file == file_) writers.push_back(std::this_thread::get_id());
    });

    UserDefaults defaults(file_);
    for (int step = 0; step <= 50; ++step) defaults.setDouble("alpha", step / 50.0);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("alpha"), 1.0) << "in memory at once";
    EXPECT_FALSE(fs::exists(file_)) << "nothing written while the burst lasts";

    // The rename onto the settings file ends the write.
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return writesOfTheFile() == 1; }, 10.0));
    EXPECT_EQ(UserDefaults(file_).doubleForKey("alpha"), 1.0);
    EXPECT_TRUE(defaults.synchronize());  // nothing left to write
    EXPECT_EQ(writesOfTheFile(), 1);
    platform::setUserDefaultsWriteHook(nullptr);
    ASSERT_EQ(writers.size(), 1u);
    EXPECT_NE(writers[0], std::this_thread::get_id()) << "not written on the main thread";
    close(watch);
}

// Holds the store's writes of one file at the point where the copy is taken and the file not yet
// touched, until released.
class HeldWrites {
public:
    explicit HeldWrites(fs::path file) : file_(std::move(file)) {
        platform::setUserDefaultsWriteHook([this](const fs::path& file) {
            if (file != file_) return;
            std::unique_lock lock(mutex_);
            ++started_;
            changed_.notify_all();
            // Released by the test's thread: if that thread waits for the write instead (a lock
            // held across the file), nothing releases it.
            if (!changed_.wait_until(lock, testsupport::deadlineAfter(30.0), [&] { return released_; }))
                ADD_FAILURE() << "a write under way held up the thread that changes and reads";
        });
    }
    ~HeldWrites() {
        release();
        platform::setUserDefaultsWriteHook(nullptr);
    }
    int started() {
        std::lock_guard lock(mutex_);
        return started_;
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        changed_.notify_all();
    }

private:
    fs::path file_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int started_ = 0;
    bool released_ = false;
};

// A change made while the store's thread writes is not counted as written: the next write takes
// it. Readers and changes go on while the file is being written.
TEST_F(UserDefaultsTest, AChangeDuringAWriteIsWrittenByTheNext) {
    HeldWrites held(file_);
    UserDefaults defaults(file_);
    defaults.setInteger("k", 1);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return held.started() == 1; }, 10.0));
    // The write holds its copy (k = 1) and has not touched the file.
    defaults.setInteger("k", 2);
    defaults.setString("later", "yes");
    defaults.remove("gone");
    EXPECT_EQ(defaults.integerForKey("k"), 2) << "a reader does not wait for the write";
    held.release();

    // No synchronize(): the write after the change's own delay brings both.
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return UserDefaults(file_).integerForKey("k") == 2; }, 10.0));
    EXPECT_EQ(UserDefaults(file_).stringForKey("later"), "yes");
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_TRUE(defaults.lastWriteSucceeded());
}

// synchronize() (at quit) while the store's thread writes an older copy: the
// two do not interleave, and the file ends with every change made before synchronize().
TEST_F(UserDefaultsTest, SynchronizeWaitsForAWriteUnderWayAndWritesAfterIt) {
    auto held = std::make_unique<HeldWrites>(file_);
    UserDefaults defaults(file_);
    defaults.setInteger("k", 1);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return held->started() == 1; }, 10.0));
    defaults.setInteger("k", 2);
    bool synchronized = false;
    std::thread quitting([&] { synchronized = defaults.synchronize(); });
    held->release();
    quitting.join();
    EXPECT_TRUE(synchronized);
    EXPECT_EQ(held->started(), 2) << "one write each, one after the other";
    held.reset();
    EXPECT_EQ(UserDefaults(file_).integerForKey("k"), 2) << "the older copy did not land last";
    EXPECT_EQ(folderContents(), std::vector<fs::path>{"defaults.plist"});
}

// What is not written yet reaches the file when the program ends through the C library's exit,
// without running any shutdown of its own.
TEST_F(UserDefaultsTest, TheStandardStoreIsWrittenAtExit) {
    const fs::path config = folder_ / "config";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        UserDefaults::standard().setString("written", "at exit");
        std::exit(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(UserDefaults(config / "net.vantreo.mac.WhatsApp" / "defaults.plist").stringForKey("written"), "at exit");
}

TEST_F(UserDefaultsTest, StandardUsesXdgConfigHome) {
    UserDefaults& standard = UserDefaults::standard();
    EXPECT_EQ(standard.filePath(),
              fs::path(std::getenv("XDG_CONFIG_HOME")) / "net.vantreo.mac.WhatsApp" / "defaults.plist");
    EXPECT_EQ(&standard, &UserDefaults::standard());
}

TEST_F(UserDefaultsTest, UrlsReadBackAsUrls) {
    UserDefaults defaults(file_);
    defaults.setURL("web", "https://example.org/a?b=c");
    defaults.setURL("file", "/tmp/my sound.aiff");
    defaults.setString("relative", "sound.aiff");
    EXPECT_EQ(defaults.urlForKey("web"), "https://example.org/a?b=c");
    EXPECT_EQ(defaults.urlForKey("file"), "file:///tmp/my%20sound.aiff");
    EXPECT_FALSE(defaults.urlForKey("relative"));
    EXPECT_FALSE(defaults.urlForKey("missing"));
}

// Before the process ends without its normal shutdown, synchronize() writes what a failed write
// left in memory (a file where the settings folder should be, here).
TEST_F(UserDefaultsTest, SynchronizeWritesWhatAFailedWriteLeftInMemory) {
    const fs::path blocked = folder_ / "blocked";
    std::ofstream(blocked) << "not a folder";
    file_ = blocked / "defaults.plist";
    UserDefaults defaults(file_);
    defaults.setInteger("kept", 7);
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_FALSE(defaults.lastWriteSucceeded());
    fs::remove(blocked);
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_EQ(UserDefaults(file_).integerForKey("kept"), 7);
    EXPECT_TRUE(defaults.synchronize());
}

// A write that fails leaves the old file as it was and keeps the change; the failure is told once,
// however often the retries fail, and the change reaches the file by itself once writing works
// again, which is told too. Two ways to fail: a read-only folder, and no room for the file (a
// file size limit stands in for a full disk).
TEST_F(UserDefaultsTest, AFailedWriteKeepsTheOldFileIsToldOnceAndIsRetriedUntilItWorks) {
    struct Case {
        const char* what;
        std::function<std::function<void()>(const fs::path& folder)> fail;  // returns the undo
    } cases[] = {
        {"read-only folder",
         [](const fs::path& folder) -> std::function<void()> {
             fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
             return [folder] { fs::permissions(folder, fs::perms::owner_all); };
         }},
        {"no room for the file",
         [](const fs::path&) -> std::function<void()> {
             rlimit saved{};
             getrlimit(RLIMIT_FSIZE, &saved);
             rlimit tiny = saved;
             tiny.rlim_cur = 64;
             std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending us
             setrlimit(RLIMIT_FSIZE, &tiny);
             return [saved] { setrlimit(RLIMIT_FSIZE, &saved); };
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        // For the whole case, so that the store's writer, started from this thread, obeys too.
        ObeyFilePermissions obey;
        auto defaults = std::make_unique<UserDefaults>(file_);
        std::vector<std::string> told;
        auto failed = platform::NotificationCenter::defaultCenter().addObserver(
            UserDefaults::writeFailedNotification, defaults.get(), [&](const platform::Notification& note) {
                const auto* reason = note.info<std::string>("reason");
                told.push_back("failed: " + (reason ? *reason : std::string("?")));
            });
        auto recovered = platform::NotificationCenter::defaultCenter().addObserver(
            UserDefaults::writeRecoveredNotification, defaults.get(),
            [&](const platform::Notification&) { told.push_back("recovered"); });
        defaults->setString("old", "value");
        ASSERT_TRUE(defaults->synchronize());
        const std::string before = readFile();

        auto undo = c.fail(folder_);
        defaults->setString("new", std::string(200, 'x'));
        EXPECT_FALSE(defaults->synchronize());
        EXPECT_FALSE(defaults->synchronize());
        // Two retries by the store's thread fail as well; synchronize() waits for one under way.
        ASSERT_TRUE(testsupport::runLoopPastTimer(UserDefaults::kWriteDelaySeconds * 3.5));
        EXPECT_FALSE(defaults->synchronize());
        ASSERT_TRUE(testsupport::drainMainQueue());
        EXPECT_EQ(readFile(), before) << "the old file stays as it was";
        EXPECT_EQ(defaults->stringForKey("new"), std::string(200, 'x')) << "kept in memory";
        ASSERT_EQ(told.size(), 1u);
        EXPECT_TRUE(told[0].starts_with("failed: ")) << told[0];
        EXPECT_GT(told[0].size(), std::string("failed: ").size()) << "with the reason";

        undo();
        // No further change: a retry writes it.
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return UserDefaults(file_).stringForKey("new").has_value(); },
                                              UserDefaults::kWriteDelaySeconds * 10));
        EXPECT_EQ(UserDefaults(file_).stringForKey("old"), "value");
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return told.size() == 2; }));
        EXPECT_EQ(told[1], "recovered");
        EXPECT_TRUE(defaults->lastWriteSucceeded());
        EXPECT_TRUE(defaults->synchronize());
        EXPECT_EQ(folderContents(), std::vector<fs::path>{"defaults.plist"}) << "no temporary left";
    }
}

// Temporary files of a settings writer that was killed between writing and renaming are removed
// when a store is made, but only ours: the exact name pattern, plain files in the settings
// folder, untouched for a minute (a younger one may be a live writer's, the LaunchHelper's).
TEST_F(UserDefaultsTest, StaleTemporariesOfAKilledWriterAreRemovedAtStart) {
    const auto aged = [](const fs::path& path, int seconds) {
        const timespec when[2] = {{std::time(nullptr) - seconds, 0}, {std::time(nullptr) - seconds, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), when, AT_SYMLINK_NOFOLLOW), 0) << path;
    };
    const fs::path elsewhere = fs::path(::testing::TempDir()) / "stale-target";
    std::ofstream(elsewhere) << "someone else's";
    struct Case {
        std::string name;
        int ageSeconds;
        bool removed;
        const char* kind = "file";
    } cases[] = {
        {"defaults.plist.AbC123", 3600, true},
        {"defaults.plist.zz9ZZ9", 120, true},
        {"defaults.plist.Fresh1", 5, false},  // a live writer's, perhaps
        {"defaults.plist.corrupt-20260101T000000", 3600, false},
        {"defaults.plist.abc12", 3600, false},
        {"defaults.plist.abc1234", 3600, false},
        {"defaults.plist.ab-123", 3600, false},
        {"other.plist.AbC123", 3600, false},
        {"defaults.plist.Link12", 3600, false, "link"},
        {"defaults.plist.Dir123", 3600, false, "folder"},
    };
    writeFile("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>kept</key><true/></dict></plist>");
    for (const auto& c : cases) {
        const fs::path path = folder_ / c.name;
        if (std::string_view(c.kind) == "link") {
            fs::create_symlink(elsewhere, path);
        } else if (std::string_view(c.kind) == "folder") {
            fs::create_directory(path);
        } else {
            std::ofstream(path) << "<?xml half";
        }
        aged(path, c.ageSeconds);
    }
    UserDefaults defaults(file_);
    EXPECT_TRUE(defaults.boolForKey("kept"));
    for (const auto& c : cases)
        EXPECT_EQ(fs::exists(fs::symlink_status(folder_ / c.name)), !c.removed) << c.name;
    EXPECT_TRUE(fs::exists(elsewhere));
}
