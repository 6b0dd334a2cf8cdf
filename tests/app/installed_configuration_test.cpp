// `cmake --install` into a fresh prefix gives a program that reaches its configuration with no
// server of ours: the installed Info.plist names the payload installed beside it, and the
// program's one configuration client reads and verifies it as a file: URL.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "RunLoop.h"
#include "config/DynamicData.h"
#include "foundation/Bundle.h"

namespace fs = std::filesystem;
using namespace parlivo;

namespace {

struct Delegate : DynamicDataDelegate {
    std::vector<bool> results;
    void handleConfigurationResult(bool success) override { results.push_back(success); }
};

}  // namespace

TEST(InstalledConfiguration, InstalledProgramReadsThePayloadInstalledWithIt) {
    const fs::path prefix = fs::path(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") / "installed";
    fs::remove_all(prefix);
    const std::string install = std::string(PARLIVO_CMAKE_COMMAND) + " --install " PARLIVO_BUILD_DIR " --prefix " +
                                prefix.string() + " >" + (prefix.string() + ".log") + " 2>&1";
    ASSERT_EQ(std::system(install.c_str()), 0) << install;
    const fs::path resources = prefix / "share" / "parlivo-for-whatsapp";
    ASSERT_TRUE(fs::is_regular_file(resources / "config" / "default.payload"));

    // The program's resource folder is the installed one, as for the installed executable.
    setenv("PARLIVO_RESOURCE_DIR", resources.c_str(), 1);
    ASSERT_EQ(platform::Bundle::main().resourcePath(), resources);
    auto& configuration = DynamicData::shared();
    EXPECT_EQ(configuration.configurationURL(), "file://" + (resources / "config" / "default.payload").string());
    std::mutex mutex;
    std::vector<std::string> log;
    configuration.setLogObserver([&](std::string_view line) {
        std::lock_guard lock(mutex);
        log.emplace_back(line);
    });
    auto delegate = std::make_shared<Delegate>();
    configuration.delegate = delegate;
    configuration.startDownload();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !delegate->results.empty(); }, 30));
    EXPECT_EQ(delegate->results, std::vector<bool>{true}) << configuration.errorDescription.value_or("");
    EXPECT_EQ(configuration.pageURL(), "https://web.whatsapp.com/");
    configuration.delegate.reset();
    configuration.setLogObserver(nullptr);
    fs::remove_all(prefix);
}
