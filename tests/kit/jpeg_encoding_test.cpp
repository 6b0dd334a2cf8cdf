// JPEG encoding: round trip keeps the size, the quality factor is clamped and orders the file
// sizes, transparency lands on white, and bad pictures give nothing.
#include <gtest/gtest.h>

#include <gdkmm/pixbufloader.h>

#include <cstdint>
#include <random>

#include "GtkmmWrappers.h"
#include "JPEGEncoding.h"
#include "RGBAImage.h"

using namespace tovak;

namespace {

// Noise compresses badly, so the quality shows in the file size.
RGBAImage noise(int width, int height) {
    RGBAImage image(width, height);
    std::mt19937 random(42);
    for (size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = (i % 4 == 3) ? 255 : random() & 0xff;
    return image;
}

Glib::RefPtr<Gdk::Pixbuf> decode(const std::vector<std::uint8_t>& jpeg) {
    ensureGtkmmWrappers();
    auto loader = Gdk::PixbufLoader::create("jpeg");
    loader->write(jpeg.data(), jpeg.size());
    loader->close();
    return loader->get_pixbuf();
}

}  // namespace

TEST(JPEGEncoding, RoundTripKeepsThePixelSize) {
    struct Size {
        int width, height;
    } sizes[] = {{1, 1}, {17, 5}, {64, 48}, {3, 200}};
    for (auto size : sizes) {
        auto jpeg = getJPEGDataWithQuality(noise(size.width, size.height), 0.9);
        ASSERT_TRUE(jpeg);
        ASSERT_GE(jpeg->size(), 4u);
        EXPECT_EQ((*jpeg)[0], 0xFF);
        EXPECT_EQ((*jpeg)[1], 0xD8);  // start of image
        auto decoded = decode(*jpeg);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->get_width(), size.width);
        EXPECT_EQ(decoded->get_height(), size.height);
    }
}

TEST(JPEGEncoding, FactorIsClampedAndOrdersTheSizes) {
    const RGBAImage image = noise(64, 64);
    const auto at = [&](double factor) { return *getJPEGDataWithQuality(image, factor); };
    EXPECT_EQ(at(0.0), at(0.2));
    EXPECT_EQ(at(0.1), at(0.2));
    EXPECT_EQ(at(-3.0), at(0.2));
    EXPECT_EQ(at(1.5), at(1.0));
    EXPECT_EQ(at(std::numeric_limits<double>::quiet_NaN()), at(0.2));
    size_t previous = 0;
    for (double factor : {0.2, 0.4, 0.6, 0.8, 0.95, 1.0}) {
        const size_t size = at(factor).size();
        EXPECT_GT(size, previous) << factor;
        previous = size;
    }
}

TEST(JPEGEncoding, PixbufAndBufferGiveTheSameFileAndTransparencyIsWhite) {
    RGBAImage image(8, 8);  // fully transparent black
    auto fromBuffer = getJPEGDataWithQuality(image, 1.0);
    auto fromPixbuf = getJPEGDataWithQuality(image.toPixbuf(), 1.0);
    ASSERT_TRUE(fromBuffer && fromPixbuf);
    EXPECT_EQ(*fromBuffer, *fromPixbuf);
    auto decoded = decode(*fromBuffer);
    ASSERT_TRUE(decoded);
    const std::uint8_t* pixel = decoded->get_pixels();
    EXPECT_GE(pixel[0], 250);
    EXPECT_GE(pixel[1], 250);
    EXPECT_GE(pixel[2], 250);

    // An RGB pixbuf without alpha, with row padding.
    auto rgb = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, false, 8, 7, 3);
    rgb->fill(0x204080ff);
    auto jpeg = getJPEGDataWithQuality(rgb, 0.8);
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(decode(*jpeg)->get_width(), 7);
}

TEST(JPEGEncoding, DecoderRowsWithPaddingGiveTheSameFileAsThePackedPicture) {
    const RGBAImage image = noise(13, 9);  // opaque, so laying it over white changes nothing
    const int stride = 13 * 3 + 9;
    std::vector<std::uint8_t> rows(static_cast<size_t>(stride) * 9, 0xAB);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 13; ++x)
            for (int c = 0; c < 3; ++c) rows[y * stride + x * 3 + c] = image.pixels[(y * 13 + x) * 4 + c];
    const auto fromRows = getJPEGDataWithQuality(rows.data(), 13, 9, stride, 0.75);
    ASSERT_TRUE(fromRows);
    EXPECT_EQ(*fromRows, *getJPEGDataWithQuality(image, 0.75));

    EXPECT_FALSE(getJPEGDataWithQuality(rows.data(), 13, 9, 13 * 3 - 1, 0.75));  // rows overlap
    EXPECT_FALSE(getJPEGDataWithQuality(nullptr, 13, 9, stride, 0.75));
    EXPECT_FALSE(getJPEGDataWithQuality(rows.data(), 0, 9, stride, 0.75));
}

TEST(JPEGEncoding, PicturesWithoutPixelsGiveNothing) {
    RGBAImage shortBuffer(4, 4);
    shortBuffer.pixels.resize(10);
    RGBAImage tooWide;
    tooWide.width = 70000;
    tooWide.height = 1;
    tooWide.pixels.resize(70000 * 4);
    for (const RGBAImage& image : {RGBAImage(), RGBAImage(0, 5), RGBAImage(-1, 3), shortBuffer, tooWide})
        EXPECT_FALSE(getJPEGDataWithQuality(image, 0.8));
    EXPECT_FALSE(getJPEGDataWithQuality(Glib::RefPtr<Gdk::Pixbuf>(), 0.8));
}

TEST(RGBAImage, PixbufRoundTripKeepsPixels) {
    const RGBAImage image = noise(5, 3);
    const RGBAImage back = RGBAImage::fromPixbuf(image.toPixbuf());
    EXPECT_EQ(back.width, 5);
    EXPECT_EQ(back.height, 3);
    EXPECT_EQ(back.pixels, image.pixels);
    EXPECT_FALSE(RGBAImage::fromPixbuf({}).isValid());
}
