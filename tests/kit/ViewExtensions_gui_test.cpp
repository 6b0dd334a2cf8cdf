// Widgets of the framework and the view and window animations, under a real display.
#include <gtest/gtest.h>
#include <gtkmm/builder.h>
#include <gtkmm/fixed.h>
#include <gtkmm/label.h>
#include <gtkmm/main.h>
#include <gtkmm/window.h>

#include "RunLoop.h"
#include "ViewExtensions.h"
#include "WQCheckMarkView.h"
#include "WQSecureTextField.h"
#include "WindowExtensions.h"

using namespace tovak;

namespace {

class ViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static Gtk::Main* main = nullptr;  // GTK and gtkmm set up once for the program
        if (!main) main = new Gtk::Main();
    }

    // A 400 × 300 window with a positioning container holding a 100 × 50 label at (10, 20).
    Gtk::Window window;
    Gtk::Fixed fixed;
    Gtk::Label* child = Gtk::manage(new Gtk::Label("x"));

    void SetUp() override {
        window.set_default_size(400, 300);
        fixed.set_size_request(400, 300);
        child->set_size_request(100, 50);
        fixed.put(*child, 10, 20);
        window.add(fixed);
        window.show_all();
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return child->get_allocated_width() == 100; }));
    }
    ViewFrame frame() { return frameOf(*child); }
};

}  // namespace

TEST_F(ViewTest, FadeOutHidesAndRemovesUnlessToldToKeepIt) {
    bool done = false;
    child->set_opacity(0.5);
    fadeOut(*child, 0.05, false, [&] { done = true; });
    EXPECT_DOUBLE_EQ(child->get_opacity(), 1.0);  // starts from opaque
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return done; }));
    EXPECT_FALSE(child->get_visible());
    EXPECT_DOUBLE_EQ(child->get_opacity(), 0.0);
    EXPECT_EQ(child->get_parent(), &fixed);

    Gtk::Label* other = Gtk::manage(new Gtk::Label("y"));
    fixed.put(*other, 0, 0);
    other->hide();  // a hidden view stays hidden
    bool removed = false;
    fadeOut(*other, 0.05, true, [&] { removed = fixed.get_children().size() == 1; });
    EXPECT_FALSE(other->get_visible());
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return removed; }));
}

TEST_F(ViewTest, FadeInShowsAtOnceFromTransparent) {
    child->hide();
    child->set_opacity(0.5);
    bool done = false;
    fadeIn(*child, 0.1, [&] { done = true; });
    EXPECT_TRUE(child->get_visible());
    EXPECT_DOUBLE_EQ(child->get_opacity(), 0.0);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return done; }));
    EXPECT_DOUBLE_EQ(child->get_opacity(), 1.0);
}

TEST_F(ViewTest, SlidesStartOrEndJustBeyondTheEdge) {
    const ViewFrame f{10, 20, 100, 50};
    EXPECT_EQ(frame(), f);
    const ViewSize parent{400, 300};
    EXPECT_EQ(outsideFrame(f, parent, AnimationDirection::right), (ViewFrame{400, 20, 100, 50}));
    EXPECT_EQ(outsideFrame(f, parent, AnimationDirection::left), (ViewFrame{-100, 20, 100, 50}));
    EXPECT_EQ(outsideFrame(f, parent, AnimationDirection::top), (ViewFrame{10, -50, 100, 50}));
    EXPECT_EQ(outsideFrame(f, parent, AnimationDirection::bottom), (ViewFrame{10, 300, 100, 50}));

    bool done = false;
    child->hide();
    moveIn(*child, 0.1, AnimationDirection::right, [&] { done = true; });
    EXPECT_TRUE(child->get_visible());
    EXPECT_EQ(frame().x, 400);  // starts outside
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return done; }));
    EXPECT_EQ(frame(), f);

    done = false;
    moveOut(*child, 0.05, AnimationDirection::left, [&] { done = true; });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return done; }));
    EXPECT_EQ(frame().x, -100);
    EXPECT_TRUE(child->get_visible());  // left there, not hidden
}

TEST_F(ViewTest, WithoutAPositioningParentASlideOnlyShows) {
    Gtk::Label loose("z");
    loose.hide();
    int calls = 0;
    moveIn(loose, 1.0, AnimationDirection::top, [&] { ++calls; });
    EXPECT_EQ(calls, 1);  // before returning
    EXPECT_TRUE(loose.get_visible());
    loose.hide();
    moveOut(loose, 1.0, AnimationDirection::bottom, [&] { ++calls; });
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(loose.get_visible());
}

TEST_F(ViewTest, SizeAnimationsKeepThePositionAndGrowOnlyWhereSmaller) {
    bool done = false;
    animateToMinSize(*child, {200, 40}, 0.05, [&] { done = true; });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return done; }));
    int width = 0, height = 0;
    child->get_size_request(width, height);
    EXPECT_EQ(width, 200);
    EXPECT_EQ(height, 50);
    EXPECT_EQ(frame().x, 10);
    EXPECT_EQ(frame().y, 20);
}

TEST_F(ViewTest, AWindowResizesWithItsTopLeftCornerKeptAndCallsBackOnceAfterTheResizeTime) {
    ASSERT_TRUE(testsupport::runLoopUntil([&] {
        int w = 0, h = 0;
        window.get_size(w, h);
        return w == 400 && h == 300;
    }));
    int x = 0, y = 0;
    window.get_position(x, y);
    const double expectedDelay = animationResizeTime(window, {400, 150}) + 0.05;
    EXPECT_NEAR(expectedDelay, 0.2 + 0.05, 1e-9);  // 150 pixels
    int calls = 0;
    const gint64 start = g_get_monotonic_time();
    gint64 calledAt = 0;
    fixed.set_size_request(1, 1);  // let the window shrink
    animateToSize(window, {400, 150}, [&] {
        ++calls;
        calledAt = g_get_monotonic_time();
    });
    EXPECT_EQ(calls, 0);  // never inside the call
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return calls == 1; }));
    EXPECT_GE(double(calledAt - start) / G_USEC_PER_SEC, expectedDelay - 0.01);
    ASSERT_TRUE(testsupport::runLoopUntil([&] {
        int w = 0, h = 0;
        window.get_size(w, h);
        return h == 150;
    }));
    int nx = 0, ny = 0;
    window.get_position(nx, ny);
    EXPECT_EQ(nx, x);
    EXPECT_EQ(ny, y);

    // Already larger in both dimensions: same size, and the callback still comes.
    animateToMinSize(window, {100, 100}, 3.0, [&] { ++calls; });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return calls == 2; }));
    ASSERT_TRUE(testsupport::runLoopPastTimer(0.3));  // a second callback would have come by now
    EXPECT_EQ(calls, 2);
}

TEST_F(ViewTest, ACheckMarkViewStartsAsACheckAndRedrawsOnEveryTypeChange) {
    WQCheckMarkView view;
    EXPECT_EQ(view.type(), WQCheckMarkViewType::check);
    view.setType(WQCheckMarkViewType::x);
    EXPECT_EQ(view.type(), WQCheckMarkViewType::x);

    auto builder = Gtk::Builder::create_from_string(R"(<interface>
      <object class="GtkDrawingArea" id="mark"/>
      <object class="GtkEntry" id="password"><property name="visibility">True</property><property name="has-frame">False</property></object>
    </interface>)");
    WQCheckMarkView* loaded = nullptr;
    builder->get_widget_derived("mark", loaded);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->type(), WQCheckMarkViewType::check);

    WQSecureTextField* field = nullptr;
    builder->get_widget_derived("password", field);
    ASSERT_NE(field, nullptr);
    // Whatever the file says: hidden text, a password, a rounded frame.
    EXPECT_FALSE(field->get_visibility());
    EXPECT_EQ(field->get_input_purpose(), Gtk::INPUT_PURPOSE_PASSWORD);
    EXPECT_TRUE(field->get_has_frame());
    EXPECT_TRUE(field->get_style_context()->has_class(WQSecureTextField::kRoundedStyleClass));
    EXPECT_FALSE(field->forceFirstResponder());
    delete loaded;
    delete field;

    WQSecureTextField made;
    EXPECT_FALSE(made.get_visibility());
    EXPECT_FALSE(made.get_style_context()->has_class(WQSecureTextField::kRoundedStyleClass));
}
