// The custom controls without a display: the toggle switch's state machine and geometry, the
// help button's behaviour, the slider's geometry, and the drawings of the switch and the slider
// on image surfaces at their extreme states.

#include <cairomm/surface.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "controls/ControlGeometry.h"
#include "controls/DadizSliderCell.h"
#include "controls/InfoButtonLogic.h"
#include "controls/QORSwitchLogic.h"
#include "controls/QORSwitchPainter.h"

using namespace parlivo;
using controls::Color;
using controls::Rect;

namespace {

struct Pixel {
    int r, g, b, a;
};

class Canvas {
public:
    Canvas(int width, int height) : surface_(Cairo::ImageSurface::create(Cairo::FORMAT_ARGB32, width, height)) {}
    Cairo::RefPtr<Cairo::Context> context() { return Cairo::Context::create(surface_); }
    // Straight RGBA of one pixel.
    Pixel at(int x, int y) {
        surface_->flush();
        const unsigned char* p = surface_->get_data() + y * surface_->get_stride() + x * 4;
        const int a = p[3];
        auto straight = [a](int c) { return a == 0 ? 0 : std::min(255, c * 255 / a); };
        return {straight(p[2]), straight(p[1]), straight(p[0]), a};
    }

private:
    Cairo::RefPtr<Cairo::ImageSurface> surface_;
};

bool near(double a, double b, double tolerance = 1e-9) { return std::abs(a - b) <= tolerance; }

}  // namespace

// --- Toggle switch ---

TEST(QORSwitchLogic, UserInputChangesTheStateAndSaysWhenToSendTheAction) {
    // Each step acts on the switch; the result is whether that step sends the action.
    using Step = std::function<bool(QORSwitchLogic&)>;
    const Step down = [](QORSwitchLogic& s) { s.mouseDown(); return false; };
    const Step up = [](QORSwitchLogic& s) { return s.mouseUp(); };
    auto dragTo = [](double x) -> Step { return [x](QORSwitchLogic& s) { s.mouseDragged(x, 40); return false; }; };
    const Step left = [](QORSwitchLogic& s) { return s.moveLeft(); };
    const Step right = [](QORSwitchLogic& s) { return s.moveRight(); };
    const Step toggle = [](QORSwitchLogic& s) { return s.toggle(); };
    const Step disable = [](QORSwitchLogic& s) { s.setEnabled(false); return false; };
    struct Case {
        const char* what;
        bool startOn;
        std::vector<Step> steps;
        bool endOn;
        int actions;
    } cases[] = {
        {"a click turns it on", false, {down, up}, true, 1},
        {"a click turns it off", true, {down, up}, false, 1},
        {"a drag released on the right half turns it on", false, {down, dragTo(5), dragTo(31), up}, true, 1},
        {"a drag back to the start changes nothing", false, {down, dragTo(30), dragTo(12), up}, false, 0},
        {"exactly half the width counts as the right", false, {down, dragTo(20), up}, true, 1},
        {"just left of half is the left", true, {down, dragTo(19.99), up}, false, 1},
        {"a release without a press decides nothing", false, {up}, false, 0},
        {"Left turns it off", true, {left}, false, 1},
        {"Left does nothing when off", false, {left}, false, 0},
        {"Right turns it on", false, {right}, true, 1},
        {"Right does nothing when on", true, {right}, true, 0},
        {"Space toggles", false, {toggle, toggle, toggle}, true, 3},
        {"disabled: the mouse does nothing", false, {disable, down, up}, false, 0},
        {"disabled: keys do nothing", true, {disable, left, toggle}, true, 0},
        {"disabled mid-press: the release decides nothing", false, {down, disable, up}, false, 0},
    };
    for (const auto& c : cases) {
        QORSwitchLogic logic;
        logic.setChecked(c.startOn);
        int actions = 0;
        for (const auto& step : c.steps) actions += step(logic) ? 1 : 0;
        EXPECT_EQ(logic.checked(), c.endOn) << c.what;
        EXPECT_EQ(actions, c.actions) << c.what;
        EXPECT_FALSE(logic.isActive() || logic.hasDragged()) << c.what << ": tracking ends with the release";
    }

    QORSwitchLogic disabled;
    disabled.setEnabled(false);
    EXPECT_FALSE(disabled.setCheckedByUser(true)) << "an accessibility client cannot change a disabled switch";
    EXPECT_TRUE(disabled.setChecked(true)) << "the program can";
    EXPECT_FALSE(disabled.setChecked(true)) << "the same value again is no change";
}

TEST(QORSwitchLogic, KnobAndColoursFollowTheStateAndTheDrag) {
    const double w = 40, h = 22;
    const double rest = (w - 2) / 1.6180340051651, pressed = (w - 2) / 1.38;
    struct Case {
        bool pressed, onSide;
        Rect expected;
    } cases[] = {
        {false, false, {1, 1, rest, 20}},
        {false, true, {w - rest - 1, 1, rest, 20}},
        {true, false, {1, 1, pressed, 20}},
        {true, true, {w - pressed - 1, 1, pressed, 20}},
    };
    for (const auto& c : cases) {
        const Rect knob = QORSwitchLogic::knobRect(w, h, c.pressed, c.onSide);
        EXPECT_TRUE(near(knob.x, c.expected.x) && near(knob.width, c.expected.width) && knob.y == 1 && knob.height == 20)
            << c.pressed << c.onSide;
    }

    QORSwitchLogic logic;
    auto frame = logic.frame(w, h);
    EXPECT_EQ(frame.border, QORSwitchLogic::offBorder);
    EXPECT_EQ(frame.fill.alpha, 0.0) << "clear track when off";
    EXPECT_EQ(frame.opacity, 1.0);

    // Dragging towards on shows the on colours and the knob at the right before the release.
    logic.mouseDown();
    logic.mouseDragged(35, w);
    frame = logic.frame(w, h);
    EXPECT_EQ(frame.fill, QORSwitchLogic::defaultTint);
    EXPECT_EQ(frame.border, QORSwitchLogic::defaultTint);
    EXPECT_TRUE(near(frame.knob.width, pressed));
    EXPECT_TRUE(near(frame.knob.x, w - pressed - 1));
    EXPECT_TRUE(logic.followsDrag());
    logic.mouseUp();

    const Color tint{0.1, 0.2, 0.9, 1}, border{1, 0, 0, 1};
    frame = logic.frame(w, h, tint, border);
    EXPECT_EQ(frame.fill, tint);
    EXPECT_EQ(frame.border, border) << "the override wins in both states";
    logic.setChecked(false);
    EXPECT_EQ(logic.frame(w, h, tint, border).border, border);
    logic.setEnabled(false);
    EXPECT_EQ(logic.frame(w, h).opacity, 0.5);
}

TEST(QORSwitchLogic, TheSettlingAnimationOvershootsAndEndsOnTarget) {
    const auto& c = QORSwitchLogic::overshootTiming;
    EXPECT_EQ(controls::cubicBezierTiming(c[0], c[1], c[2], c[3], 0), 0);
    EXPECT_EQ(controls::cubicBezierTiming(c[0], c[1], c[2], c[3], 1), 1);
    double peak = 0;
    for (int i = 1; i < 100; ++i) peak = std::max(peak, controls::cubicBezierTiming(c[0], c[1], c[2], c[3], i / 100.0));
    EXPECT_GT(peak, 1.05) << "the knob swings past its end before it settles";
    const auto& d = QORSwitchLogic::dragTiming;
    double previous = 0;
    for (int i = 1; i <= 100; ++i) {
        const double v = controls::cubicBezierTiming(d[0], d[1], d[2], d[3], i / 100.0);
        EXPECT_GE(v, previous);
        EXPECT_LE(v, 1.0);
        previous = v;
    }
    // Colours never overshoot, rectangles do.
    EXPECT_EQ(controls::lerp(Color{0, 0, 0, 0}, Color{1, 1, 1, 1}, 1.2), (Color{1, 1, 1, 1}));
    EXPECT_TRUE(near(controls::lerp(Rect{0, 0, 10, 10}, Rect{10, 0, 10, 10}, 1.2).x, 12));
}

TEST(QORSwitchPainter, DrawsTheTrackAndKnobAtTheExtremeStates) {
    const double w = 40, h = 22;
    auto draw = [&](bool on, bool pressed, bool enabled) {
        QORSwitchLogic logic;
        logic.setChecked(on);
        logic.setEnabled(enabled);
        if (pressed) logic.mouseDown();
        Canvas canvas{int(w), int(h)};
        paintQORSwitch(canvas.context(), w, h, logic.frame(w, h));
        return canvas;
    };
    auto isWhite = [](Pixel p) { return p.a > 240 && p.r > 240 && p.g > 240 && p.b > 240; };
    auto isTint = [](Pixel p) { return p.a > 240 && std::abs(p.r - 69) < 6 && std::abs(p.g - 219) < 6 && std::abs(p.b - 92) < 6; };

    auto off = draw(false, false, true);
    EXPECT_TRUE(isWhite(off.at(10, 11))) << "the knob rests at the left";
    EXPECT_EQ(off.at(34, 11).a, 0) << "the track is clear";
    EXPECT_GT(off.at(20, 0).a, 30) << "the border shows";
    EXPECT_LT(off.at(20, 0).a, 80);

    auto on = draw(true, false, true);
    EXPECT_TRUE(isWhite(on.at(30, 11))) << "the knob rests at the right";
    EXPECT_TRUE(isTint(on.at(6, 11))) << "the track is filled with the tint";

    auto pressedOff = draw(false, true, true);
    EXPECT_TRUE(isWhite(pressedOff.at(26, 11))) << "a pressed knob is wider";
    EXPECT_EQ(off.at(26, 11).a, 0);

    auto disabled = draw(true, false, false);
    const Pixel faded = disabled.at(6, 11);
    EXPECT_NEAR(faded.a, 128, 3) << "half opacity when disabled";
    EXPECT_TRUE(std::abs(faded.g - 219) < 8) << "with the same colour";
}

// --- Help button ---

TEST(InfoButtonLogic, PopoverFollowsHoverOrClicksAndTheColoursFollowBoth) {
    using Command = InfoButtonLogic::PopoverCommand;
    InfoButtonLogic hover;
    EXPECT_EQ(hover.mouseEntered(), Command::show);
    hover.popoverDidShow();
    EXPECT_EQ(hover.mouseExited(), Command::close);
    hover.popoverDidClose();

    InfoButtonLogic click;
    click.showOnHover = false;
    EXPECT_EQ(click.mouseEntered(), Command::none) << "pointing only brightens";
    EXPECT_EQ(click.circleColor({0, 0, 0, 1}).alpha, 1.0);
    EXPECT_EQ(click.clicked(), Command::show);
    click.popoverDidShow();
    EXPECT_EQ(click.mouseExited(), Command::none) << "a clicked popover stays when the pointer leaves";
    EXPECT_EQ(click.clicked(), Command::close);

    // Outline mode, popover open, pointer elsewhere: full circle, dimmed mark.
    InfoButtonLogic outline;
    outline.fillMode = false;
    outline.popoverDidShow();
    const Color primary{0.2, 0.4, 0.6, 1}, secondary{0.5, 0.5, 0.5, 1};
    EXPECT_EQ(outline.circleColor(primary), primary);
    EXPECT_NEAR(outline.markColor(primary, secondary).alpha, 0.35, 1e-9);
    outline.popoverDidClose();
    EXPECT_NEAR(outline.circleColor(primary).alpha, 0.35, 1e-9);
    EXPECT_EQ(InfoButtonLogic().markColor(primary, secondary), secondary) << "fill mode marks in the second colour";

    EXPECT_EQ(InfoButtonLogic::fontSize(20), 12);
    EXPECT_EQ(InfoButtonLogic::circleRect(20), (Rect{2, 2, 16, 16}));
}

// --- Slider ---

TEST(DadizSliderCell, KnobAndGrooveSitOnTheSameBandWhateverTheHeight) {
    struct Case {
        Rect rect;
        double circleX, bandTop;
    } cases[] = {
        {{0, 0, 21, 21}, 7.5, 5},     // k = round(9 x 0.78333) = 7; band top round(4.5) = 5
        {{10, 4, 21, 12}, 17.5, 4},   // a band exactly as tall as the rectangle
        {{0, 0, 20, 30}, 6.5, 9},     // k = round(8 x 0.78333) = 6
        {{0, 0, 24, 22}, 9.5, 5},     // k = round(12 x 0.78333) = 9
    };
    for (const auto& c : cases) {
        const Rect circle = DadizSliderCell::knobCircle(c.rect);
        EXPECT_DOUBLE_EQ(circle.x, c.circleX) << c.rect.width;
        EXPECT_DOUBLE_EQ(circle.y, c.bandTop + 0.5);
        EXPECT_EQ(circle.width, 11);
        EXPECT_EQ(DadizSliderCell::centreDot(c.rect), (Rect{c.circleX + 4, c.bandTop + 4.5, 3, 3}));
        const Rect groove = DadizSliderCell::groove(c.rect);
        EXPECT_EQ(groove.height, 5);
        EXPECT_DOUBLE_EQ(groove.y, c.bandTop + 6);
        EXPECT_DOUBLE_EQ(groove.x, c.rect.x + 1);
        EXPECT_DOUBLE_EQ(groove.width, c.rect.width - 2);
    }
    // Placed for GTK: the circle centred on the platform's knob, the groove through its middle.
    const Rect range{0, 0, 200, 22};
    const Rect knob = DadizSliderCell::knobRectCentredAt(100, range);
    EXPECT_DOUBLE_EQ(DadizSliderCell::knobCircle(knob).midX(), 100);
    EXPECT_DOUBLE_EQ(DadizSliderCell::groove(DadizSliderCell::barRectFor(range)).midY(),
                     DadizSliderCell::knobCircle(knob).midY());
}

TEST(DadizSliderCell, DrawsTheGrooveAndTheKnobAtBothEnds) {
    const Rect range{0, 0, 200, 22};
    for (double centre : {10.5, 189.5}) {
        Canvas canvas(200, 22);
        auto context = canvas.context();
        DadizSliderCell::drawBar(context, DadizSliderCell::barRectFor(range));
        const Rect knob = DadizSliderCell::knobRectCentredAt(centre, range);
        DadizSliderCell::drawKnob(context, knob);
        const Rect circle = DadizSliderCell::knobCircle(knob);
        const int cx = int(circle.midX()), cy = int(circle.midY());
        // Light at the top of the knob, blue-grey at the bottom, a dark dot in the middle.
        const Pixel top = canvas.at(cx, int(circle.y) + 2), bottom = canvas.at(cx, int(circle.y + circle.height) - 2);
        EXPECT_GT(top.r, 200) << centre;
        EXPECT_LT(bottom.r, 150) << centre;
        EXPECT_GT(bottom.b, bottom.r) << centre;
        EXPECT_LT(canvas.at(cx, cy).r, top.r) << centre;
        // The groove, far from the knob: dark and opaque, through the knob's middle.
        const int far = centre < 100 ? 150 : 50;
        const Pixel groove = canvas.at(far, cy);
        EXPECT_EQ(groove.a, 255) << centre;
        EXPECT_LT(groove.r, 60) << centre;
        // Nothing above the groove away from the knob.
        EXPECT_EQ(canvas.at(far, cy - 5).a, 0) << centre;
    }
}
