// Folders: XDG locations, a private per-user temporary base that cannot be hijacked, group
// containers, and unique names that tell whether their owning process still runs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "foundation/FileManager.h"

namespace fs = std::filesystem;
using platform::FileManager;

namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// A scratch folder of this test, private like the runner's.
fs::path scratch(const std::string& name) {
    const char* tmp = std::getenv("TMPDIR");
    fs::path path = fs::path(tmp ? tmp : "/tmp") / ("fm-test-" + std::to_string(getpid()) + "-" + name);
    fs::remove_all(path);
    fs::create_directories(path);
    chmod(path.c_str(), 0700);
    return path;
}

std::string uid() { return std::to_string(geteuid()); }

}  // namespace

TEST(FileManager, XdgFoldersFollowTheEnvironmentAndIgnoreRelativePaths) {
    const fs::path base = scratch("xdg");
    {
        ScopedEnv data("XDG_DATA_HOME", (base / "data").c_str());
        ScopedEnv cache("XDG_CACHE_HOME", (base / "cache").c_str());
        ScopedEnv config("XDG_CONFIG_HOME", (base / "config").c_str());
        EXPECT_EQ(FileManager::applicationSupportDirectory(), base / "data");
        EXPECT_EQ(FileManager::cachesDirectory(), base / "cache");
        EXPECT_EQ(FileManager::configDirectory(), base / "config");
    }
    ScopedEnv home("HOME", base.c_str());
    ScopedEnv data("XDG_DATA_HOME", "relative/data");
    ScopedEnv cache("XDG_CACHE_HOME", nullptr);
    EXPECT_EQ(FileManager::applicationSupportDirectory(), base / ".local/share");
    EXPECT_EQ(FileManager::cachesDirectory(), base / ".cache");
}

TEST(FileManager, TemporaryBaseIsPrivateInTheRuntimeFolder) {
    const fs::path runtime = scratch("runtime");
    ScopedEnv env("XDG_RUNTIME_DIR", runtime.c_str());
    const fs::path base = FileManager::temporaryDirectory();
    EXPECT_EQ(base, runtime / "parlivo-for-whatsapp");
    EXPECT_EQ(modeOf(base), 0700u);
    EXPECT_EQ(FileManager::temporaryDirectory(), base);
}

TEST(FileManager, TemporaryBaseFallsBackToTmpdirWithTheUserId) {
    const fs::path tmp = scratch("tmpdir");
    const fs::path openRuntime = scratch("open-runtime");
    chmod(openRuntime.c_str(), 0755);  // not a valid runtime folder
    struct Case {
        const char* runtime;
        const char* why;
    } cases[] = {{nullptr, "unset"}, {"relative/run", "relative"}, {openRuntime.c_str(), "mode 0755"}};
    ScopedEnv tmpdir("TMPDIR", tmp.c_str());
    for (const auto& c : cases) {
        ScopedEnv env("XDG_RUNTIME_DIR", c.runtime);
        const fs::path base = FileManager::temporaryDirectory();
        EXPECT_EQ(base, tmp / ("parlivo-for-whatsapp-" + uid())) << c.why;
        EXPECT_EQ(modeOf(base), 0700u) << c.why;
    }
}

TEST(FileManager, TemporaryBaseRefusesANameThatIsNotOurPrivateFolder) {
    const fs::path tmp = scratch("hostile");
    ScopedEnv tmpdir("TMPDIR", tmp.c_str());
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    const fs::path expected = tmp / ("parlivo-for-whatsapp-" + uid());
    const fs::path elsewhere = scratch("elsewhere");

    // Another user's planted link to a folder of theirs: never followed.
    fs::create_directory_symlink(elsewhere, expected);
    const fs::path base = FileManager::temporaryDirectory();
    EXPECT_NE(base, expected);
    EXPECT_EQ(base.parent_path(), tmp);
    EXPECT_EQ(modeOf(base), 0700u);
    EXPECT_TRUE(fs::is_directory(base) && !fs::is_symlink(base));
    // The replacement holds for the rest of the process.
    EXPECT_EQ(FileManager::temporaryDirectory(), base);
}

TEST(FileManager, OwnFolderWithWideModeIsNarrowedAndForeignOneRefused) {
    const fs::path parent = scratch("modes");
    const fs::path wide = parent / "wide";
    fs::create_directory(wide);
    chmod(wide.c_str(), 0777);
    EXPECT_TRUE(FileManager::makePrivateDirectory(wide));
    EXPECT_EQ(modeOf(wide), 0700u);

    const fs::path file = parent / "file";
    std::ofstream(file) << "x";
    EXPECT_FALSE(FileManager::makePrivateDirectory(file));

    if (geteuid() == 0) {  // only root can hand a folder to another user
        const fs::path foreign = parent / "foreign";
        fs::create_directory(foreign);
        ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(FileManager::makePrivateDirectory(foreign));
    }
}

TEST(FileManager, GroupContainerIsAPrivateFolderForPlainGroupNames) {
    const fs::path runtime = scratch("group");
    ScopedEnv env("XDG_RUNTIME_DIR", runtime.c_str());
    auto container = FileManager::groupContainer();
    ASSERT_TRUE(container);
    EXPECT_EQ(*container, runtime / "net.vantreo.mac.WhatsApp.share");
    EXPECT_EQ(modeOf(*container), 0700u);

    for (const char* bad : {"", ".", "..", "a/b", "../escape"}) EXPECT_FALSE(FileManager::groupContainer(bad)) << bad;

    const fs::path tmp = scratch("group-tmp");
    ScopedEnv tmpdir("TMPDIR", tmp.c_str());
    ScopedEnv noRuntime("XDG_RUNTIME_DIR", nullptr);
    EXPECT_EQ(FileManager::groupContainer("group.x"), tmp / ("group.x-" + uid()));
}

TEST(FileManager, UniqueStringsNameTheirProcess) {
    const std::string a = FileManager::globallyUniqueString();
    const std::string b = FileManager::globallyUniqueString();
    EXPECT_NE(a, b);
    const std::regex shape("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}-([0-9]+)-[0-9A-F]+");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(a, match, shape)) << a;
    EXPECT_EQ(match[1].str(), std::to_string(getpid()));
    EXPECT_FALSE(FileManager::isOwnerGone(a));
}

TEST(FileManager, OwnerGoneOnlyForOurNamesOfEndedProcesses) {
    const std::string uuid = "0B6F3A52-8E1C-4D7A-9F00-11AA22BB33CC";
    const auto startHex = [](int pid) {
        char text[32];
        std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(*FileManager::processStartTime(pid)));
        return std::string(text);
    };
    const std::string self = std::to_string(getpid());

    // A child that has exited and been reaped: its pid is free.
    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    const std::string childStart = [&] {
        // Reading the start time may race the exit; a zero start time still names a free pid.
        auto start = FileManager::processStartTime(child);
        char text[32];
        std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(start.value_or(1)));
        return std::string(text);
    }();
    int status = 0;
    waitpid(child, &status, 0);

    struct Case {
        std::string name;
        bool gone;
    } cases[] = {
        {uuid + "-" + self + "-" + startHex(getpid()), false},                     // this process
        {uuid + "-" + self + "-" + "1", true},                                      // our pid, reused
        {uuid + "-" + self + "-0", false},                                          // start unknown: spared
        {uuid + "-" + std::to_string(child) + "-" + childStart, true},              // ended
        {uuid + "-99999999-1", true},                                               // no such pid
        {uuid + "-0-1", false},                                                     // process group, not ours
        {uuid + "--1-1", false},
        {"WQtemp" + uuid, false},                                                   // another kind of folder
        {"0B6F3A52-8E1C-4D7A-9F00-11AA22BB33C-99999999-1", false},                  // not a UUID
        {uuid + "-99999999-zz", false},
        {"notes.txt", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(FileManager::isOwnerGone(c.name), c.gone) << c.name;
}

// The one reader of files from outside: regular files only, always bounded, never blocking on a
// pipe or running on without end on a device, never throwing.
TEST(FileManager, ContentsAreReadOnlyFromRegularFilesAndOnlyUpToTheBound) {
    using Links = FileManager::Links;
    const fs::path folder = scratch("contents");
    const std::string bytes("plist\0with a NUL", 16);
    std::ofstream(folder / "file", std::ios::binary) << bytes;
    std::ofstream(folder / "empty", std::ios::binary);
    fs::create_symlink(folder / "file", folder / "link");
    ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0600), 0);  // no writer: opening it must not wait

    EXPECT_EQ(FileManager::contentsAtPath(folder / "file", bytes.size()).value_or("<failed>"), bytes);
    EXPECT_EQ(FileManager::contentsAtPath(folder / "empty", 0).value_or("<failed>"), "");
    EXPECT_EQ(FileManager::contentsAtPath(folder / "link", 100).value_or("<failed>"), bytes)
        << "links are followed unless refused";

    const struct {
        const char* what;
        fs::path path;
        std::uintmax_t bound;
        Links links;
        long code;
    } refused[] = {
        {"one byte over the bound", folder / "file", bytes.size() - 1, Links::follow, platform::FileErrorCode::tooLarge},
        {"missing", folder / "missing", 100, Links::follow, platform::FileErrorCode::missing},
        {"below a file", folder / "file" / "below", 100, Links::follow, platform::FileErrorCode::missing},
        {"a folder", folder, 100, Links::follow, platform::FileErrorCode::notARegularFile},
        {"a device without end", "/dev/zero", 1 << 20, Links::follow, platform::FileErrorCode::notARegularFile},
        {"a pipe", folder / "pipe", 100, Links::follow, platform::FileErrorCode::notARegularFile},
        {"a refused link", folder / "link", 100, Links::refuse, platform::FileErrorCode::notARegularFile},
    };
    for (const auto& c : refused) {
        const auto contents = FileManager::contentsAtPath(c.path, c.bound, c.links);
        ASSERT_FALSE(contents) << c.what;
        EXPECT_EQ(contents.error().domain, platform::FileErrorDomain) << c.what;
        EXPECT_EQ(contents.error().code, c.code) << c.what;
        EXPECT_FALSE(contents.error().message.empty()) << c.what;
    }
}
