#include "ui/Appearance.h"

#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include "FakeDesktopPortal.h"
#include "PrivateSessionBus.h"
#include "RunLoop.h"

using platform::Appearance;
using testsupport::runLoopUntil;

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

TEST_F(AppearanceTest, ThePortalsColorSchemeDecidesAndIsAskedOnlyOnce) {
    setThemeName("Adwaita-dark");  // the portal wins over the theme name
    auto portal = testsupport::FakeDesktopPortal::start(2);
    ASSERT_TRUE(portal);
    ASSERT_TRUE(runLoopUntil([] { return Appearance::portalColorScheme() == 2u; }));
    EXPECT_FALSE(Appearance::systemPrefersDark());
    portal->setColorScheme(1);
    ASSERT_TRUE(runLoopUntil([] { return Appearance::systemPrefersDark(); }));
    // "No preference" leaves it to the theme name.
    portal->setColorScheme(0);
    ASSERT_TRUE(runLoopUntil([] { return Appearance::portalColorScheme() == 0u; }));
    EXPECT_TRUE(Appearance::systemPrefersDark());
    setThemeName("Adwaita");
    EXPECT_FALSE(Appearance::systemPrefersDark());
    // Every answer came from the copy the signals keep: the portal was read once, when it came.
    for (int i = 0; i < 5; ++i) (void)Appearance::systemPrefersDark();
    EXPECT_EQ(portal->reads(), 1);
}

TEST_F(AppearanceTest, WithoutAPortalTheThemeNameDecides) {
    // The previous test's portal has left the bus.
    ASSERT_TRUE(runLoopUntil([] { return !Appearance::portalColorScheme(); }));
    for (auto [theme, dark] : {std::pair{"Adwaita-dark", true}, {"Adwaita", false}, {"Dark-Adwaita", false},
                               {"Materia-DARK", false}, {"-dark", true}}) {
        SCOPED_TRACE(theme);
        setThemeName(theme);
        EXPECT_EQ(Appearance::systemPrefersDark(), dark);
    }
}

TEST_F(AppearanceTest, ObserversHearThePortalsFirstAnswerItsChangesAndThemeNameChanges) {
    int calls = 0;
    {
        auto token = Appearance::addSystemAppearanceObserver([&] { ++calls; });
        auto portal = testsupport::FakeDesktopPortal::start(1);
        ASSERT_TRUE(portal);
        // A portal coming up is a change: its answer arrives without anyone asking again.
        ASSERT_TRUE(runLoopUntil([&] { return calls == 1; }));
        EXPECT_TRUE(Appearance::systemPrefersDark());
        portal->setColorScheme(2);
        ASSERT_TRUE(runLoopUntil([&] { return calls == 2; }));
        setThemeName("Adwaita-dark");
        EXPECT_EQ(calls, 3);
        portal.reset();  // leaving the bus is a change too
        ASSERT_TRUE(runLoopUntil([&] { return calls == 4; }));
    }
    // Once the token is gone nothing more arrives.
    auto portal = testsupport::FakeDesktopPortal::start(1);
    ASSERT_TRUE(runLoopUntil([] { return Appearance::portalColorScheme() == 1u; }));
    setThemeName("Adwaita");
    EXPECT_EQ(calls, 4);
}

TEST_F(AppearanceTest, TheChosenAppearanceSetsGtksDarkPreference) {
    EXPECT_TRUE(Appearance::apply(Appearance::kVibrantDark));
    EXPECT_TRUE(Appearance::prefersDarkTheme());
    EXPECT_TRUE(Appearance::apply(Appearance::kVibrantLight));
    EXPECT_FALSE(Appearance::prefersDarkTheme());
    EXPECT_FALSE(Appearance::apply("NSAppearanceNameAqua"));
    EXPECT_FALSE(Appearance::prefersDarkTheme());
}
