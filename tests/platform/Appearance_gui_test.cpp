#include "ui/Appearance.h"

#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include "FakeDesktopPortal.h"
#include "PrivateSessionBus.h"
#include "RunLoop.h"

using platform::Appearance;

namespace {

// Names and broadcasts of this program's tests stay on a bus of their own.
[[maybe_unused]] const bool privateBus = testsupport::usePrivateSessionBus();

class AppearanceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "needs a display"; }
    void setThemeName(const char* name) { g_object_set(gtk_settings_get_default(), "gtk-theme-name", name, nullptr); }
    void TearDown() override { setThemeName("Adwaita"); }
};

}  // namespace

TEST_F(AppearanceTest, ThePortalsColorSchemeDecides) {
    setThemeName("Adwaita-dark");  // the portal wins over the theme name
    auto portal = testsupport::FakeDesktopPortal::start(2);
    ASSERT_TRUE(portal);
    EXPECT_EQ(Appearance::portalColorScheme(), 2u);
    EXPECT_FALSE(Appearance::systemPrefersDark());
    portal->setColorScheme(1);
    EXPECT_TRUE(Appearance::systemPrefersDark());
    // "No preference" leaves it to the theme name.
    portal->setColorScheme(0);
    EXPECT_TRUE(Appearance::systemPrefersDark());
    setThemeName("Adwaita");
    EXPECT_FALSE(Appearance::systemPrefersDark());
}

TEST_F(AppearanceTest, WithoutAPortalTheThemeNameDecides) {
    EXPECT_EQ(Appearance::portalColorScheme(), std::nullopt);
    for (auto [theme, dark] : {std::pair{"Adwaita-dark", true}, {"Adwaita", false}, {"Dark-Adwaita", false},
                               {"Materia-DARK", false}, {"-dark", true}}) {
        SCOPED_TRACE(theme);
        setThemeName(theme);
        EXPECT_EQ(Appearance::systemPrefersDark(), dark);
    }
}

TEST_F(AppearanceTest, ObserversHearPortalChangesAndThemeNameChanges) {
    auto portal = testsupport::FakeDesktopPortal::start(0);
    ASSERT_TRUE(portal);
    int calls = 0;
    {
        auto token = Appearance::addSystemAppearanceObserver([&] { ++calls; });
        portal->setColorScheme(1);
        EXPECT_TRUE(testsupport::runLoopUntil([&] { return calls == 1; }));
        setThemeName("Adwaita-dark");
        EXPECT_EQ(calls, 2);
    }
    // Once the token is gone nothing more arrives.
    portal->setColorScheme(2);
    setThemeName("Adwaita");
    testsupport::runLoopFor(0.2);
    EXPECT_EQ(calls, 2);
}

TEST_F(AppearanceTest, TheChosenAppearanceSetsGtksDarkPreference) {
    EXPECT_TRUE(Appearance::apply(Appearance::kVibrantDark));
    EXPECT_TRUE(Appearance::prefersDarkTheme());
    EXPECT_TRUE(Appearance::apply(Appearance::kVibrantLight));
    EXPECT_FALSE(Appearance::prefersDarkTheme());
    EXPECT_FALSE(Appearance::apply("NSAppearanceNameAqua"));
    EXPECT_FALSE(Appearance::prefersDarkTheme());
}
