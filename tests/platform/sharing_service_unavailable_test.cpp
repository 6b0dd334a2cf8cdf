// Without a mail program the compose service does not exist. GIO reads its handler tables once
// per process, so this case is a program of its own, with handler folders that hold none: the
// test's own data and config folders are empty, and the system's are replaced by an empty one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "system/SharingService.h"

TEST(SharingServiceUnavailableTest, NoMailProgramMeansNoService) {
    const auto empty = std::filesystem::path(std::getenv("TMPDIR")) / "no-applications";
    std::filesystem::create_directories(empty);
    setenv("XDG_DATA_DIRS", empty.c_str(), 1);
    setenv("XDG_CONFIG_DIRS", empty.c_str(), 1);
    EXPECT_EQ(platform::SharingService::named(platform::SharingService::composeEmail), nullptr);
}
