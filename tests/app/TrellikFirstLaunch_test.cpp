// The very first launch carries an older "launchAtLogin" choice over to the launch-at-login
// manager: through its setter, so a login item really exists when the stored state says so.
// A program of its own: only the first settings model of a process sees a first launch.

#include <gtest/gtest.h>

#include "RunLoop.h"
#include "TrellikTestSupport.h"
#include "WQLaunchAtLoginManager.h"
#include "foundation/FileManager.h"

#include <filesystem>

using namespace parlivo;

TEST(TrellikFirstLaunch, CarriesLaunchAtLoginOverOnceThroughTheManager) {
    auto& defaults = platform::UserDefaults::standard();
    defaults.setBool(std::string(keys::launchAtLogin), true);
    {
        Trellik trellik;
        ASSERT_TRUE(testsupport::drainMainQueue());
        // The stored state and the login item (an XDG autostart entry) agree; with the helper
        // program built, both are on.
        const bool stored = defaults.boolForKey(std::string(keys::tovakLaunchAtLoginManager));
        EXPECT_EQ(stored, std::filesystem::exists(platform::FileManager::configDirectory() / "autostart" /
                                                  "net.vantreo.mac.WhatsApp-Helper.desktop"));
        if (std::filesystem::exists(std::filesystem::path(PARLIVO_LIBEXEC_DIR) / "LaunchHelper")) {
            EXPECT_TRUE(stored);
        }
    }

    // A later launch does not read "launchAtLogin" again.
    defaults.setBool(std::string(keys::tovakLaunchAtLoginManager), false);
    Trellik later;
    ASSERT_TRUE(testsupport::drainMainQueue());
    EXPECT_FALSE(defaults.boolForKey(std::string(keys::tovakLaunchAtLoginManager)));
}
