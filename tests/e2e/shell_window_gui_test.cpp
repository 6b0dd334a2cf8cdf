// The real program on the test's own X display with openbox, a fresh session bus for each
// scenario: the window's frame survives a restart,
// a start at login keeps the window hidden, and full screen comes back by the tray-mode rule.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "ClosedPort.h"

namespace fs = std::filesystem;

namespace {

// Runs one scenario of shell_session.sh with fresh settings; returns its key=value lines.
std::map<std::string, std::string> runScenario(const std::string& scenario, const std::string& settingsXml) {
    const fs::path base = fs::path(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") / ("shell-" + scenario);
    // The last scenario's accessibility bus may still be taking its socket away under us: what
    // goes meanwhile is gone all the same.
    std::error_code leftovers;
    fs::remove_all(base, leftovers);
    for (const char* sub : {"config/net.vantreo.mac.WhatsApp", "data", "cache", "runtime"})
        fs::create_directories(base / sub);
    fs::permissions(base / "runtime", fs::perms::owner_all);
    std::ofstream(base / "config/net.vantreo.mac.WhatsApp/defaults.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" << settingsXml
        << "</dict></plist>\n";
    const fs::path out = base / "result.txt";
    // No configuration server answers the program: not one of another run on this machine.
    const testsupport::ClosedPort noServer;
    const std::string command =
        "cd " + base.string() + " && PARLIVO_CONFIG_HOST=" + noServer.host() +
        " XDG_CONFIG_HOME=" + (base / "config").string() +
        " XDG_DATA_HOME=" + (base / "data").string() + " XDG_CACHE_HOME=" + (base / "cache").string() +
        " XDG_RUNTIME_DIR=" + (base / "runtime").string() +
        " dbus-run-session --config-file=" PARLIVO_SOURCE_DIR "/tests/dbus/session.conf -- " PARLIVO_SOURCE_DIR
        "/tests/e2e/shell_session.sh " PARLIVO_BIN_DIR "/parlivo-for-whatsapp " + scenario + " " + out.string() +
        " >" + (base / "session.log").string() + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::map<std::string, std::string> result;
    std::ifstream in(out);
    for (std::string line; std::getline(in, line);) {
        auto eq = line.find('=');
        if (eq != std::string::npos) result[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return result;
}

std::string withDockIcon(bool shown) {
    return std::string("<key>showDockIcon</key>") + (shown ? "<true/>" : "<false/>") +
           "<key>showMenuBarIcon</key><false/>";
}

}  // namespace

TEST(ShellWindow, FrameIsRestoredOnTheNextStart) {
    auto result = runScenario("frame", withDockIcon(true));
    ASSERT_TRUE(result.count("first")) << "no window in the first run";
    // Where the window manager put the moved window (its decoration shifts it a little).
    EXPECT_NE(result["first"], result["before"]);
    EXPECT_EQ(result.count("saved"), 0u) << "the moved frame was never saved: " << result["saved"];
    EXPECT_EQ(result["second"], result["first"]);
    EXPECT_EQ(result["exit"], "0");
}

TEST(ShellWindow, StartAtLoginKeepsTheWindowHiddenUntilTheUserAsks) {
    auto result = runScenario("login", withDockIcon(true));
    EXPECT_EQ(result["visible"], "no");
    EXPECT_EQ(result["helper_exit"], "0");
    EXPECT_EQ(result["after_helper"], "no");
    EXPECT_EQ(result["after_user"], "yes");
}

TEST(ShellWindow, FullScreenComesBackOnlyInTrayMode) {
    auto tray = runScenario("fullscreen", withDockIcon(false));
    EXPECT_EQ(tray["first"], "yes");
    EXPECT_EQ(tray["second"], "yes");
    auto dock = runScenario("fullscreen", withDockIcon(true));
    EXPECT_EQ(dock["first"], "yes");
    EXPECT_EQ(dock["second"], "no");
}
