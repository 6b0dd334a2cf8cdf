// The page side of the native commands, with a recording evaluator in place of the web view.
#include <glib.h>
#include <gtest/gtest.h>

#include <fstream>

#include "WQDirectory.h"
#include "WQLaunchAtLoginManager.h"
#include "WebHostFakes.h"
#include "foundation/UserDefaults.h"
#include "notifications/WQWindowNotification.h"
#include "settings/Keys.h"
#include "web/WebClientCommands.h"

using namespace parlivo;
using namespace webhosttest;

namespace {

class WebClientCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& defaults = platform::UserDefaults::standard();
        for (auto key : {keys::kFontSize, keys::kVisualStyle, keys::doNotDisturbEnabled,
                         keys::privacyStealthModeShowContentOnMouseOver, keys::appleInterfaceStyle})
            defaults.remove(std::string(key));
        std::filesystem::remove(wallpaper());
        commands.setWebView(webView);
    }
    static std::filesystem::path wallpaper() { return tovak::WQDirectory::userContentDirectory() / "wallpaper.jpg"; }
    std::vector<std::string> sent() { return std::exchange(webView->scripts, {}); }

    std::shared_ptr<FakeEvaluator> webView = std::make_shared<FakeEvaluator>();
    WebClientCommands commands;
};

using Scripts = std::vector<std::string>;

}  // namespace

TEST_F(WebClientCommandsTest, SettingsReachThePageAsStored) {
    auto& defaults = platform::UserDefaults::standard();
    defaults.setInteger(std::string(keys::kFontSize), 17);
    defaults.setInteger(std::string(keys::kVisualStyle), 3);
    commands.applyAppearance();
    EXPECT_EQ(sent(), (Scripts{"wqSetZoom(17);", "wqSetStyle(\"Mixed\");"}));
    defaults.setInteger(std::string(keys::kVisualStyle), 0);
    defaults.setString(std::string(keys::appleInterfaceStyle), "Dark");
    commands.applyAppearance();
    EXPECT_EQ(sent(), (Scripts{"wqSetZoom(17);", "wqSetStyle(\"Dark\");"}));

    commands.updateDoNotDisturb();
    defaults.setBool(std::string(keys::doNotDisturbEnabled), true);
    commands.updateDoNotDisturb();
    EXPECT_EQ(sent(), (Scripts{"wqSetDoNotDisturb(false);", "wqSetDoNotDisturb(true);"}));

    // Stealth off: the page is told false whatever the setting says.
    defaults.setBool(std::string(keys::privacyStealthModeShowContentOnMouseOver), true);
    commands.updateStealthMode(false);
    commands.updateStealthMode(true);
    defaults.setBool(std::string(keys::privacyStealthModeShowContentOnMouseOver), false);
    commands.updateStealthMode(true);
    EXPECT_EQ(sent(), (Scripts{"wqSetStealthModeShowContentOnMouseOver(false)", "wqSetStealthModeShowContentOnMouseOver(true)",
                               "wqSetStealthModeShowContentOnMouseOver(false)"}));
}

TEST_F(WebClientCommandsTest, WallpaperIsSentAsStoredOrAsNone) {
    commands.updateWallpaper();
    EXPECT_EQ(sent(), Scripts{"wqModifyWallpaper()"});
    std::ofstream(wallpaper(), std::ios::binary).write("\xff\xd8\xff", 3);
    commands.updateWallpaper();
    EXPECT_EQ(sent(), Scripts{"wqModifyWallpaper('data:image/jpeg;base64,/9j/')"});
    std::ofstream(wallpaper(), std::ios::binary | std::ios::trunc);
    commands.updateWallpaper();
    EXPECT_EQ(sent(), Scripts{"wqModifyWallpaper('data:image/jpeg;base64,')"});
    // A folder where the file should be is no wallpaper.
    std::filesystem::remove(wallpaper());
    std::filesystem::create_directory(wallpaper());
    commands.updateWallpaper();
    EXPECT_EQ(sent(), Scripts{"wqModifyWallpaper()"});
    std::filesystem::remove(wallpaper());
}

TEST_F(WebClientCommandsTest, NotificationActivationsOpenTheChatOrSendTheReply) {
    RecordingPage page;
    int opened = 0;
    UserNotification click;
    click.identifier = "4912345@c.us\"";
    click.activationType = UserNotification::ActivationType::contentsClicked;
    commands.openChatOrReply(click, [&] { ++opened; });
    EXPECT_EQ(opened, 1);  // after the page answered

    UserNotification reply = click;
    reply.activationType = UserNotification::ActivationType::replied;
    reply.response = "on my way,\n\"see\" you \\o/";
    commands.openChatOrReply(reply, [&] { ++opened; });
    EXPECT_EQ(opened, 1);

    UserNotification empty = reply;
    empty.response.reset();
    commands.openChatOrReply(empty, [&] { ++opened; });
    UserNotification noTag = click;
    noTag.identifier.clear();
    commands.openChatOrReply(noTag, [&] { ++opened; });
    EXPECT_EQ(opened, 1);

    for (const auto& script : webView->scripts) ASSERT_TRUE(page.run(script)) << script;
    EXPECT_EQ(page.calls(), ScriptValue(ScriptValue::Array{call({"wqOpenChat", click.identifier}),
                                                           call({"wqSendMessageToChatWithTag", *reply.response,
                                                                 click.identifier})}));
}

TEST_F(WebClientCommandsTest, WithoutAWebViewNothingIsSent) {
    commands.setWebView({});
    int answered = 0;
    EXPECT_FALSE(commands.handleLogOut([&](const auto&) { ++answered; }));
    EXPECT_FALSE(commands.getChatListWidth([&](const auto&) { ++answered; }));
    commands.applyAppearance();
    commands.updateWallpaper();
    commands.lockDown(true);
    EXPECT_TRUE(commands.sendMenuCommand(NativeAction::newChat));  // a page command, dropped
    EXPECT_FALSE(commands.sendMenuCommand(NativeAction::camera));  // not a page command at all
    EXPECT_EQ(answered, 0);
    EXPECT_TRUE(webView->scripts.empty());
    // A web view that went away is the same as none.
    auto gone = std::make_shared<FakeEvaluator>();
    commands.setWebView(gone);
    gone.reset();
    EXPECT_FALSE(commands.run("x();"));
}

TEST_F(WebClientCommandsTest, ReminderOnlyWhileWantedAndItsButtonsStoreTheChoice) {
    platform::UserDefaults defaults(std::filesystem::path(g_get_tmp_dir()) / "reminder-defaults.plist");
    std::vector<bool> loginItem;
    tovak::WQLaunchAtLoginManager manager(defaults, [&](const std::string&, bool on) {
        loginItem.push_back(on);
        return true;
    });
    manager.setLaunchAtLoginHelperBundleId("net.vantreo.mac.WhatsApp-Helper");

    struct Finisher : WQWindowNotificationDelegate {
        int finished = 0;
        void windowNotificationDidFinish(const std::shared_ptr<WQWindowNotification>&) override { ++finished; }
    };
    auto finisher = std::make_shared<Finisher>();

    auto reminder = WebClientCommands::launchAtLoginReminder(manager);
    ASSERT_TRUE(reminder);
    EXPECT_EQ(reminder->identifier, "LaunchAtLogin");
    EXPECT_EQ(reminder->priority, 1000);
    EXPECT_EQ(reminder->imageName, "AppIconLarge");
    EXPECT_EQ(reminder->text.find("%@"), std::string::npos);
    reminder->delegate = finisher;
    reminder->button3Action(*reminder);  // later
    EXPECT_TRUE(manager.showReminder());
    EXPECT_TRUE(loginItem.empty());
    reminder->button1Action(*reminder);  // yes
    EXPECT_TRUE(manager.launchAtLogin());
    EXPECT_FALSE(manager.showReminder());
    EXPECT_EQ(finisher->finished, 2);
    EXPECT_FALSE(WebClientCommands::launchAtLoginReminder(manager));  // on now: never asked again

    manager.setShowReminder(true);
    EXPECT_FALSE(WebClientCommands::launchAtLoginReminder(manager));  // still on
    manager.setLaunchAtLogin(false);
    auto again = WebClientCommands::launchAtLoginReminder(manager);
    ASSERT_TRUE(again);
    again->button2Action(*again);  // no
    EXPECT_FALSE(manager.launchAtLogin());
    EXPECT_FALSE(manager.showReminder());
}
