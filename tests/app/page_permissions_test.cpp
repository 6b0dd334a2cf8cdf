// What the page may use: notifications and everything but the microphone and camera are refused;
// those two only for the page's own origin, never while locked, after the user's answer per kind.
#include <gtest/gtest.h>
#include <glib.h>

#include <filesystem>

#include "foundation/UserDefaults.h"
#include "web/PagePermissions.h"
#include "web/WebClientCommands.h"

using namespace parlivo;
using namespace parlivo::pagepermissions;
using platform::PermissionKind;
using Answer = Decision::Answer;

namespace {

constexpr const char* kOrigin = "https://web.example.org";

class PagePermissionsTest : public ::testing::Test {
protected:
    Decision decide(PermissionKind kind, const std::string& document = "https://web.example.org/chat?x=1",
                    bool locked = false) {
        return pagepermissions::decide({kind, document, kOrigin, locked}, defaults);
    }
    void answer(std::string_view key, bool agreed) { defaults.setBool(std::string(key), agreed); }

    // Each test starts with no answers.
    std::filesystem::path file = [] {
        auto path = std::filesystem::path(g_get_tmp_dir()) / "page-permissions.plist";
        std::filesystem::remove(path);
        return path;
    }();
    platform::UserDefaults defaults{file};
};

}  // namespace

TEST_F(PagePermissionsTest, EverythingButTheMicrophoneAndCameraIsRefused) {
    answer(settingKey(MediaKind::microphone), true);
    answer(settingKey(MediaKind::camera), true);
    for (auto kind : {PermissionKind::notifications, PermissionKind::screen, PermissionKind::geolocation,
                      PermissionKind::pointerLock, PermissionKind::deviceInfo, PermissionKind::mediaKeySystem,
                      PermissionKind::clipboard, PermissionKind::websiteDataAccess, PermissionKind::mediaPlugins,
                      PermissionKind::other})
        EXPECT_EQ(decide(kind).answer, Answer::deny) << platform::permissionKindName(kind);
}

TEST_F(PagePermissionsTest, TheMicrophoneAndCameraNeedThePagesOriginNoLockAndTheUsersAnswer) {
    // Not asked yet: the user is asked for exactly the kinds without an answer.
    auto asked = decide(PermissionKind::microphoneAndCamera);
    EXPECT_EQ(asked.answer, Answer::ask);
    EXPECT_EQ(asked.ask, (std::vector<MediaKind>{MediaKind::microphone, MediaKind::camera}));
    answer(settingKey(MediaKind::microphone), true);
    EXPECT_EQ(decide(PermissionKind::microphone).answer, Answer::allow);
    asked = decide(PermissionKind::microphoneAndCamera);
    EXPECT_EQ(asked.answer, Answer::ask);
    EXPECT_EQ(asked.ask, std::vector<MediaKind>{MediaKind::camera});
    // A refusal is kept like an agreement, and refuses a request for both.
    answer(settingKey(MediaKind::camera), false);
    EXPECT_EQ(decide(PermissionKind::camera).answer, Answer::deny);
    EXPECT_EQ(decide(PermissionKind::microphoneAndCamera).answer, Answer::deny);

    // An agreed kind is still refused to other origins and behind the lock, without asking.
    struct Case {
        std::string document;
        bool locked;
    } refused[] = {
        {"https://web.example.org/", true},
        {"https://other.example.org/", false},
        {"http://web.example.org/", false},
        {"https://web.example.org:8443/", false},
        {"https://web.example.org.evil.test/", false},
        {"file:///usr/share/parlivo-for-whatsapp/", false},
        {"about:blank", false},
        {"", false},
    };
    for (const auto& c : refused)
        EXPECT_EQ(decide(PermissionKind::microphone, c.document, c.locked).answer, Answer::deny) << c.document;
    // The default port written out is the same origin.
    EXPECT_EQ(decide(PermissionKind::microphone, "https://web.example.org:443/a").answer, Answer::allow);
    // No configured page: nothing is the page's own.
    EXPECT_EQ(pagepermissions::decide({PermissionKind::microphone, "https://web.example.org/", "", false}, defaults).answer,
              Answer::deny);
}

TEST(StealthMode, ThePageIsBlurredWhileActiveUnlessThePointerMayShowIt) {
    struct Case {
        bool active, showOnMouseOver, pointerInside, obscured;
    } cases[] = {
        {false, false, false, false}, {false, true, false, false}, {true, false, false, true},
        {true, false, true, true},    {true, true, false, true},   {true, true, true, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WebClientCommands::stealthObscuresContent(c.active, c.showOnMouseOver, c.pointerInside), c.obscured)
            << c.active << c.showOnMouseOver << c.pointerInside;
}
