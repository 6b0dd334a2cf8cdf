// HEIF photos to JPEG: the picture's stored rotation is applied, transparency lands on white,
// files that are no HEIF or damaged give nothing, and pictures over the bounds (declared, or
// composed larger than declared) are refused as such, the decoder process held to its memory.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include <gdkmm/pixbufloader.h>

#include "GtkmmWrappers.h"
#include "MediaFixtures.h"
#include "foundation/ProcessInfo.h"
#include "media/HEIFConversion.h"

using namespace mediafixtures;
using parlivo::HEIFConversion;

namespace {

// GCC says __SANITIZE_ADDRESS__, clang __has_feature.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

Glib::RefPtr<Gdk::Pixbuf> decode(const Bytes& jpeg) {
    tovak::ensureGtkmmWrappers();
    auto loader = Gdk::PixbufLoader::create("jpeg");
    loader->write(jpeg.data(), jpeg.size());
    loader->close();
    return loader->get_pixbuf();
}

}  // namespace

TEST(HEIFConversion, TheStoredRotationIsApplied) {
    struct Case {
        heif_orientation orientation;
        int width, height;
    } cases[] = {{heif_orientation_normal, 64, 48},
                 {heif_orientation_rotate_90_cw, 48, 64},
                 {heif_orientation_rotate_180, 64, 48},
                 {heif_orientation_rotate_270_cw, 48, 64}};
    for (const auto& c : cases) {
        const fs::path file = workDir("heif") / ("turned-" + std::to_string(int(c.orientation)) + ".heic");
        makeHEIF(file, 64, 48, c.orientation);
        const auto jpeg = HEIFConversion::jpegDataFromFile(file, 0.75);
        ASSERT_TRUE(jpeg) << c.orientation;
        EXPECT_EQ(jpegSize(*jpeg), (std::pair{c.width, c.height})) << c.orientation;
    }
    // The quality orders the sizes.
    const fs::path file = workDir("heif") / "turned-1.heic";
    EXPECT_LT(HEIFConversion::jpegDataFromFile(file, 0.3)->size(), HEIFConversion::jpegDataFromFile(file, 0.95)->size());
}

TEST(HEIFConversion, TransparencyLandsOnWhite) {
    const fs::path file = workDir("heif") / "alpha.heic";
    makeHEIF(file, 64, 48, heif_orientation_normal, true);
    const auto jpeg = HEIFConversion::jpegDataFromFile(file, 0.9);
    ASSERT_TRUE(jpeg);
    auto picture = decode(*jpeg);
    ASSERT_TRUE(picture);
    const std::uint8_t* clear = picture->get_pixels() + 24 * picture->get_rowstride() + 8 * picture->get_n_channels();
    EXPECT_GE(clear[0], 240);
    EXPECT_GE(clear[1], 240);
    EXPECT_GE(clear[2], 240);
}

TEST(HEIFConversion, WhatIsNoUsableHEIFGivesNothing) {
    const fs::path good = workDir("heif") / "good.heic";
    makeHEIF(good, 32, 32);
    const Bytes bytes = readFile(good);
    const Bytes cut(bytes.begin(), bytes.begin() + bytes.size() / 2);
    const std::string jpegHeader = "\xFF\xD8\xFF\xE0 not really";
    for (const Bytes& data : {Bytes{}, Bytes(cut), Bytes(jpegHeader.begin(), jpegHeader.end()), Bytes(4096, 0)})
        EXPECT_FALSE(HEIFConversion::jpegData(data, 0.75));
    EXPECT_FALSE(HEIFConversion::jpegDataFromFile(workDir("heif") / "missing.heic", 0.75));
    EXPECT_FALSE(HEIFConversion::jpegDataFromFile(workDir("heif"), 0.75));  // a folder
    EXPECT_TRUE(HEIFConversion::jpegData(bytes, 0.75));
}

TEST(HEIFConversion, PicturesOverTheBoundsAreRefused) {
    const fs::path good = workDir("heif") / "bounded.heic";
    makeHEIF(good, 64, 48);
    const Bytes bytes = readFile(good);
    const struct Case {
        const char* what;
        Bytes file;
    } cases[] = {
        {"a grid composing far more than it declares", readFile(enormousGridHEIF())},
        {"a declared size over the pixel bound", withDeclaredSize(bytes, 9000, 9000)},
        {"a side over libheif's limit", withDeclaredSize(bytes, 40000, 16)},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(c.file.empty()) << c.what;
        const auto conversion = HEIFConversion::convert(c.file, 0.75);
        EXPECT_EQ(conversion.outcome, HEIFConversion::Outcome::overBounds) << c.what;
        EXPECT_TRUE(conversion.jpeg.empty()) << c.what;
    }
    EXPECT_EQ(HEIFConversion::convertFile(enormousGridHEIF(), 0.75).outcome, HEIFConversion::Outcome::overBounds);
    EXPECT_FALSE(HEIFConversion::jpegDataFromFile(enormousGridHEIF(), 0.75));
    // Damaged is not too large.
    EXPECT_EQ(HEIFConversion::convert(Bytes(bytes.begin(), bytes.begin() + bytes.size() / 2), 0.75).outcome,
              HEIFConversion::Outcome::unreadable);
}

// The decoder process on its own, as the conversion runs it: a picture that needs more than its
// memory budget ends with "over the bounds", the same picture within it gives a JPEG.
TEST(HEIFConversion, TheDecoderKeepsToItsMemoryBudget) {
    const fs::path decoder = (fs::path(platform::ProcessInfo::executablePath()).parent_path() / ".." / "libexec" /
                              "parlivo-for-whatsapp" / "parlivo-heif-decoder")
                                 .lexically_normal();
    const fs::path photo = workDir("heif") / "budget.heic", jpeg = workDir("heif") / "budget.jpg";
    makeHEIF(photo, 2048, 1536);
    const auto run = [&](std::uint64_t budget) {
        const std::string command = "'" + decoder.string() + "' 0.75 " + std::to_string(budget) + " 30 < '" +
                                    photo.string() + "' > '" + jpeg.string() + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run(HEIFConversion::decoderMemoryLimit), 0);
    EXPECT_EQ(jpegSize(readFile(jpeg)), (std::pair{2048, 1536}));
    if (kAddressSanitizer) GTEST_SKIP() << "under AddressSanitizer the decoder has no address-space limit";
    EXPECT_EQ(run(std::uint64_t(4) << 20), 3);  // 4 MiB: less than the picture's planes
}
