#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "system/SystemInfo.h"

namespace fs = std::filesystem;

namespace {

class SystemInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::path(std::getenv("TMPDIR")) / ("sysroot-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root);
        fs::create_directories(root / "sys/class/net");
        fs::create_directories(root / "etc");
    }
    void interface(const std::string& name, const std::string& type, const std::string& address) {
        fs::create_directories(root / "sys/class/net" / name);
        std::ofstream(root / "sys/class/net" / name / "type") << type << "\n";
        std::ofstream(root / "sys/class/net" / name / "address") << address << "\n";
    }
    fs::path root;
};

}  // namespace

TEST_F(SystemInfoTest, MacAddressPrefersEn0ThenTheFirstEthernetInterfaceByName) {
    interface("lo", "772", "00:00:00:00:00:00");
    interface("wlp2s0", "1", "aa:bb:cc:dd:ee:02");
    interface("enp3s0", "1", "AA:BB:CC:DD:EE:01");
    interface("docker0", "1", "00:00:00:00:00:00");  // all zeros: no hardware address
    interface("tun0", "65534", "");
    platform::SystemInfo info(root);
    EXPECT_EQ(info.primaryMACAddress(), (std::vector<uint8_t>{0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0x01}));

    interface("en0", "1", "02:00:00:00:00:09");
    EXPECT_EQ(info.primaryMACAddress(), (std::vector<uint8_t>{0x02, 0, 0, 0, 0, 0x09}));
}

TEST_F(SystemInfoTest, NetworkCardsComeBeforeVirtualInterfaces) {
    // A container bridge sorts first but its address is made up; the card's is its own.
    interface("br-4f2a", "1", "02:42:ac:11:00:01");
    interface("enp3s0", "1", "aa:bb:cc:dd:ee:01");
    fs::create_directories(root / "sys/class/net/enp3s0/device");
    EXPECT_EQ(platform::SystemInfo(root).primaryMACAddress(), (std::vector<uint8_t>{0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0x01}));
}

TEST_F(SystemInfoTest, NoUsableInterfaceGivesNone) {
    interface("lo", "772", "00:00:00:00:00:00");
    interface("eth0", "1", "not-a-mac");
    EXPECT_EQ(platform::SystemInfo(root).primaryMACAddress(), std::nullopt);
    EXPECT_EQ(platform::SystemInfo(root / "missing").primaryMACAddress(), std::nullopt);
}

TEST_F(SystemInfoTest, OperatingSystemAndModel) {
    std::ofstream(root / "etc/os-release") << "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                                              "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12.4\"\n";
    fs::create_directories(root / "sys/class/dmi/id");
    std::ofstream(root / "sys/class/dmi/id/product_name") << "ThinkPad X1 Carbon\n";
    platform::SystemInfo info(root);
    EXPECT_EQ(info.operatingSystemName(), "Debian GNU/Linux");
    auto version = info.operatingSystemVersion();
    EXPECT_EQ(version.major, 12);
    EXPECT_EQ(version.minor, 4);
    EXPECT_EQ(version.patch, 0);
    EXPECT_EQ(info.hardwareModel(), "ThinkPad X1 Carbon");

    platform::SystemInfo bare(root / "missing");
    EXPECT_EQ(bare.operatingSystemName(), "Linux");
    EXPECT_EQ(bare.operatingSystemVersion().major, 0);
    EXPECT_EQ(bare.hardwareModel(), "Unknown");
}

TEST(SystemInfoLocaleTest, IdentifierDropsEncodingAndModifier) {
    struct Case {
        const char* lang;
        const char* identifier;
    } cases[] = {{"de_CH.UTF-8", "de_CH"}, {"sr_RS@latin", "sr_RS"}, {"C", "en_US_POSIX"}, {"", "en_US_POSIX"}};
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    for (const auto& c : cases) {
        setenv("LANG", c.lang, 1);
        EXPECT_EQ(platform::SystemInfo::currentLocaleIdentifier(), c.identifier);
    }
    setenv("LC_ALL", "fr_FR.UTF-8", 1);
    EXPECT_EQ(platform::SystemInfo::currentLocaleIdentifier(), "fr_FR");
}
