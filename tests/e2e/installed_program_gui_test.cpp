// `cmake --install` into a fresh prefix gives a program that starts the way the build tree's does
// with no server of ours: the installed executable finds its installed resources, reads the
// configuration payload installed beside it through its one client (a file: URL, verified), and
// goes on to load the configured page in its main window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "RunLoop.h"
#include "Standin.h"

namespace fs = std::filesystem;
using testsupport::HostedProgram;
using testsupport::ProgramHome;

TEST(InstalledProgram, StartsFromThePayloadInstalledWithIt) {
    const fs::path prefix = testsupport::makeTemporaryDirectory("installed-program");
    const std::string install = std::string(PARLIVO_CMAKE_COMMAND) + " --install " PARLIVO_BUILD_DIR " --prefix " +
                                prefix.string() + " >" + (prefix / "install.log").string() + " 2>&1";
    ASSERT_EQ(std::system(install.c_str()), 0) << install;
    const fs::path program = prefix / "bin" / "parlivo-for-whatsapp";
    const fs::path payload = prefix / "share" / "parlivo-for-whatsapp" / "config" / "default.payload";
    ASSERT_TRUE(fs::is_regular_file(program));
    ASSERT_TRUE(fs::is_regular_file(payload));

    // Nothing of the build tree: no resource folder named, a fresh home.
    ProgramHome home;
    auto options = home.options({{"-de"}, {}, {}});
    ASSERT_EQ(std::getenv("PARLIVO_RESOURCE_DIR"), nullptr) << "the test's environment names a resource folder";
    auto run = HostedProgram::launch({program.string()}, options);
    EXPECT_TRUE(run->waitForOutput("DynamicData ===> Downloading Data from file://" + payload.string(), 90)) << run->output();
    EXPECT_TRUE(run->waitForOutput("DynamicData ===> Downloaded data verified successfully", 60)) << run->output();
    EXPECT_TRUE(run->waitForOutput("DynamicData ===> Load Values:", 60)) << run->output();
    // The configured page is loaded in the web view (with no network here it fails and the
    // configuration's could-not-connect page takes its place; either way the window is up).
    EXPECT_TRUE(run->waitForOutput("ViewController ===> DEFAULT LOADING", 60) ||
                run->waitForOutput("ViewController ===> CUSTOM LOADING", 0))
        << run->output();
    EXPECT_EQ(run->output().find("Error Downloading"), std::string::npos) << run->output();
    const std::string window = "timeout " + std::to_string(int(60 * testsupport::timeScale())) +
                               " xdotool search --sync --onlyvisible --pid " + std::to_string(run->pid()) +
                               " --name 'Parlivo' >/dev/null 2>&1";
    EXPECT_EQ(std::system(window.c_str()), 0) << "no main window";
    EXPECT_EQ(run->stop(), 0) << run->output();
    run.reset();
    std::error_code ignored;
    fs::remove_all(prefix, ignored);
}
