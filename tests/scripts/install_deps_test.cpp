// scripts/install-deps next to another package manager: while that one holds apt's locks (the
// package lists' lock of an `apt-get update`, the package manager's lock of an install), the
// script waits for it and then goes on, instead of failing at once.
//
// apt runs against a private root (APT_CONFIG: its own status file, package lists and caches,
// no sources), so the locks are the test's own and the system's package manager is never
// touched; the package the copied script asks for exists nowhere, which apt reports once it is
// past the locks.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ChildProcess.h"
#include "Standin.h"
#include "TestFiles.h"

namespace fs = std::filesystem;
using testsupport::ChildProcess;

namespace {

// A write lock on `file` as apt takes it (fcntl), held by this process until release().
class AptLock {
public:
    explicit AptLock(const fs::path& file) : fd_(open(file.c_str(), O_RDWR | O_CREAT, 0640)) {
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        held_ = fd_ >= 0 && fcntl(fd_, F_SETLK, &lock) == 0;
    }
    ~AptLock() { release(); }
    bool held() const { return held_; }
    void release() {
        if (fd_ >= 0) close(fd_);  // closing drops the process's locks on the file
        fd_ = -1;
        held_ = false;
    }

private:
    int fd_ = -1;
    bool held_ = false;
};

}  // namespace

TEST(InstallDeps, WaitsForAnotherPackageManagerAndGoesOn) {
    if (geteuid() != 0) GTEST_SKIP() << "install-deps asks sudo for apt when not root, which drops APT_CONFIG";
    const fs::path root = testsupport::makeTemporaryDirectory("install-deps");
    for (const char* folder : {"scripts", "dpkg", "lists/partial", "cache/archives/partial", "sources.list.d"})
        fs::create_directories(root / folder);
    testsupport::writeFile(root / "dpkg" / "status", "");
    testsupport::writeFile(root / "sources.list", "");
    testsupport::writeFile(root / "apt.conf",
                           "Dir::State::status \"" + (root / "dpkg" / "status").string() + "\";\n"
                           "Dir::State::Lists \"" + (root / "lists").string() + "\";\n"
                           "Dir::Cache \"" + (root / "cache").string() + "\";\n"
                           "Dir::Etc::SourceList \"" + (root / "sources.list").string() + "\";\n"
                           "Dir::Etc::SourceParts \"" + (root / "sources.list.d").string() + "\";\n");
    // The script as it is, with a package list of its own.
    fs::copy_file(PARLIVO_SOURCE_DIR "/scripts/install-deps", root / "scripts" / "install-deps");
    testsupport::writeFile(root / "scripts" / "debian-packages.txt", "# nothing real\nparlivo-absent-package\n");

    // Another apt refreshes the lists while a third one installs.
    AptLock lists(root / "lists" / "lock");
    AptLock packageManager(root / "dpkg" / "lock-frontend");
    ASSERT_TRUE(lists.held() && packageManager.held());

    ChildProcess script({{"/bin/bash", (root / "scripts" / "install-deps").string()},
                         {{"APT_CONFIG", (root / "apt.conf").string()}, {"PARLIVO_APT_LOCK_WAIT", "600"}},
                         {},
                         {}});
    ASSERT_TRUE(script.started()) << script.startError();
    ASSERT_TRUE(script.waitForLine("waiting for it", 60)) << script.output();
    EXPECT_TRUE(script.running()) << script.output();
    lists.release();
    // Past the lists, apt waits for the package manager's lock and says so.
    ASSERT_TRUE(script.waitForLine("Waiting for cache lock", 60)) << script.output();
    EXPECT_TRUE(script.running()) << script.output();
    packageManager.release();

    ASSERT_TRUE(script.waitForExit(120)) << script.output();
    EXPECT_TRUE(script.waitForLine("Unable to locate package parlivo-absent-package", 0)) << script.output();
    EXPECT_EQ(script.output().find("E: Could not get lock"), std::string::npos) << script.output();
    std::error_code ignored;
    fs::remove_all(root, ignored);
}
