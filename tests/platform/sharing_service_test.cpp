#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "FakeMailProgram.h"
#include "RunLoop.h"
#include "system/SharingService.h"

namespace fs = std::filesystem;

// GIO reads the handler tables once per process: the case without a mail program is its own
// test program (sharing_service_unavailable_test).
TEST(SharingServiceTest, ComposesThroughTheMailProgramWithOneEncodedURI) {
    const fs::path record = testsupport::installFakeMailProgram();
    EXPECT_EQ(platform::SharingService::named("post-to-somewhere"), nullptr);
    auto service = platform::SharingService::named(platform::SharingService::composeEmail);
    ASSERT_NE(service, nullptr);
    EXPECT_FALSE(service->canPerform({"body"}));  // no recipient yet
    service->setRecipients({"support@example.org"});
    service->setSubject("Hi & bye?");
    ASSERT_TRUE(service->canPerform({"body"}));
    ASSERT_TRUE(service->perform({"Line 1\nx=1&y=2 #", "; rm -rf ~ $(id)"}));
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return fs::exists(record); }, 10));
    std::stringstream uri;
    uri << std::ifstream(record).rdbuf();
    EXPECT_EQ(uri.str(),
              "mailto:support@example.org?subject=Hi%20%26%20bye%3F"
              "&body=Line%201%0D%0Ax%3D1%26y%3D2%20%23%3B%20rm%20-rf%20~%20%24%28id%29");
}
