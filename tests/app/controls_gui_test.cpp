// The custom controls as widgets: the toggle switch under the mouse, the keys and an
// accessibility client; the drawn switch and slider; the help button's popover; the alert
// popover's answers and lifetime; the image well and the picture reader behind it.

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/adjustment.h>
#include <gtkmm/box.h>
#include <gtkmm/main.h>
#include <gtkmm/scale.h>
#include <gtkmm/button.h>
#include <gtkmm/popover.h>
#include <gtkmm/window.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "RunLoop.h"
#include "controls/DadizSliderCell.h"
#include "controls/ImageFileLoader.h"
#include "controls/InfoButton.h"
#include "controls/QORSwitch.h"
#include "controls/WQChooseImageView.h"
#include "controls/ZOAAlertPopover.h"

using namespace parlivo;
namespace fs = std::filesystem;

namespace {

class ControlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gtk_init(nullptr, nullptr);
        Gtk::Main::init_gtkmm_internals();
    }

    // A window holding `widget`, shown and realized.
    void show(Gtk::Widget& widget) {
        window.add(widget);
        window.show_all();
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return widget.get_mapped() && widget.get_allocated_width() > 1; }));
    }

    static void send(Gtk::Widget& widget, GdkEvent* event) {
        event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(widget.gobj()))));
        event->any.send_event = TRUE;
        gtk_widget_event(GTK_WIDGET(widget.gobj()), event);
        gdk_event_free(event);
    }
    static void button(Gtk::Widget& widget, GdkEventType type, double x, double y) {
        GdkEvent* event = gdk_event_new(type);
        event->button.button = 1;
        event->button.x = x;
        event->button.y = y;
        send(widget, event);
    }
    static void motion(Gtk::Widget& widget, double x, double y) {
        GdkEvent* event = gdk_event_new(GDK_MOTION_NOTIFY);
        event->motion.x = x;
        event->motion.y = y;
        event->motion.state = GDK_BUTTON1_MASK;
        send(widget, event);
    }
    static bool key(Gtk::Widget& widget, guint keyval) {
        GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
        event->key.keyval = keyval;
        event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(widget.gobj()))));
        const bool handled = gtk_widget_event(GTK_WIDGET(widget.gobj()), event);
        gdk_event_free(event);
        return handled;
    }

    // The widget as drawn now, on an image surface of its size.
    static Cairo::RefPtr<Cairo::ImageSurface> render(Gtk::Widget& widget) {
        auto surface = Cairo::ImageSurface::create(Cairo::FORMAT_ARGB32, widget.get_allocated_width(),
                                                   widget.get_allocated_height());
        auto context = Cairo::Context::create(surface);
        gtk_widget_draw(GTK_WIDGET(widget.gobj()), context->cobj());
        surface->flush();
        return surface;
    }
    // Straight RGBA.
    static std::array<int, 4> pixel(const Cairo::RefPtr<Cairo::ImageSurface>& surface, int x, int y) {
        const unsigned char* p = surface->get_data() + y * surface->get_stride() + x * 4;
        const int a = p[3];
        auto straight = [a](int c) { return a == 0 ? 0 : std::min(255, c * 255 / a); };
        return {straight(p[2]), straight(p[1]), straight(p[0]), a};
    }

    Gtk::Window window;
};

AtkStateSet* states(Gtk::Widget& widget) {
    return atk_object_ref_state_set(gtk_widget_get_accessible(GTK_WIDGET(widget.gobj())));
}

bool hasState(Gtk::Widget& widget, AtkStateType state) {
    AtkStateSet* set = states(widget);
    const bool has = atk_state_set_contains_state(set, state);
    g_object_unref(set);
    return has;
}

}  // namespace

TEST_F(ControlsTest, SwitchTogglesForTheUserAndSendsItsActionOnlyForTheirChanges) {
    QORSwitch control;
    int actions = 0;
    std::vector<bool> bound;
    control.signalAction().connect([&](QORSwitch& sender) {
        EXPECT_EQ(&sender, &control);
        ++actions;
    });
    control.bindChecked([&](bool value) { bound.push_back(value); });
    show(control);

    control.setChecked(true);
    control.setChecked(true);
    EXPECT_EQ(actions, 0) << "changes made in code send nothing";
    EXPECT_EQ(bound, std::vector<bool>{true}) << "the model hears of a real change once";

    const double m = QORSwitch::focusMargin;
    button(control, GDK_BUTTON_PRESS, m + 10, m + 10);
    EXPECT_TRUE(control.logic().isActive());
    button(control, GDK_BUTTON_RELEASE, m + 10, m + 10);
    EXPECT_FALSE(control.checked());
    EXPECT_EQ(actions, 1);

    // A drag to the right half turns it on; one that comes back changes nothing.
    button(control, GDK_BUTTON_PRESS, m + 5, m + 10);
    motion(control, m + 36, m + 10);
    button(control, GDK_BUTTON_RELEASE, m + 36, m + 10);
    EXPECT_TRUE(control.checked());
    EXPECT_EQ(actions, 2);
    button(control, GDK_BUTTON_PRESS, m + 30, m + 10);
    motion(control, m + 2, m + 10);
    motion(control, m + 35, m + 10);
    button(control, GDK_BUTTON_RELEASE, m + 35, m + 10);
    EXPECT_TRUE(control.checked());
    EXPECT_EQ(actions, 2);

    // Keys: Space toggles, Left and Right set, and an arrow with nothing to do moves on.
    EXPECT_TRUE(key(control, GDK_KEY_space));
    EXPECT_FALSE(control.checked());
    EXPECT_FALSE(key(control, GDK_KEY_Left)) << "already off: the arrow is left to focus movement";
    EXPECT_TRUE(key(control, GDK_KEY_Right));
    EXPECT_TRUE(control.checked());
    EXPECT_EQ(actions, 4);
    EXPECT_EQ(bound, (std::vector<bool>{true, false, true, false, true}));

    // Screen readers: a check box with its checked state and one action that toggles it.
    AtkObject* accessible = gtk_widget_get_accessible(GTK_WIDGET(control.gobj()));
    EXPECT_EQ(atk_object_get_role(accessible), ATK_ROLE_CHECK_BOX);
    EXPECT_TRUE(hasState(control, ATK_STATE_CHECKABLE));
    EXPECT_TRUE(hasState(control, ATK_STATE_CHECKED));
    ASSERT_TRUE(ATK_IS_ACTION(accessible));
    EXPECT_EQ(atk_action_get_n_actions(ATK_ACTION(accessible)), 1);
    EXPECT_STREQ(atk_action_get_name(ATK_ACTION(accessible), 0), "click");
    EXPECT_TRUE(atk_action_do_action(ATK_ACTION(accessible), 0));
    EXPECT_FALSE(control.checked());
    EXPECT_FALSE(hasState(control, ATK_STATE_CHECKED));
    EXPECT_EQ(actions, 5);

    // Insensitive: nothing the user does gets through, and it is drawn at half opacity.
    control.set_sensitive(false);
    button(control, GDK_BUTTON_PRESS, m + 10, m + 10);
    button(control, GDK_BUTTON_RELEASE, m + 10, m + 10);
    key(control, GDK_KEY_space);
    key(control, GDK_KEY_Right);
    EXPECT_FALSE(atk_action_do_action(ATK_ACTION(accessible), 0));
    EXPECT_FALSE(control.setCheckedByUser(true));
    EXPECT_FALSE(control.checked());
    EXPECT_EQ(actions, 5);
    EXPECT_EQ(control.targetFrame().opacity, 0.5);
    control.setChecked(true);
    EXPECT_TRUE(control.checked()) << "the program still sets it";
    EXPECT_EQ(actions, 5);
}

TEST_F(ControlsTest, DrawnSwitchSettlesAtEachEnd) {
    QORSwitch control;
    show(control);
    const int m = QORSwitch::focusMargin;
    const int midY = m + int(control.trackHeight() / 2);
    const int leftX = m + 8, rightX = m + int(control.trackWidth()) - 8;
    for (bool on : {true, false, true}) {
        control.setCheckedByUser(on);
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return !control.isAnimating(); }));
        EXPECT_EQ(control.displayedFrame(), control.targetFrame()) << "the animation ends on its target";
        auto surface = render(control);
        const auto knob = pixel(surface, on ? rightX : leftX, midY);
        const auto track = pixel(surface, on ? leftX : rightX, midY);
        EXPECT_GT(knob[0], 240) << on;
        EXPECT_EQ(knob[3], 255) << on;
        if (on) {
            EXPECT_GT(track[1], 180) << "tint";
            EXPECT_LT(track[0], 100) << "tint";
        } else {
            EXPECT_EQ(track[3], 0) << "clear track";
        }
    }
}

TEST_F(ControlsTest, SliderDrawsItsKnobWhereTheScaleHasIt) {
    auto adjustment = Gtk::Adjustment::create(0.5, 0.0, 1.0, 0.1, 0.1);
    Gtk::Scale scale(adjustment, Gtk::ORIENTATION_HORIZONTAL);
    scale.set_size_request(220, 24);
    DadizSliderCell::attach(scale);
    EXPECT_FALSE(scale.get_draw_value());
    show(scale);
    int start = 0, end = 0;
    gtk_range_get_slider_range(GTK_RANGE(scale.gobj()), &start, &end);
    for (double value : {0.0, 1.0}) {
        const int before = start;
        scale.set_value(value);
        // The knob moves with the next layout.
        ASSERT_TRUE(testsupport::runLoopUntil([&] {
            gtk_range_get_slider_range(GTK_RANGE(scale.gobj()), &start, &end);
            return start != before;
        }));
        GdkRectangle area{};
        gtk_range_get_range_rect(GTK_RANGE(scale.gobj()), &area);
        const controls::Rect range{double(area.x), double(area.y), double(area.width), double(area.height)};
        const auto circle = DadizSliderCell::knobCircle(DadizSliderCell::knobRectCentredAt((start + end) / 2.0, range));
        auto surface = render(scale);
        const auto top = pixel(surface, int(circle.midX()), int(circle.y) + 2);
        EXPECT_GT(top[0], 200) << "the knob's light top, at " << value;
        if (value == 0.0) {
            EXPECT_LT(circle.midX(), area.x + area.width / 4.0);
        } else {
            EXPECT_GT(circle.midX(), area.x + area.width * 3 / 4.0);
        }
        // The groove runs across, dark, on the other side.
        const int far = value == 0.0 ? area.x + area.width - 20 : area.x + 20;
        const auto groove = pixel(surface, far, int(circle.midY()));
        EXPECT_EQ(groove[3], 255);
        EXPECT_LT(groove[0], 60);
    }
}

TEST_F(ControlsTest, HelpButtonOpensItsTextOnHoverOrOnClick) {
    InfoButton help(20);
    help.setFrameSize(20, 16);
    EXPECT_EQ(help.mainSize(), 20);
    help.setContent("What this does.");
    show(help);
    EXPECT_EQ(atk_object_get_role(gtk_widget_get_accessible(GTK_WIDGET(help.gobj()))), ATK_ROLE_PUSH_BUTTON);

    help.mouseEntered();
    ASSERT_TRUE(help.popover());
    EXPECT_TRUE(help.popover()->get_visible());
    EXPECT_FALSE(help.popover()->get_modal()) << "a hover popover leaves the pointer alone";
    help.mouseExited();
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return !help.popover()->get_visible(); }));

    help.setShowOnHover(false);
    help.mouseEntered();
    EXPECT_FALSE(help.popover()->get_visible()) << "pointing only brightens";
    EXPECT_TRUE(key(help, GDK_KEY_Return));
    EXPECT_TRUE(help.popover()->get_visible());
    EXPECT_TRUE(help.logic().popoverShown());
    help.click();
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return !help.popover()->get_visible(); }));
    EXPECT_FALSE(help.logic().popoverShown());
}

TEST_F(ControlsTest, AlertPopoverAnswersWithTheButtonsCodeAndGoesAwayWithItsPopover) {
    Gtk::Button anchor("Forgot password?");
    show(anchor);
    ZOAAlert alert{"Disable privacy?", "You will be logged out.", {"Proceed", "Cancel"}, ZOAAlert::Style::critical};

    std::vector<int> answers;
    std::weak_ptr<ZOAAlertPopover> weak =
        ZOAAlertPopover::showWithAlert(alert, [&](int response) { answers.push_back(response); }, Gdk::Rectangle(),
                                       anchor, ZOAAlertPopover::RectEdge::maxY);
    {
        auto popover = weak.lock();
        ASSERT_TRUE(popover);
        EXPECT_TRUE(popover->isShown());
        EXPECT_EQ(ZOAAlertPopover::selfOwnedCount(), 1u);
        ASSERT_TRUE(popover->popover());
        EXPECT_TRUE(popover->popover()->get_visible());
        EXPECT_TRUE(popover->popover()->get_style_context()->has_class(ZOAAlertPopover::styleClass)) << "always dark";
        EXPECT_EQ(popover->popover()->get_position(), Gtk::POS_TOP);
        ASSERT_EQ(popover->buttons().size(), 2u);
        EXPECT_EQ(popover->buttons()[1]->get_label(), "Cancel");
        popover->buttons()[1]->clicked();
    }
    EXPECT_EQ(answers, std::vector<int>{1001});
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return weak.expired(); })) << "a self-owned popover lets itself go";
    EXPECT_EQ(ZOAAlertPopover::selfOwnedCount(), 0u);

    // Closed from outside (a click elsewhere, Escape): no answer, and still let go.
    weak = ZOAAlertPopover::showWithAlert(alert, [&](int response) { answers.push_back(response); }, Gdk::Rectangle(),
                                          anchor, ZOAAlertPopover::RectEdge::minY);
    ASSERT_FALSE(weak.expired());
    weak.lock()->popover()->popdown();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return weak.expired(); }));
    EXPECT_EQ(answers, std::vector<int>{1001});

    // An owned one: a second show while shown is ignored; it can show again once closed.
    auto owned = ZOAAlertPopover::create(alert, [&](int response) { answers.push_back(response); });
    owned->showRelativeTo(Gdk::Rectangle(0, 0, 10, 10), anchor, ZOAAlertPopover::RectEdge::maxX);
    Gtk::Popover* first = owned->popover();
    owned->showRelativeTo(Gdk::Rectangle(), anchor, ZOAAlertPopover::RectEdge::minX);
    EXPECT_EQ(owned->popover(), first);
    EXPECT_EQ(first->get_position(), Gtk::POS_RIGHT);
    owned->dismissAlert(0);
    EXPECT_EQ(answers, (std::vector<int>{1001, 1000}));
    EXPECT_FALSE(owned->isShown());
    owned->showRelativeTo(Gdk::Rectangle(), anchor, ZOAAlertPopover::RectEdge::minX);
    EXPECT_TRUE(owned->isShown());

    // The window closes under it: closed unanswered.
    window.hide();
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return !owned->isShown(); }));
    EXPECT_EQ(answers.size(), 2u);

    // The widget it points at is destroyed while it shows: closed unanswered, and let go.
    window.remove();
    Gtk::Box box;
    auto* doomed = new Gtk::Button("Soon gone");
    box.add(*doomed);
    show(box);
    weak = ZOAAlertPopover::showWithAlert(alert, [&](int response) { answers.push_back(response); }, Gdk::Rectangle(),
                                          *doomed, ZOAAlertPopover::RectEdge::maxY);
    ASSERT_TRUE(weak.lock() && weak.lock()->isShown());
    delete doomed;
    EXPECT_FALSE(weak.lock() && weak.lock()->popover()) << "the popover went with the widget";
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return weak.expired(); }));
    EXPECT_EQ(answers.size(), 2u);
}

TEST_F(ControlsTest, ImageWellTakesPicturesOnlyAndTellsItsOwnerOfEachChoice) {
    const fs::path folder = fs::path(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") / "well";
    fs::create_directories(folder);
    const fs::path picture = folder / "picture.png";
    Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, false, 8, 64, 48)->save(picture.string(), "png");
    const fs::path video = folder / "clip.mp4";
    {
        std::ofstream out(video, std::ios::binary);
        const char header[] = "\0\0\0\x18" "ftypmp42\0\0\0\0mp42isom\0\0\0\x08moov";
        out.write(header, sizeof header);
    }
    const fs::path huge = folder / "huge.png";
    Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, false, 8, ImageFileLoader::maximumSide + 1, 1)->save(huge.string(), "png");

    EXPECT_TRUE(ImageFileLoader::load(picture));
    EXPECT_FALSE(ImageFileLoader::load(video));
    EXPECT_FALSE(ImageFileLoader::load(huge)) << "too large to show";
    EXPECT_FALSE(ImageFileLoader::load(folder));
    EXPECT_FALSE(ImageFileLoader::load(folder / "missing.png"));

    WQChooseImageView well;
    int actions = 0;
    well.signalAction().connect([&](WQChooseImageView& sender) {
        EXPECT_EQ(&sender, &well);
        ++actions;
    });
    show(well);

    auto open = [&](const fs::path& path) {
        bool done = false;
        well.openImageFile(path, [&] { done = true; });
        EXPECT_FALSE(done) << "read on a worker";
        EXPECT_TRUE(testsupport::runLoopUntil([&] { return done; }));
    };
    open(picture);
    ASSERT_TRUE(well.image());
    EXPECT_EQ(well.image()->get_width(), 64);
    EXPECT_EQ(actions, 1);
    auto chosen = well.image();
    open(video);
    EXPECT_EQ(well.image(), chosen) << "a video leaves the well as it was";
    EXPECT_EQ(actions, 1) << "and tells nobody";

    // The popover: Close does nothing more, Remove empties the well and tells the owner.
    well.showOptions();
    ASSERT_TRUE(well.optionsPopover() && well.optionsController());
    EXPECT_TRUE(well.optionsPopover()->get_visible());
    well.optionsController()->closeButton()->clicked();
    EXPECT_FALSE(well.optionsPopover());
    EXPECT_EQ(actions, 1);
    well.showOptions();
    well.optionsController()->resetButton()->clicked();
    EXPECT_FALSE(well.image());
    EXPECT_EQ(actions, 2);
    well.resetImage();
    EXPECT_EQ(actions, 3) << "removing from an empty well still tells";
    well.setImage(chosen);
    EXPECT_EQ(actions, 3) << "the program's own change tells nobody";
    testsupport::runLoopUntil([] { return !g_main_context_pending(nullptr); }, 1);
}
