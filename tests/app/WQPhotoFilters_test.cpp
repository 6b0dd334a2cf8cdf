// The photo editor's filters against their written-down formulas (docs/photo-effects.md),
// computed here independently in double precision on small images.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "media/WQPhotoFilters.h"

using namespace parlivo;

namespace {

using Color = std::array<double, 3>;

double luma(const Color& c) {
    return 0.2125 * c[0] + 0.7154 * c[1] + 0.0721 * c[2];
}
double clamp01(double v) {
    return std::clamp(v, 0.0, 1.0);
}
Color sat(const Color& c, double s) {
    const double l = luma(c);
    return {l + s * (c[0] - l), l + s * (c[1] - l), l + s * (c[2] - l)};
}
Color con(const Color& c, double k) {
    return {(c[0] - 0.5) * k + 0.5, (c[1] - 0.5) * k + 0.5, (c[2] - 0.5) * k + 0.5};
}
Color gain(const Color& c, Color g, Color o) {
    return {g[0] * c[0] + o[0], g[1] * c[1] + o[1], g[2] * c[2] + o[2]};
}
Color clamped(const Color& c) {
    return {clamp01(c[0]), clamp01(c[1]), clamp01(c[2])};
}

// The effects as the documentation's table states them: matrix, then curve.
struct EffectFormula {
    std::function<Color(const Color&)> matrix;
    std::function<double(double)> curve;
};
EffectFormula formula(WQMediaEffect effect) {
    auto same = [](double x) { return x; };
    switch (effect) {
        case WQMediaEffect::none: return {[](const Color& c) { return c; }, same};
        case WQMediaEffect::chrome: return {[](const Color& c) { return con(sat(c, 1.4), 1.1); }, same};
        case WQMediaEffect::fade:
            return {[](const Color& c) { return gain(sat(c, 0.65), {0.8, 0.8, 0.8}, {0.1, 0.1, 0.1}); }, same};
        case WQMediaEffect::instant:
            return {[](const Color& c) { return gain(sat(c, 0.85), {1.02, 0.97, 0.82}, {0.04, 0.03, 0.07}); },
                    [](double x) { return std::pow(x, 0.9); }};
        case WQMediaEffect::process:
            return {[](const Color& c) { return con(gain(sat(c, 1.1), {0.92, 1.0, 1.06}, {0, 0.02, 0.05}), 1.1); },
                    same};
        case WQMediaEffect::tonal:
            return {[](const Color& c) { return sat(c, 0); },
                    [](double x) { return 0.5 * x + 0.5 * (3 * x * x - 2 * x * x * x); }};
        case WQMediaEffect::transfer:
            return {[](const Color& c) { return gain(sat(c, 1.1), {1.06, 1.0, 0.86}, {0.02, 0.01, 0.04}); },
                    [](double x) { return std::pow(x, 1.1); }};
    }
    return {};
}

// One pixel through the documented chain.
std::array<int, 4> expected(const std::uint8_t* px, int x, int y, int w, int h, const WQPhotoAdjustments& a) {
    Color c{px[0] / 255.0, px[1] / 255.0, px[2] / 255.0};
    Color c1 = clamped(con(gain(sat(c, a.saturation), {1, 1, 1}, {a.brightness, a.brightness, a.brightness}),
                           a.contrast));
    const double dx = x + 0.5 - w / 2.0, dy = y + 0.5 - h / 2.0;
    const double m = 1 - a.vignette * (dx * dx + dy * dy) / ((double(w) * w + double(h) * h) / 4);
    Color c2 = clamped({c1[0] * m, c1[1] * m, c1[2] * m});
    const EffectFormula f = formula(a.effect);
    Color c3 = clamped(f.matrix(c2));
    std::array<int, 4> out{};
    for (int i = 0; i < 3; ++i) out[i] = int(std::lround(255 * clamp01(f.curve(c3[i]))));
    out[3] = px[3];
    return out;
}

// A 5 x 4 picture with primaries, greys, near-extremes and a translucent pixel.
tovak::RGBAImage fixture() {
    tovak::RGBAImage image(5, 4);
    const std::vector<std::array<std::uint8_t, 4>> colours{
        {255, 0, 0, 255},   {0, 255, 0, 255},     {0, 0, 255, 255},   {128, 128, 128, 255}, {255, 255, 255, 255},
        {0, 0, 0, 255},     {200, 150, 100, 255}, {30, 60, 90, 255},  {250, 5, 128, 40},    {64, 192, 32, 0},
        {1, 2, 3, 255},     {254, 253, 252, 255}, {90, 200, 220, 255}, {180, 20, 60, 255},  {100, 100, 101, 255},
        {17, 170, 255, 128}, {255, 128, 0, 255},   {12, 34, 56, 255},  {222, 111, 0, 200},   {77, 77, 200, 255},
    };
    for (std::size_t i = 0; i < colours.size(); ++i)
        for (int c = 0; c < 4; ++c) image.pixels[i * 4 + c] = colours[i][c];
    return image;
}

void expectMatchesFormula(const tovak::RGBAImage& source, const WQPhotoAdjustments& a, const std::string& label) {
    tovak::RGBAImage result;
    applyPhotoAdjustments(source, a, result);
    ASSERT_EQ(result.width, source.width);
    ASSERT_EQ(result.height, source.height);
    int worst = 0;
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < source.width; ++x) {
            const std::size_t at = (std::size_t(y) * source.width + x) * 4;
            const auto want = expected(&source.pixels[at], x, y, source.width, source.height, a);
            for (int c = 0; c < 4; ++c) {
                const int diff = std::abs(int(result.pixels[at + c]) - want[c]);
                worst = std::max(worst, diff);
                EXPECT_LE(diff, c == 3 ? 0 : 1) << label << " pixel (" << x << "," << y << ") channel " << c << ": got "
                                                << int(result.pixels[at + c]) << ", formula " << want[c];
            }
        }
    }
}

}  // namespace

TEST(PhotoFiltersTest, NeutralValuesLeaveThePhotoUnchanged) {
    const auto source = fixture();
    tovak::RGBAImage result;
    applyPhotoAdjustments(source, {}, result);
    EXPECT_EQ(result.pixels, source.pixels);
}

TEST(PhotoFiltersTest, EachSliderEffectAndCombinationFollowsItsFormula) {
    struct Case {
        std::string label;
        WQPhotoAdjustments a;
    };
    using E = WQMediaEffect;
    std::vector<Case> cases{
        // each slider at both ends of its range and in between
        {"brightness -0.5", {-0.5, 1, 1, 0, E::none}},
        {"brightness 0.5", {0.5, 1, 1, 0, E::none}},
        {"brightness 0.13", {0.13, 1, 1, 0, E::none}},
        {"contrast 0.25", {0, 0.25, 1, 0, E::none}},
        {"contrast 2", {0, 2, 1, 0, E::none}},
        {"contrast 1.3", {0, 1.3, 1, 0, E::none}},
        {"saturation 0", {0, 1, 0, 0, E::none}},
        {"saturation 2", {0, 1, 2, 0, E::none}},
        {"saturation 0.4", {0, 1, 0.4, 0, E::none}},
        {"vignette 1", {0, 1, 1, 1, E::none}},
        {"vignette 0.35", {0, 1, 1, 0.35, E::none}},
        // the three controls together: saturation, then brightness, then contrast
        {"all controls", {0.2, 1.7, 1.6, 0, E::none}},
        {"all controls low", {-0.3, 0.5, 0.2, 0.6, E::none}},
    };
    for (int raw = 0; raw < kMediaEffectCount; ++raw) {
        const E effect = *mediaEffect(raw);
        const std::string title(mediaEffectTitle(effect));
        cases.push_back({title, {0, 1, 1, 0, effect}});
        // The effect comes after the colour controls and the vignette.
        cases.push_back({title + " after controls and vignette", {0.1, 1.4, 1.5, 0.8, effect}});
    }
    const auto source = fixture();
    for (const auto& c : cases) expectMatchesFormula(source, c.a, c.label);
}

TEST(PhotoFiltersTest, EffectTitlesAndRawValues) {
    const std::vector<std::string> titles{"Default", "Chrome", "Fade", "Instant", "Process", "Tonal", "Transfer"};
    for (int raw = 0; raw < 7; ++raw) EXPECT_EQ(mediaEffectTitle(*mediaEffect(raw)), titles[raw]);
    EXPECT_FALSE(mediaEffect(7));
    EXPECT_FALSE(mediaEffect(-1));
}

TEST(PhotoFiltersTest, SlidersAtTheirEndsGiveTheExpectedExtremes) {
    tovak::RGBAImage grey(9, 9);
    for (std::size_t i = 0; i < grey.pixels.size(); i += 4) {
        grey.pixels[i] = 200, grey.pixels[i + 1] = 100, grey.pixels[i + 2] = 50, grey.pixels[i + 3] = 255;
    }
    tovak::RGBAImage out;
    auto pixel = [&](int x, int y) {
        const std::size_t at = (std::size_t(y) * out.width + x) * 4;
        return std::array<int, 3>{out.pixels[at], out.pixels[at + 1], out.pixels[at + 2]};
    };
    applyPhotoAdjustments(grey, {0, 1, 0, 0}, out);  // no saturation: every channel the luma
    const int l = int(std::lround(255 * luma({200 / 255.0, 100 / 255.0, 50 / 255.0})));
    EXPECT_EQ(pixel(4, 4), (std::array<int, 3>{l, l, l}));
    tovak::RGBAImage middle(9, 9);
    for (std::size_t i = 0; i < middle.pixels.size(); ++i) middle.pixels[i] = 128;
    applyPhotoAdjustments(middle, {0.5, 2, 1, 0}, out);  // brightest and hardest: clipped to white
    EXPECT_EQ(pixel(4, 4), (std::array<int, 3>{255, 255, 255}));
    applyPhotoAdjustments(middle, {-0.5, 2, 1, 0}, out);  // darkest and hardest: black
    EXPECT_EQ(pixel(4, 4), (std::array<int, 3>{0, 0, 0}));
    applyPhotoAdjustments(middle, {0, 0.25, 1, 0}, out);  // flattest: everything near the middle grey
    EXPECT_EQ(pixel(4, 4), (std::array<int, 3>{128, 128, 128}));
    applyPhotoAdjustments(grey, {0, 1, 1, 1}, out);  // full vignette: darker towards the corners
    EXPECT_EQ(pixel(4, 4), (std::array<int, 3>{200, 100, 50}));
    EXPECT_LT(pixel(0, 0)[0], pixel(0, 4)[0]);
    EXPECT_LT(pixel(0, 4)[0], pixel(2, 4)[0]);
    EXPECT_EQ(pixel(0, 0)[0], int(std::lround(200 * (1 - 32 / 40.5))));  // rho^2 = 2 * 4^2 / (162 / 4)
    applyPhotoAdjustments(grey, {0, 1, 1, 1, WQMediaEffect::tonal}, out);  // tonal is grey everywhere
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_TRUE(pixel(x, y)[0] == pixel(x, y)[1] && pixel(x, y)[1] == pixel(x, y)[2]);
}

TEST(PhotoFiltersTest, ValuesThatAreNotNumbersActAsNeutral) {
    const auto source = fixture();
    tovak::RGBAImage result;
    applyPhotoAdjustments(source, {NAN, INFINITY, -INFINITY, NAN, WQMediaEffect(42)}, result);
    EXPECT_EQ(result.pixels, source.pixels);
    applyPhotoAdjustments(tovak::RGBAImage(), {}, result);
    EXPECT_FALSE(result.isValid());
}

TEST(PhotoFiltersTest, LargeImagesAreSplitAcrossThreadsWithTheSameResult) {
    // Tall enough to be shared among the workers; every row must be computed once and right.
    tovak::RGBAImage big(300, 1111);
    for (std::size_t i = 0; i < big.pixels.size(); ++i) big.pixels[i] = std::uint8_t((i * 2654435761u) >> 24);
    const WQPhotoAdjustments a{0.05, 1.2, 1.3, 0.7, WQMediaEffect::instant};
    tovak::RGBAImage result;
    applyPhotoAdjustments(big, a, result);
    for (int y : {0, 1, 277, 278, 555, 556, 833, 834, 1110}) {
        for (int x : {0, 149, 299}) {
            const std::size_t at = (std::size_t(y) * big.width + x) * 4;
            const auto want = expected(&big.pixels[at], x, y, big.width, big.height, a);
            for (int c = 0; c < 4; ++c) EXPECT_LE(std::abs(int(result.pixels[at + c]) - want[c]), 1) << y << "," << x;
        }
    }
}

TEST(PhotoFiltersTest, PreviewScalingAveragesAndKeepsProportions) {
    tovak::RGBAImage image(4, 2);
    // Left 2x2 block: 0 and 100 alternating; right block: all 200.
    const std::uint8_t values[8] = {0, 100, 200, 200, 100, 0, 200, 200};
    for (int i = 0; i < 8; ++i)
        for (int c = 0; c < 4; ++c) image.pixels[i * 4 + c] = values[i];
    const auto half = scaledToFit(image, 2, 2);
    ASSERT_EQ(half.width, 2);
    ASSERT_EQ(half.height, 1);
    EXPECT_EQ(half.pixels, (std::vector<std::uint8_t>{50, 50, 50, 50, 200, 200, 200, 200}));
    EXPECT_EQ(scaledToFit(image, 4, 2).pixels, image.pixels);  // fits: unchanged
    const auto photo = scaledToFit(tovak::RGBAImage(4000, 3000), 1600, 1600);
    EXPECT_EQ(photo.width, 1600);
    EXPECT_EQ(photo.height, 1200);
}
