#include "WQLaunchAtLoginManager.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <sstream>

#include "WQDebugController.h"
#include "foundation/UserDefaults.h"
#include "system/LoginItems.h"

namespace fs = std::filesystem;
using tovak::WQLaunchAtLoginManager;

namespace {

constexpr const char* kHelperId = "net.vantreo.mac.WhatsApp-Helper";

class WQLaunchAtLoginManagerTest : public ::testing::Test {
protected:
    fs::path file = fs::path(g_get_tmp_dir()) / "login-defaults.plist";
    std::unique_ptr<platform::UserDefaults> defaults;

    void SetUp() override {
        fs::remove(file);
        defaults = std::make_unique<platform::UserDefaults>(file);
    }
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

}  // namespace

TEST_F(WQLaunchAtLoginManagerTest, TheRetryLadderStoresWhatTheLastSuccessfulCallSet) {
    struct Row {
        bool requested;
        std::vector<bool> results;          // of the calls, in order
        std::vector<bool> expectedCalls;    // the state each call asked for
        std::vector<std::string> messages;  // debug lines, without the class prefix
        bool storedBeforeThirdCall;         // only for three-call rows
        bool finalStored;
    };
    const std::string enabled = "Launch at login: enabled", disabled = "Launch at login: disabled";
    const std::string problemEnabling = "Launch at login: Problem enabling... First trying to disable...";
    const std::string problemDisabling = "Launch at login: Problem disabling... First trying to enable...";
    const std::string tempDisabled = "Launch at login: Temporary disabled... Now trying to enable...";
    const std::string tempEnabled = "Launch at login: Temporary enabled... Now trying to disable...";
    const Row rows[] = {
        {true, {true}, {true}, {enabled}, false, true},
        {true, {false, false}, {true, false}, {problemEnabling, "Launch at Login: Could neither enable, nor disable..."},
         false, false},
        {true, {false, true, true}, {true, false, true}, {problemEnabling, tempDisabled, enabled}, false, true},
        {true, {false, true, false}, {true, false, true},
         {problemEnabling, tempDisabled, "Launch at login: Not enabled on second try... Giving up"}, false, false},
        {false, {true}, {false}, {disabled}, false, false},
        {false, {false, false}, {false, true},
         {problemDisabling, "Launch at Login: Could neither disable, nor enable..."}, false, false},
        {false, {false, true, true}, {false, true, false}, {problemDisabling, tempEnabled, disabled}, true, false},
        {false, {false, true, false}, {false, true, false},
         {problemDisabling, tempEnabled, "Launch at login: Not disabled on second try... Giving up"}, true, true},
    };
    tovak::WQDebugController::sharedInstance().setDebug(true);
    int index = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(index++);
        fs::remove(file);
        platform::UserDefaults store(file);
        // The opposite of the final value, so every row has to write it.
        store.setBool(WQLaunchAtLoginManager::kLaunchAtLoginUserDefaultsKey, !row.finalStored);
        std::deque<bool> results(row.results.begin(), row.results.end());
        std::vector<bool> calls;
        std::vector<bool> storedAtCall;
        WQLaunchAtLoginManager manager(store, [&](const std::string& id, bool on) {
            EXPECT_EQ(id, kHelperId);
            calls.push_back(on);
            storedAtCall.push_back(store.boolForKey(WQLaunchAtLoginManager::kLaunchAtLoginUserDefaultsKey));
            bool result = !results.empty() && results.front();
            if (!results.empty()) results.pop_front();
            return result;
        });
        manager.setLaunchAtLoginHelperBundleId(kHelperId);
        testing::internal::CaptureStdout();
        manager.setLaunchAtLogin(row.requested);
        const auto output = lines(testing::internal::GetCapturedStdout());
        EXPECT_EQ(calls, row.expectedCalls);
        std::vector<std::string> expected;
        for (const auto& m : row.messages) expected.push_back("WQLaunchAtLoginManager ===> " + m);
        EXPECT_EQ(output, expected);
        if (calls.size() == 3) {
            EXPECT_EQ(storedAtCall[2], row.storedBeforeThirdCall);
        }
        EXPECT_EQ(manager.launchAtLogin(), row.finalStored);
    }
    tovak::WQDebugController::sharedInstance().setDebug(false);
}

TEST_F(WQLaunchAtLoginManagerTest, TheLadderRunsAgainForTheSameValueAndPrintsNothingOutOfDebugMode) {
    int calls = 0;
    WQLaunchAtLoginManager manager(*defaults, [&](const std::string&, bool) { return ++calls, true; });
    manager.setLaunchAtLoginHelperBundleId(kHelperId);
    testing::internal::CaptureStdout();
    manager.setLaunchAtLogin(true);
    manager.setLaunchAtLogin(true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(manager.launchAtLogin());
}

TEST_F(WQLaunchAtLoginManagerTest, SwitchingOnWritesTheAutostartEntryForTheBundledHelperAndOffRemovesIt) {
    WQLaunchAtLoginManager manager(*defaults);
    manager.setLaunchAtLoginHelperBundleId(kHelperId);
    const fs::path entry = platform::LoginItems::entryPath(kHelperId);
    const fs::path helper = fs::path(PARLIVO_LIBEXEC_DIR) / "LaunchHelper";
    if (!fs::exists(helper)) GTEST_SKIP() << "LaunchHelper is not built";
    manager.setLaunchAtLogin(true);
    EXPECT_TRUE(manager.launchAtLogin());
    ASSERT_TRUE(fs::exists(entry));
    GKeyFile* keys = g_key_file_new();
    ASSERT_TRUE(g_key_file_load_from_file(keys, entry.c_str(), G_KEY_FILE_NONE, nullptr));
    gchar* exec = g_key_file_get_string(keys, "Desktop Entry", "Exec", nullptr);
    EXPECT_EQ(std::string(exec), "\"" + fs::weakly_canonical(helper).string() + "\"");
    g_free(exec);
    g_key_file_free(keys);

    manager.setLaunchAtLogin(false);
    EXPECT_FALSE(manager.launchAtLogin());
    EXPECT_FALSE(fs::exists(entry));
    // Removed behind the manager's back: the stored choice stays what was last set.
    manager.setLaunchAtLogin(true);
    fs::remove(entry);
    EXPECT_TRUE(manager.launchAtLogin());
}

TEST_F(WQLaunchAtLoginManagerTest, StartsAreCountedAndTheReminderDefaultsToOn) {
    {
        WQLaunchAtLoginManager manager(*defaults, [](const std::string&, bool) { return true; });
        EXPECT_EQ(manager.launchCount(), 0);
        EXPECT_TRUE(manager.showReminder());
        manager.setLaunchAtLoginHelperBundleId(kHelperId);
        EXPECT_EQ(manager.launchCount(), 1);
        EXPECT_TRUE(manager.firstLaunch());
        manager.setShowReminder(false);
        ASSERT_TRUE(defaults->synchronize());
    }
    // The next start, from the settings file.
    platform::UserDefaults nextStart(file);
    WQLaunchAtLoginManager manager(nextStart, [](const std::string&, bool) { return true; });
    EXPECT_FALSE(manager.showReminder());
    manager.setLaunchAtLoginHelperBundleId(kHelperId);
    EXPECT_EQ(manager.launchCount(), 2);
    EXPECT_FALSE(manager.firstLaunch());
    manager.setLaunchCount(-5);
    EXPECT_EQ(manager.launchCount(), -5);
}

TEST_F(WQLaunchAtLoginManagerTest, UseBeforeTheHelperIdentifierIsSetStopsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* message = "launchAtLoginHelperBundleId must be set before using `WQLaunchAtLoginManager`";
    WQLaunchAtLoginManager manager(*defaults, [](const std::string&, bool) { return true; });
    EXPECT_DEATH(manager.launchAtLoginHelperBundleId(), message);
    EXPECT_DEATH(manager.launchAtLogin(), message);
    EXPECT_DEATH(manager.setLaunchAtLogin(true), message);
    EXPECT_DEATH(manager.automaticallyLaunched(), message);
}
