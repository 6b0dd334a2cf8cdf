#include "foundation/Bundle.h"
#include "foundation/Localized.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using platform::Bundle;
using platform::StringsTable;

namespace {

const std::filesystem::path fixture = std::filesystem::path(PARLIVO_FIXTURES_DIR) / "bundle";

}  // namespace

TEST(BundleTest, ReadsInfoDictionaryOfFixture) {
    Bundle bundle(fixture);
    EXPECT_EQ(bundle.bundleIdentifier(), "net.vantreo.test.Fixture");
    EXPECT_EQ(bundle.infoString("CFBundleVersion"), "123");
    EXPECT_FALSE(bundle.infoString("FixtureNumber"));  // not a string
    EXPECT_FALSE(bundle.infoString("Missing"));
    EXPECT_EQ(bundle.infoDictionary()["FixtureNumber"].asInt(), 7);
}

TEST(BundleTest, MissingOrBrokenInfoPlistGivesEmptyDictionary) {
    const auto folder = std::filesystem::path(::testing::TempDir()) / "broken-bundle";
    std::filesystem::create_directories(folder);
    Bundle empty(folder);
    EXPECT_TRUE(empty.infoDictionary().isDictionary());
    EXPECT_EQ(empty.bundleIdentifier(), "");

    std::ofstream(folder / "Info.plist") << "<plist><dict><key>x";
    Bundle broken(folder);
    EXPECT_TRUE(broken.infoDictionary().isDictionary());
    EXPECT_EQ(broken.infoDictionary().size(), 0u);
}

TEST(BundleTest, FindsResources) {
    Bundle bundle(fixture);
    EXPECT_EQ(bundle.pathForResource("readme", "txt"), fixture / "readme.txt");
    EXPECT_EQ(bundle.pathForResource("readme.txt"), fixture / "readme.txt");
    EXPECT_EQ(bundle.pathForResource("readme.txt", "txt"), fixture / "readme.txt");
    EXPECT_EQ(bundle.pathForResource("Ping", ".txt", "sounds"), fixture / "sounds" / "Ping.txt");
    EXPECT_FALSE(bundle.pathForResource("Ping", "txt"));
    EXPECT_FALSE(bundle.pathForResource("missing", "txt"));
    EXPECT_FALSE(bundle.pathForResource(""));
    // Names never reach outside the resource folder.
    EXPECT_FALSE(bundle.pathForResource("../bundle/readme", "txt"));
    EXPECT_FALSE(bundle.pathForResource("readme", "txt", "../bundle"));
    EXPECT_FALSE(bundle.pathForResource("/etc/hostname"));
}

TEST(BundleTest, MainBundleIsTheBuildTreesResourceFolder) {
    // The test runs from build/tests; PARLIVO_RESOURCE_DIR overrides only when set.
    unsetenv("PARLIVO_RESOURCE_DIR");
    Bundle& main = Bundle::main();
    EXPECT_EQ(std::filesystem::weakly_canonical(main.resourcePath()),
              std::filesystem::weakly_canonical(PARLIVO_RESOURCE_DIR));
    EXPECT_EQ(main.bundleIdentifier(), "net.vantreo.mac.WhatsApp");
}

TEST(LocalizedTest, ParsesStringsFormat) {
    auto table = StringsTable::load((fixture / "en.lproj" / "Localizable.strings").string());
    EXPECT_TRUE(table.complete());
    EXPECT_EQ(table.lookup("PREFERENCES"), "Preferences");
    EXPECT_EQ(table.lookup("ESCAPES"), "Line one\nTab\there \"quoted\" back\\slash \u00e9");
    EXPECT_EQ(table.lookup("BARE_KEY"), "bare value");
    EXPECT_EQ(table.lookup("EMPTY"), "");
    EXPECT_FALSE(table.lookup("MISSING"));
}

TEST(LocalizedTest, BrokenTablesKeepEntriesBeforeTheError) {
    const struct {
        const char* name;
        std::string text;
        std::size_t entries;
    } cases[] = {
        {"missing semicolon", "\"A\" = \"a\";\n\"B\" = \"b\"\n\"C\" = \"c\";", 1},
        {"unterminated string", "\"A\" = \"a\";\n\"B\" = \"b", 1},
        {"unterminated comment", "\"A\" = \"a\"; /* never closed", 1},
        {"bad escape", "\"A\" = \"\\U12\";", 0},
        {"garbage", "\x01\x02\x03", 0},
        {"key alone", "\"A\";", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(StringsTable::parse(c.text).size(), c.entries) << c.name;
}

TEST(LocalizedTest, ReadsUtf16AndPropertyListTables) {
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("\"K\" = \"v\";")) {
        utf16 += c;
        utf16 += '\0';
    }
    EXPECT_EQ(StringsTable::parse(utf16).lookup("K"), "v");
    EXPECT_EQ(StringsTable::parse("<plist><dict><key>K</key><string>w</string></dict></plist>").lookup("K"), "w");
    EXPECT_EQ(StringsTable::parse("\"\\UD83D\\UDE00\" = \"x\";").lookup("\xF0\x9F\x98\x80"), "x");
}

TEST(LocalizedTest, LookupFallsBack) {
    Bundle bundle(fixture);
    EXPECT_EQ(platform::localized(bundle, "PREFERENCES", "English"), "Preferences");
    EXPECT_EQ(platform::localized(bundle, "NOT_THERE", "English default"), "English default");
    // The main bundle's table: an unknown key shows the default, or the key for comment lookups.
    EXPECT_EQ(platform::localized("SURELY_NOT_A_KEY", "Fallback"), "Fallback");
    EXPECT_EQ(platform::localizedComment("SURELY_NOT_A_KEY", "Comment only"), "SURELY_NOT_A_KEY");
}

TEST(LocalizedTest, FormatsFillPlaceholdersInTurnOrByNumberAndNeverReadValuesAsFormats) {
    using platform::localizedFormat;
    EXPECT_EQ(localizedFormat("Version %@ (Build %@)", {"1.0", "42"}), "Version 1.0 (Build 42)");
    EXPECT_EQ(localizedFormat("%2$@ before %1$@", {"one", "two"}), "two before one");
    // A placeholder without a value stays; nothing to fill is nothing lost.
    EXPECT_EQ(localizedFormat("%@ and %@", {"only"}), "only and %@");
    EXPECT_EQ(localizedFormat("%3$@ %0$@ %x 100%", {"a"}), "%3$@ %0$@ %x 100%");
    // A value is put in as it is.
    EXPECT_EQ(localizedFormat("Quit %@", {"%@ %1$@"}), "Quit %@ %1$@");
    EXPECT_EQ(localizedFormat("", {"a"}), "");
}
