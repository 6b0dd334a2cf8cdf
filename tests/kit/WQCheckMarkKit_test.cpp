#include "WQCheckMarkKit.h"

#include <cairomm/surface.h>
#include <gtest/gtest.h>

#include "WQCheckMarkView.h"

using tovak::WQCheckMarkKit;
using tovak::WQCheckMarkView;
using tovak::WQCheckMarkViewType;
using Rect = WQCheckMarkKit::Rect;
using Behavior = WQCheckMarkKit::ResizingBehavior;

namespace {

struct Pixel {
    int r, g, b, a;
};

class Canvas {
public:
    Canvas(int width, int height) : surface_(Cairo::ImageSurface::create(Cairo::FORMAT_ARGB32, width, height)) {}
    Cairo::RefPtr<Cairo::Context> context() { return Cairo::Context::create(surface_); }
    Pixel at(int x, int y) {
        surface_->flush();
        const unsigned char* p = surface_->get_data() + y * surface_->get_stride() + x * 4;
        return {p[2], p[1], p[0], p[3]};  // premultiplied BGRA in memory
    }

private:
    Cairo::RefPtr<Cairo::ImageSurface> surface_;
};

bool isTransparent(Pixel p) {
    return p.a == 0;
}
bool isWhite(Pixel p) {
    return p.a == 255 && p.r > 240 && p.g > 240 && p.b > 240;
}
bool isGreen(Pixel p) {
    return p.a == 255 && p.r < 10 && p.g > 170 && p.b < 30;
}
bool isRed(Pixel p) {
    return p.a == 255 && p.r > 210 && p.g < 15 && p.b < 15;
}
bool isYellow(Pixel p) {
    return p.a == 255 && p.r > 250 && p.g > 225 && p.b < 10;
}

}  // namespace

TEST(WQCheckMarkKit, TheDesignSpaceIsFittedAndCentred) {
    const Rect design = WQCheckMarkKit::kDesignRect;
    struct Case {
        Behavior behavior;
        Rect target, expected;
    };
    const Case cases[] = {
        {Behavior::aspectFit, {0, 0, 60, 60}, {0, 0, 60, 60}},
        {Behavior::aspectFit, {0, 0, 120, 60}, {30, 0, 60, 60}},
        {Behavior::aspectFit, {0, 0, 60, 120}, {0, 30, 60, 60}},
        {Behavior::aspectFit, {10, 20, 120, 120}, {10, 20, 120, 120}},
        {Behavior::aspectFill, {0, 0, 120, 60}, {0, -30, 120, 120}},
        {Behavior::stretch, {0, 0, 240, 60}, {0, 0, 240, 60}},
        {Behavior::center, {0, 0, 200, 100}, {40, -10, 120, 120}},
        {Behavior::aspectFit, {0, 0, 120, 120}, {0, 0, 120, 120}},  // equal: unchanged
        {Behavior::aspectFit, {0, 0, 0, 0}, {0, 0, 120, 120}},      // zero target: design size
    };
    for (const auto& c : cases) {
        const Rect r = WQCheckMarkKit::resizingBehaviorApply(c.behavior, design, c.target);
        EXPECT_EQ(r, c.expected) << int(c.behavior) << " " << c.target.width << "x" << c.target.height << " -> " << r.x
                                 << "," << r.y << " " << r.width << "x" << r.height;
    }
}

TEST(WQCheckMarkKit, AWideFrameDrawsACentredDisc) {
    Canvas canvas(120, 60);
    WQCheckMarkView::drawMark(canvas.context(), WQCheckMarkViewType::check, 0, 0, 120, 60);
    EXPECT_TRUE(isTransparent(canvas.at(25, 30)));
    EXPECT_TRUE(isGreen(canvas.at(33, 30)));
    EXPECT_TRUE(isGreen(canvas.at(87, 30)));
    EXPECT_TRUE(isTransparent(canvas.at(95, 30)));
    EXPECT_TRUE(isTransparent(canvas.at(31, 2)));  // outside the round edge, inside the square
}

TEST(WQCheckMarkKit, EachKindHasItsColourAndAWhiteSymbol) {
    struct Case {
        WQCheckMarkViewType type;
        bool (*disc)(Pixel);
        int symbolX, symbolY;  // a point on the symbol in a 120 × 120 frame (y down)
    };
    const Case cases[] = {
        {WQCheckMarkViewType::check, isGreen, 48, 82},        // the corner where the two strokes meet
        {WQCheckMarkViewType::x, isRed, 60, 60},              // the crossing
        {WQCheckMarkViewType::exclamation, isYellow, 60, 40},  // the bar of "!"
        {WQCheckMarkViewType::question, isYellow, 60, 84},     // above the dot of "?"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.type));
        Canvas canvas(120, 120);
        WQCheckMarkView::drawMark(canvas.context(), c.type, 0, 0, 120, 120);
        EXPECT_TRUE(c.disc(canvas.at(15, 60)));
        EXPECT_TRUE(c.disc(canvas.at(60, 110)));
        int white = 0;
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx) white += isWhite(canvas.at(c.symbolX + dx, c.symbolY + dy));
        EXPECT_GT(white, 0);
    }
}

TEST(WQCheckMarkKit, AFrameWithoutAreaDrawsNothingAndDoesNotThrow) {
    const Rect frames[] = {{0, 0, 0, 50}, {0, 0, 50, 0}};
    for (const auto& frame : frames) {
        for (auto type : {WQCheckMarkViewType::check, WQCheckMarkViewType::x, WQCheckMarkViewType::exclamation,
                          WQCheckMarkViewType::question}) {
            Canvas canvas(60, 60);
            auto context = canvas.context();
            EXPECT_NO_THROW(WQCheckMarkView::drawMark(context, type, frame.x, frame.y, frame.width, frame.height))
                << frame.width << "x" << frame.height;
            EXPECT_TRUE(isTransparent(canvas.at(5, 5)));
            EXPECT_EQ(context->get_target()->get_status(), CAIRO_STATUS_SUCCESS);
        }
    }
}
