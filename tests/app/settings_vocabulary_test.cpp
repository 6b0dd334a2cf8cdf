// The shared vocabulary: enum raw values and their readers, the visual style's words, and that
// no two constants share a key or a notification name.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "foundation/UserDefaults.h"
#include "settings/Enums.h"
#include "settings/Keys.h"
#include "settings/NotificationNames.h"

using namespace parlivo;

TEST(SettingsEnums, RawValuesAndCases) {
    EXPECT_EQ(fromRaw<PrivacyTimeInterval>(60), PrivacyTimeInterval::oneMinute);
    EXPECT_EQ(fromRaw<PrivacyTimeInterval>(3600), PrivacyTimeInterval::oneHour);
    for (int raw : {0, 59, 120, -60, 7200}) EXPECT_FALSE(fromRaw<PrivacyTimeInterval>(raw)) << raw;
    EXPECT_EQ((std::vector<std::int64_t>{60, 300, 600, 1800, 3600}), [] {
        std::vector<std::int64_t> raws;
        for (auto value : allCases<PrivacyTimeInterval>()) raws.push_back(rawValue(value));
        return raws;
    }());

    EXPECT_EQ(fromRaw<VisualStyle>(0), VisualStyle::automatic);
    EXPECT_EQ(fromRaw<VisualStyle>(3), VisualStyle::mixed);
    for (int raw : {4, 7, -1}) EXPECT_FALSE(fromRaw<VisualStyle>(raw)) << raw;
    EXPECT_EQ(allCases<VisualStyle>().front(), VisualStyle::automatic);

    EXPECT_EQ(fromRaw<WindowMode>(1), WindowMode::alwaysOnTop);
    EXPECT_FALSE(fromRaw<WindowMode>(2));
    EXPECT_EQ(fromRaw<ReturnKeyAction>(1), ReturnKeyAction::send);
    EXPECT_EQ(fromRaw<ReturnKeyAction>(2), ReturnKeyAction::newLine);
    EXPECT_FALSE(fromRaw<ReturnKeyAction>(0));
    EXPECT_FALSE(fromRaw<ReturnKeyAction>(3));
    EXPECT_EQ(rawValue(TrellikStatusItemStyle::warning), 2);
    EXPECT_EQ(allCases<NativeAction>().size(), 12u);
    for (size_t code = 0; code < allCases<NativeAction>().size(); ++code)
        EXPECT_EQ(rawValue(allCases<NativeAction>()[code]), static_cast<std::int64_t>(code));
    EXPECT_EQ(rawValue(NativeAction::camera), 7);
    EXPECT_EQ(rawValue(NativeAction::contact), 11);
}

TEST(SettingsEnums, VisualStyleWordsAndAppearances) {
    struct Case {
        VisualStyle style;
        bool systemDark;
        std::string_view appearance, word;
    } cases[] = {
        {VisualStyle::automatic, false, "NSAppearanceNameVibrantLight", "Light"},
        {VisualStyle::automatic, true, "NSAppearanceNameVibrantDark", "Dark"},
        {VisualStyle::light, true, "NSAppearanceNameVibrantLight", "Light"},
        {VisualStyle::dark, false, "NSAppearanceNameVibrantDark", "Dark"},
        {VisualStyle::mixed, false, "NSAppearanceNameVibrantDark", "Mixed"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(appearance(c.style, c.systemDark), c.appearance) << rawValue(c.style);
        EXPECT_EQ(styleName(c.style, c.systemDark), c.word) << rawValue(c.style);
    }
    EXPECT_TRUE(interfaceStyleIsDark(std::string("Dark")));
    EXPECT_FALSE(interfaceStyleIsDark(std::string("dark")));
    EXPECT_FALSE(interfaceStyleIsDark(std::nullopt));
    EXPECT_EQ(title(VisualStyle::automatic), "Auto");
    EXPECT_EQ(titleKey(VisualStyle::mixed), "VUSIAL_STYLE_MIXED");
}

TEST(SettingsEnums, AStoredInterfaceStyleDecidesAuto) {
    auto& defaults = platform::UserDefaults::standard();
    defaults.setString(std::string(keys::appleInterfaceStyle), "Dark");
    EXPECT_EQ(styleName(VisualStyle::automatic), "Dark");
    EXPECT_EQ(appearance(VisualStyle::automatic), "NSAppearanceNameVibrantDark");
    defaults.setString(std::string(keys::appleInterfaceStyle), "dark");
    EXPECT_EQ(styleName(VisualStyle::automatic), "Light");
    defaults.remove(std::string(keys::appleInterfaceStyle));
}

TEST(SettingsVocabulary, NoKeyOrNameIsUsedTwice) {
    const std::string_view keyList[] = {
        keys::doNotDisturbEnabled, keys::desktopNotificationsEnabled, keys::menuBarNotificationsEnabeld,
        keys::dockIconNotificationsEnabeld, keys::desktopNotificationsShowSender,
        keys::desktopNotificationsShowSenderImage, keys::desktopNotificationsShowMessagePreview,
        keys::desktopNotificationsPlayAudio, keys::launchAtLogin, keys::tovakLaunchAtLoginManager,
        keys::showMenuBarIcon, keys::showDockIcon, keys::returnKeyAction, keys::privacyLockdown,
        keys::privacyModeEnabled, keys::privacyModeTouchIDEnabled, keys::privacyLockAfter,
        keys::privacyDesktopNotificationsEnabled, keys::privacyDesktopNotificationsShowSender,
        keys::privacyDesktopNotificationsShowSenderImage, keys::privacyDesktopNotificationsShowPreview,
        keys::privacyDesktopNotificationsPlayAudio, keys::privacyMenuBarNotification,
        keys::privacyDockIconNotification, keys::privacyStealthModeAlpha,
        keys::privacyStealthModeShowContentOnMouseOver, keys::kMonochromeMenuBar, keys::kVisualStyle, keys::kFontSize,
        keys::mainWindowFrame, keys::mainWindowFullScreen, keys::mainWindowIsOnScreen, keys::globalKeyboardShortcut,
        keys::diagnosisUUID, keys::diagnosisLaunchNumber, keys::localWebStore, keys::mediaType,
        keys::notificationSoundFileName, keys::notificationSoundCustomSound, keys::notificationSoundURL,
        keys::userSelectedSoundFileName, keys::tovakLaunchAtLoginManagerLaunchCount,
        keys::tovakLaunchAtLoginShowReminder, keys::tovakWQThemeManagerTheme, keys::appleInterfaceStyle,
    };
    std::set<std::string_view> seen;
    for (auto key : keyList) EXPECT_TRUE(seen.insert(key).second) << key;
    EXPECT_EQ(keys::menuBarNotificationsEnabeld, "menuBarNotificationsEnabeld");  // stored spelling

    const std::string_view nameList[] = {names::privacyChanged, names::doNotDisturbModeChanged,
                                         names::stealthModeChanged, names::visualizationStyleChanged,
                                         names::windowModeChanged, names::showAbout, names::didBecomeKeyWindow,
                                         names::notificationWindowDidBecomeKeyAndOrderedFront};
    std::set<std::string_view> seenNames;
    for (auto name : nameList) EXPECT_TRUE(seenNames.insert(name).second) << name;
}
