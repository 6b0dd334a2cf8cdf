#include "WQThemeManager.h"

#include <glib.h>
#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "FakeDesktopPortal.h"
#include "PrivateSessionBus.h"
#include "RunLoop.h"
#include "foundation/NotificationCenter.h"
#include "foundation/UserDefaults.h"
#include "ui/Appearance.h"

namespace fs = std::filesystem;
using tovak::VisualStyle;
using tovak::WQThemeManager;

namespace {

// Names and broadcasts of this program's tests stay on a bus of their own.
[[maybe_unused]] const bool privateBus = testsupport::usePrivateSessionBus();

class WQThemeManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs a display"; }

    fs::path file = fs::path(g_get_tmp_dir()) / "theme-defaults.plist";
    std::unique_ptr<platform::UserDefaults> defaults;
    std::unique_ptr<WQThemeManager> manager;
    std::vector<const void*> posts;
    platform::ObserverToken observer;

    void SetUp() override {
        fs::remove(file);
        defaults = std::make_unique<platform::UserDefaults>(file);
        observer = platform::NotificationCenter::defaultCenter().addObserver(
            WQThemeManager::visualStyleDidChangeNotification,
            [this](const platform::Notification& n) { posts.push_back(n.object); });
    }
    WQThemeManager& makeManager() {
        manager = std::make_unique<WQThemeManager>(*defaults);
        return *manager;
    }
};

}  // namespace

TEST_F(WQThemeManagerTest, TheStoredValueReadsAsAStyleAndAnythingElseAsAuto) {
    auto& theme = makeManager();
    EXPECT_EQ(theme.visualStyle(), VisualStyle::automatic);  // nothing stored
    for (auto [stored, style] : {std::pair{0, VisualStyle::automatic}, {1, VisualStyle::light}, {2, VisualStyle::dark},
                                 {3, VisualStyle::automatic}, {7, VisualStyle::automatic}, {-1, VisualStyle::automatic}}) {
        defaults->setInteger(WQThemeManager::kWQThemeManagerUserDefaultsKey, stored);
        EXPECT_EQ(theme.visualStyle(), style) << stored;
    }
    EXPECT_TRUE(posts.empty());
}

TEST_F(WQThemeManagerTest, EveryWriteStoresTheRawValueAndPostsOnce) {
    auto& theme = makeManager();
    theme.setVisualStyle(VisualStyle::dark);
    EXPECT_EQ(defaults->integerForKey("Tovak.WQThemeManagerTheme"), 2);
    theme.setVisualStyle(VisualStyle::dark);
    EXPECT_EQ(posts, (std::vector<const void*>{&theme, &theme}));
    // Another store over the same file sees it.
    ASSERT_TRUE(defaults->synchronize());
    platform::UserDefaults again(file);
    EXPECT_EQ(WQThemeManager(again).visualStyle(), VisualStyle::dark);
}

TEST_F(WQThemeManagerTest, ADesktopSwitchIsAnnouncedOnlyWhileTheStyleIsAuto) {
    using platform::Appearance;
    // The desktop's scheme as this program has heard it: observers have run once it reads so.
    auto heard = [](unsigned scheme) {
        return testsupport::runLoopUntil([scheme] { return Appearance::portalColorScheme() == scheme; });
    };
    auto portal = testsupport::FakeDesktopPortal::start(2);
    ASSERT_TRUE(portal);
    auto& theme = makeManager();
    ASSERT_TRUE(heard(2));
    theme.setVisualStyle(VisualStyle::light);
    posts.clear();
    portal->setColorScheme(1);
    ASSERT_TRUE(heard(1));
    EXPECT_TRUE(posts.empty());

    theme.setVisualStyle(VisualStyle::automatic);
    posts.clear();
    portal->setColorScheme(2);
    ASSERT_TRUE(heard(2));
    EXPECT_EQ(posts.size(), 1u);
    portal->setColorScheme(1);  // one post per switch, none twice
    ASSERT_TRUE(heard(1));
    EXPECT_EQ(posts.size(), 2u);
    EXPECT_EQ(defaults->integerForKey("Tovak.WQThemeManagerTheme"), 0);

    // A released manager no longer listens.
    manager.reset();
    posts.clear();
    portal->setColorScheme(2);
    ASSERT_TRUE(heard(2));
    EXPECT_TRUE(posts.empty());
}

TEST_F(WQThemeManagerTest, AutoFollowsTheDesktopAndTheOthersAreFixed) {
    using platform::Appearance;
    auto portal = testsupport::FakeDesktopPortal::start(1);
    ASSERT_TRUE(portal);
    ASSERT_TRUE(testsupport::runLoopUntil([] { return Appearance::portalColorScheme() == 1u; }));
    EXPECT_EQ(getAppearanceName(VisualStyle::automatic), Appearance::kVibrantDark);
    portal->setColorScheme(2);
    ASSERT_TRUE(testsupport::runLoopUntil([] { return Appearance::portalColorScheme() == 2u; }));
    EXPECT_EQ(getAppearanceName(VisualStyle::automatic), Appearance::kVibrantLight);
    EXPECT_EQ(getAppearanceName(VisualStyle::light), Appearance::kVibrantLight);
    EXPECT_EQ(getAppearanceName(VisualStyle::dark), Appearance::kVibrantDark);
    portal.reset();
    ASSERT_TRUE(testsupport::runLoopUntil([] { return !Appearance::portalColorScheme(); }));
    // No portal: the theme name decides, and a plain theme is light.
    EXPECT_EQ(getAppearanceName(VisualStyle::automatic), Appearance::kVibrantLight);

    // The chosen style reaches GTK.
    EXPECT_TRUE(Appearance::apply(getAppearanceName(VisualStyle::dark)));
    EXPECT_TRUE(Appearance::prefersDarkTheme());
    EXPECT_TRUE(Appearance::apply(getAppearanceName(VisualStyle::light)));
    EXPECT_FALSE(Appearance::prefersDarkTheme());
}

TEST_F(WQThemeManagerTest, TheStylesListRawValuesAndTitles) {
    using tovak::allVisualStyles;
    EXPECT_EQ(allVisualStyles(), (std::vector{VisualStyle::automatic, VisualStyle::light, VisualStyle::dark}));
    EXPECT_EQ(tovak::visualStyleFromRawValue(3), std::nullopt);
    EXPECT_EQ(tovak::visualStyleFromRawValue(-1), std::nullopt);
    EXPECT_EQ(tovak::visualStyleFromRawValue(1), VisualStyle::light);
    EXPECT_EQ(tovak::getLocalizedName(VisualStyle::automatic), "Auto");
    EXPECT_EQ(tovak::getLocalizedName(VisualStyle::light), "Light");
    EXPECT_EQ(tovak::getLocalizedName(VisualStyle::dark), "Dark");
}
