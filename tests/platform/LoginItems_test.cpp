#include "system/LoginItems.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using platform::LoginItems;

namespace {

constexpr const char* kHelperId = "net.vantreo.mac.WhatsApp-Helper";

fs::path makeProgram(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

// The program a desktop session would run for the entry: the Exec value read as a string value,
// field codes expanded (%% is %), then split like a shell does.
std::string programOfEntry(const fs::path& entry) {
    GKeyFile* file = g_key_file_new();
    EXPECT_TRUE(g_key_file_load_from_file(file, entry.c_str(), G_KEY_FILE_NONE, nullptr));
    gchar* exec = g_key_file_get_string(file, "Desktop Entry", "Exec", nullptr);
    g_key_file_free(file);
    std::string command = exec ? exec : "";
    g_free(exec);
    std::string expanded;
    for (size_t i = 0; i < command.size(); ++i) {
        if (command[i] == '%' && i + 1 < command.size() && command[i + 1] == '%') ++i;
        expanded += command[i];
    }
    gchar** argv = nullptr;
    gint argc = 0;
    if (!g_shell_parse_argv(expanded.c_str(), &argc, &argv, nullptr)) return "<unparsable>";
    std::string program = argc == 1 ? argv[0] : "<" + std::to_string(argc) + " arguments>";
    g_strfreev(argv);
    return program;
}

class LoginItemsTest : public ::testing::Test {
protected:
    fs::path base = fs::path(g_get_tmp_dir()) / "login-items";
    void SetUp() override {
        fs::remove_all(base);
        fs::remove_all(fs::path(getenv("XDG_CONFIG_HOME")) / "autostart");
    }
};

}  // namespace

TEST_F(LoginItemsTest, EnablingWritesTheAutostartEntryAndDisablingRemovesIt) {
    const fs::path program = makeProgram(base / "libexec" / "LaunchHelper");
    const fs::path entry = fs::path(getenv("XDG_CONFIG_HOME")) / "autostart" / "net.vantreo.mac.WhatsApp-Helper.desktop";
    EXPECT_EQ(LoginItems::entryPath(kHelperId), entry);

    EXPECT_TRUE(LoginItems::setEnabled(kHelperId, program, true));
    EXPECT_TRUE(LoginItems::isEnabled(kHelperId));
    EXPECT_EQ(programOfEntry(entry), program.string());
    std::stringstream contents;
    contents << std::ifstream(entry).rdbuf();
    EXPECT_NE(contents.str().find("[Desktop Entry]\nType=Application\n"), std::string::npos);

    // Enabling again rewrites the same entry.
    EXPECT_TRUE(LoginItems::setEnabled(kHelperId, program, true));
    EXPECT_TRUE(LoginItems::setEnabled(kHelperId, program, false));
    EXPECT_FALSE(fs::exists(entry));
    // Already off: still the state asked for.
    EXPECT_TRUE(LoginItems::setEnabled(kHelperId, program, false));
}

TEST_F(LoginItemsTest, ExecSurvivesPathsWithSpecialCharacters) {
    for (const char* folder : {"with space", "quote\"d", "dollar$HOME", "back\\slash", "tick`s", "100%", "ü-ñ"}) {
        SCOPED_TRACE(folder);
        const fs::path program = makeProgram(base / folder / "LaunchHelper");
        ASSERT_TRUE(LoginItems::setEnabled(kHelperId, program, true));
        EXPECT_EQ(programOfEntry(LoginItems::entryPath(kHelperId)), program.string());
    }
}

TEST_F(LoginItemsTest, EnablingFailsWithoutAUsableProgram) {
    EXPECT_FALSE(LoginItems::setEnabled(kHelperId, base / "missing", true));
    EXPECT_FALSE(LoginItems::setEnabled(kHelperId, "relative/LaunchHelper", true));
    const fs::path notExecutable = base / "plain";
    fs::create_directories(base);
    std::ofstream(notExecutable) << "x";
    fs::permissions(notExecutable, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(LoginItems::setEnabled(kHelperId, notExecutable, true));
    const fs::path lineBreak = makeProgram(base / "line\nbreak" / "LaunchHelper");
    EXPECT_FALSE(LoginItems::setEnabled(kHelperId, lineBreak, true));
    EXPECT_FALSE(LoginItems::isEnabled(kHelperId));
}

TEST_F(LoginItemsTest, IdentifiersThatAreNoFileNameAreRefused) {
    const fs::path program = makeProgram(base / "LaunchHelper");
    for (const char* identifier : {"", ".", "..", "../escape", "a/b", "tab\there"}) {
        SCOPED_TRACE(identifier);
        EXPECT_TRUE(LoginItems::entryPath(identifier).empty());
        EXPECT_FALSE(LoginItems::setEnabled(identifier, program, true));
        EXPECT_FALSE(LoginItems::setEnabled(identifier, program, false));
    }
    EXPECT_FALSE(fs::exists(fs::path(getenv("XDG_CONFIG_HOME")) / "escape.desktop"));
}

TEST_F(LoginItemsTest, TheBundledLoginItemLiesInLibexecBesideTheProgram) {
    // Test programs live in <build>/tests, as the main program lives in <build>/bin.
    EXPECT_EQ(LoginItems::bundledLoginItemExecutable(),
              (fs::path(PARLIVO_LIBEXEC_DIR) / "LaunchHelper").lexically_normal());
}

TEST_F(LoginItemsTest, ACorruptAutostartFolderMakesEnablingFail) {
    const fs::path program = makeProgram(base / "LaunchHelper");
    const fs::path autostart = fs::path(getenv("XDG_CONFIG_HOME")) / "autostart";
    fs::remove_all(autostart);
    std::ofstream(autostart) << "not a folder";
    EXPECT_FALSE(LoginItems::setEnabled(kHelperId, program, true));
    EXPECT_FALSE(LoginItems::setEnabled(kHelperId, program, false));
    fs::remove(autostart);
}
