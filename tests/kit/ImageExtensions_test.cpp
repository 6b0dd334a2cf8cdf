#include "ImageExtensions.h"

#include <gtest/gtest.h>

#include "GtkmmWrappers.h"

namespace {

Glib::RefPtr<Gdk::Pixbuf> opaque(int width, int height) {
    tovak::ensureGtkmmWrappers();
    auto image = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, true, 8, width, height);
    image->fill(0x3366ccff);
    return image;
}

int alphaAt(const Glib::RefPtr<Gdk::Pixbuf>& image, int x, int y) {
    return image->get_pixels()[y * image->get_rowstride() + x * image->get_n_channels() + 3];
}

}  // namespace

TEST(ImageExtensions, TheDefaultCutsTheInscribedCircle) {
    auto source = opaque(64, 64);
    auto round = tovak::roundCorners(source);
    ASSERT_TRUE(round);
    EXPECT_EQ(round->get_width(), 64);
    EXPECT_EQ(round->get_height(), 64);
    for (auto [x, y] : {std::pair{0, 0}, {63, 0}, {0, 63}, {63, 63}, {6, 6}}) EXPECT_EQ(alphaAt(round, x, y), 0);
    for (auto [x, y] : {std::pair{32, 32}, {32, 1}, {1, 32}, {62, 32}}) EXPECT_GT(alphaAt(round, x, y), 200);
    // The colour comes through and the source stays as it was.
    const guint8* p = round->get_pixels() + 32 * round->get_rowstride() + 32 * 4;
    EXPECT_EQ((int(p[0]) << 16) | (p[1] << 8) | p[2], 0x3366cc);
    EXPECT_EQ(alphaAt(source, 0, 0), 255);
}

TEST(ImageExtensions, RadiiAreFractionsOfEachSide) {
    // 100 × 40 with 0.25: radii 25 and 10.
    auto round = tovak::roundCorners(opaque(100, 40), 0.25, 0.25);
    EXPECT_EQ(alphaAt(round, 0, 0), 0);
    EXPECT_EQ(alphaAt(round, 5, 2), 0);      // inside the corner's ellipse cut-off
    EXPECT_GT(alphaAt(round, 26, 0), 200);   // past the horizontal radius: straight edge
    EXPECT_GT(alphaAt(round, 0, 11), 200);   // past the vertical radius
    EXPECT_GT(alphaAt(round, 50, 20), 200);
}

TEST(ImageExtensions, ZeroKeepsEveryPixelAndLargeFractionsActAsOneHalf) {
    auto square = tovak::roundCorners(opaque(20, 20), 0, 0);
    EXPECT_EQ(alphaAt(square, 0, 0), 255);
    EXPECT_EQ(alphaAt(square, 19, 19), 255);
    auto half = tovak::roundCorners(opaque(40, 40));
    auto more = tovak::roundCorners(opaque(40, 40), 3.0, 3.0);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(alphaAt(half, x, y), alphaAt(more, x, y)) << x << "," << y;
    EXPECT_FALSE(tovak::roundCorners({}));
}
