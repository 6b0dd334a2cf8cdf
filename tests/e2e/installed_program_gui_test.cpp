// `cmake --install` into a fresh prefix gives a program that stands on its own. The installed
// files name nothing of the build tree; with the build and source trees hidden (a mount namespace
// of bubblewrap's, so parallel tests still see them), the installed executable finds its
// libraries and resources, reads the configuration payload installed beside it through its one
// client (a file: URL, verified) and shows its main window, and the installed LaunchHelper starts
// the installed program. Its desktop file and AppStream metadata validate.
#include <gtest/gtest.h>
#include <gio/gio.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "RunLoop.h"
#include "Standin.h"
#include "foundation/Bundle.h"

namespace fs = std::filesystem;
using testsupport::HostedProgram;
using testsupport::ProgramHome;

namespace {

constexpr const char* kBusName = "net.vantreo.mac.WhatsApp";

std::string contents(const fs::path& file) {
    std::stringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    return text.str();
}

// The pid owning `name` on the session bus, 0 while nobody does.
pid_t busNameOwner(const char* name) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return 0;
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                                                  g_variant_new("(s)", name), G_VARIANT_TYPE("(u)"),
                                                  G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    g_object_unref(bus);
    guint32 pid = 0;
    if (reply) {
        g_variant_get(reply, "(u)", &pid);
        g_variant_unref(reply);
    }
    return pid_t(pid);
}

class InstalledProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix_ = testsupport::makeTemporaryDirectory("installed-program");
        const std::string install = std::string(PARLIVO_CMAKE_COMMAND) + " --install " PARLIVO_BUILD_DIR " --prefix " +
                                    prefix_.string() + " >" + (prefix_ / "install.log").string() + " 2>&1";
        installed_ = std::system(install.c_str()) == 0;
        fs::remove(prefix_ / "install.log");
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(prefix_, ignored);
    }
    void SetUp() override {
        ASSERT_TRUE(installed_) << "cmake --install into " << prefix_ << " failed";
        ASSERT_EQ(std::getenv("PARLIVO_RESOURCE_DIR"), nullptr) << "the test's environment names a resource folder";
    }

    static fs::path program() { return prefix_ / "bin" / "parlivo-for-whatsapp"; }
    static fs::path resources() { return prefix_ / "share" / "parlivo-for-whatsapp"; }

    // `argv` run where neither the source tree nor the build tree exists: each is an empty
    // folder in a mount namespace of its own.
    static std::vector<std::string> withoutTheTrees(std::vector<std::string> argv) {
        gchar* bwrap = g_find_program_in_path("bwrap");
        std::vector<std::string> line{bwrap ? bwrap : "bwrap", "--dev-bind", "/", "/",
                                      "--tmpfs", PARLIVO_SOURCE_DIR, "--tmpfs", PARLIVO_BUILD_DIR, "--"};
        g_free(bwrap);
        line.insert(line.end(), argv.begin(), argv.end());
        return line;
    }
    // Runs `argv` to its end with the trees hidden; its status and output.
    static std::pair<int, std::string> runWithoutTheTrees(std::vector<std::string> argv) {
        auto run = HostedProgram::launch(withoutTheTrees(std::move(argv)));
        if (!run->process().waitForExit(60)) return {-1, run->output()};
        return {run->process().exitStatus(), run->output()};
    }

    static inline fs::path prefix_;
    static inline bool installed_ = false;
};

}  // namespace

TEST_F(InstalledProgram, InstallsOnlyWhatAUserRunsAndNothingNamesTheBuildTree) {
    std::set<std::string> programs;
    for (const auto& entry : fs::directory_iterator(prefix_ / "bin")) programs.insert(entry.path().filename());
    EXPECT_EQ(programs, std::set<std::string>{"parlivo-for-whatsapp"}) << "the maker's tools stay in the build tree";
    EXPECT_TRUE(fs::is_regular_file(prefix_ / "libexec" / "parlivo-for-whatsapp" / "LaunchHelper"));
    // The photo conversion's decoder, where the program looks for it (beside bin/).
    EXPECT_TRUE(fs::is_regular_file(prefix_ / "libexec" / "parlivo-for-whatsapp" / "parlivo-heif-decoder"));

    // Binaries keep their debug information (which names the sources); every other file is read
    // as text, the Info.plist among them.
    for (const auto& entry : fs::recursive_directory_iterator(prefix_)) {
        if (!entry.is_regular_file()) continue;
        const std::string bytes = contents(entry.path());
        if (bytes.starts_with("\x7f" "ELF")) continue;
        SCOPED_TRACE(entry.path().string());
        EXPECT_EQ(bytes.find(PARLIVO_BUILD_DIR), std::string::npos);
        EXPECT_EQ(bytes.find(PARLIVO_SOURCE_DIR "/"), std::string::npos);
    }
    // A packaged or installed program trusts the system's certificate store only.
    const platform::Bundle bundle(resources());
    EXPECT_EQ(bundle.infoString("ParlivoConfigurationCAFile").value_or("?"), "");
    EXPECT_EQ(bundle.infoString("ParlivoConfigurationServerCertificate").value_or("?"), "");
}

TEST_F(InstalledProgram, StartsFromItsOwnFilesWithTheBuildTreeHidden) {
    // The hiding works: the build tree's program is not there.
    EXPECT_NE(runWithoutTheTrees({"/bin/test", "-e", PARLIVO_BIN_DIR "/parlivo-for-whatsapp"}).first, 0);

    // Its libraries load and its Info.plist is read: the version comes from there.
    const std::string version = platform::Bundle(resources()).infoString("CFBundleShortVersionString").value_or("?");
    const auto [status, answer] = runWithoutTheTrees({program().string(), "--version"});
    EXPECT_EQ(status, 0) << answer;
    EXPECT_NE(answer.find("Parlivo for WhatsApp " + version), std::string::npos) << answer;

    const fs::path payload = resources() / "config" / "default.payload";
    ProgramHome home;
    auto run = HostedProgram::launch(withoutTheTrees({program().string()}), home.options({{"-de"}, {}, {}}));
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
                               " xdotool search --sync --onlyvisible --name 'Parlivo' >/dev/null 2>&1";
    EXPECT_EQ(std::system(window.c_str()), 0) << "no main window";
    // A clean quit. The signal goes to the program itself (the owner of its bus name): bwrap,
    // its parent, passes on no signal, only the program's exit status.
    const pid_t pid = busNameOwner(kBusName);
    ASSERT_GT(pid, 0);
    kill(pid, SIGTERM);
    ASSERT_TRUE(run->process().waitForExit(60)) << run->output();
    EXPECT_EQ(run->process().exitStatus(), 0) << run->output();
}

TEST_F(InstalledProgram, ItsLaunchHelperStartsTheInstalledProgram) {
    ProgramHome home;
    auto helper = HostedProgram::launch(
        withoutTheTrees({(prefix_ / "libexec" / "parlivo-for-whatsapp" / "LaunchHelper").string()}), home.options({}));
    pid_t started = 0;
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return (started = busNameOwner(kBusName)) > 0; }, 90)) << helper->output();
    // The program the login item started (in a session of its own) is the installed one.
    std::error_code error;
    EXPECT_EQ(fs::read_symlink("/proc/" + std::to_string(started) + "/exe", error), program()) << error.message();
    kill(started, SIGTERM);
    EXPECT_TRUE(testsupport::runLoopUntil([] { return busNameOwner(kBusName) == 0; }, 60));
    EXPECT_TRUE(helper->process().waitForExit(60)) << helper->output();
}

TEST_F(InstalledProgram, ItsDesktopFileAndAppStreamMetadataValidate) {
    const fs::path desktop = prefix_ / "share" / "applications" / "net.vantreo.mac.WhatsApp.desktop";
    const fs::path metainfo = prefix_ / "share" / "metainfo" / "net.vantreo.mac.WhatsApp.metainfo.xml";
    auto validate = HostedProgram::launch({"/usr/bin/desktop-file-validate", desktop.string()});
    ASSERT_TRUE(validate->process().waitForExit(60));
    EXPECT_EQ(validate->process().exitStatus(), 0) << validate->output();
    EXPECT_EQ(validate->output(), "");

    // Every hint, pedantic ones included, but the one for the id's upper-case letters: the id is
    // the bundle id that names the desktop file, the icon, the settings and the bus name.
    auto appstream = HostedProgram::launch({"/usr/bin/appstreamcli", "validate", "--pedantic", "--no-net", metainfo.string()});
    ASSERT_TRUE(appstream->process().waitForExit(60));
    EXPECT_EQ(appstream->process().exitStatus(), 0) << appstream->output();
    const std::regex issue(R"(^[EWIP]: [^ ]+ ([a-z0-9-]+))");
    std::smatch match;
    for (const auto& line : appstream->process().lines())
        if (std::regex_search(line, match, issue)) {
            EXPECT_EQ(match[1], "cid-contains-uppercase-letter") << line;
        }

    // What a software centre shows beyond what the validator asks for.
    const std::string text = contents(metainfo);
    for (const char* element : {"<project_license>", "<url type=\"homepage\">https://", "<content_rating type=\"oars-1.1\">",
                                "<screenshot type=\"default\">", "<releases>"})
        EXPECT_NE(text.find(element), std::string::npos) << element;
    // The newest release is this version.
    const std::string version = platform::Bundle(resources()).infoString("CFBundleShortVersionString").value_or("?");
    ASSERT_TRUE(std::regex_search(text, match, std::regex(R"(<release version="([^"]+)\")")));
    EXPECT_EQ(match[1], version) << "a release entry for the project's version goes first";
    // Each screenshot is a picture of the repository, of the size the metadata gives.
    const std::regex image(R"re(<image type="source" width="(\d+)" height="(\d+)">https://[^<]*/([^/<]+)</image>)re");
    int screenshots = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), image); it != std::sregex_iterator(); ++it, ++screenshots) {
        const fs::path png = fs::path(PARLIVO_SOURCE_DIR) / "app/resources/desktop/screenshots" / (*it)[3].str();
        SCOPED_TRACE(png.string());
        const std::string bytes = contents(png);
        ASSERT_GE(bytes.size(), 24u);
        ASSERT_TRUE(bytes.starts_with("\x89PNG"));
        const auto be32 = [&](size_t at) {
            return (uint32_t(uint8_t(bytes[at])) << 24) | (uint32_t(uint8_t(bytes[at + 1])) << 16) |
                   (uint32_t(uint8_t(bytes[at + 2])) << 8) | uint32_t(uint8_t(bytes[at + 3]));
        };
        EXPECT_EQ(be32(16), std::stoul((*it)[1])) << "width";
        EXPECT_EQ(be32(20), std::stoul((*it)[2])) << "height";
    }
    EXPECT_GE(screenshots, 1);
}
