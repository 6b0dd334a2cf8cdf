// HEIF photos to JPEG: the picture's stored rotation is applied, transparency lands on white,
// and files that are no HEIF, damaged or too large give nothing.
#include <gtest/gtest.h>

#include <gdkmm/pixbufloader.h>

#include "GtkmmWrappers.h"
#include "MediaFixtures.h"
#include "media/HEIFConversion.h"

using namespace mediafixtures;
using parlivo::HEIFConversion;

namespace {

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
