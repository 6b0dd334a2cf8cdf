#include <gtest/gtest.h>

#include "system/SharingService.h"

// The test's own XDG folders name no "mailto:" handler, and the system's (a build machine)
// has none either; where it has one, there is nothing to check here.
TEST(SharingServiceUnavailableTest, NoMailProgramMeansNoService) {
    if (platform::SharingService::named(platform::SharingService::composeEmail))
        GTEST_SKIP() << "this machine has a mail program";
    SUCCEED();
}
