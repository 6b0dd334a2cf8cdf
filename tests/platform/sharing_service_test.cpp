#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "RunLoop.h"
#include "system/SharingService.h"

namespace fs = std::filesystem;

namespace {

fs::path env(const char* name) { return fs::path(std::getenv(name)); }

// A mail program of our own, registered as the desktop's "mailto:" handler in the test's own
// XDG folders: it writes the URI it was started with to a file.
fs::path installFakeMailProgram() {
    const fs::path record = env("TMPDIR") / "mail-uri.txt";
    const fs::path script = env("TMPDIR") / "fake-mail.sh";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << record.string() << ".part' && mv '"
                          << record.string() << ".part' '" << record.string() << "'\n";
    fs::permissions(script, fs::perms::owner_all);
    fs::create_directories(env("XDG_DATA_HOME") / "applications");
    std::ofstream(env("XDG_DATA_HOME") / "applications/fake-mail.desktop")
        << "[Desktop Entry]\nType=Application\nName=Fake Mail\nExec=" << script.string()
        << " %u\nMimeType=x-scheme-handler/mailto;\n";
    std::ofstream(env("XDG_CONFIG_HOME") / "mimeapps.list")
        << "[Default Applications]\nx-scheme-handler/mailto=fake-mail.desktop\n";
    return record;
}

}  // namespace

// GIO reads the handler tables once per process: the case without a mail program is its own
// test program (sharing_service_unavailable_test).
TEST(SharingServiceTest, ComposesThroughTheMailProgramWithOneEncodedURI) {
    const fs::path record = installFakeMailProgram();
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
