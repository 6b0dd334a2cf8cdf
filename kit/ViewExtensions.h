#pragma once

#include <functional>

#include <gtkmm/widget.h>

namespace tovak {

// Fades, slides and size animations of a widget, run on main-loop timers. Each keeps the widget
// and its completion handler alive until it has ended; the handler then runs once, on the main
// loop. Animations of the same widget are not queued or cancelled against each other.
//
// Positions are GTK's: a widget's frame is its place in its parent, which must be a Gtk::Fixed
// or Gtk::Layout for a slide (other containers place their children themselves), with the origin
// at the parent's top left and y growing downwards.

enum class AnimationDirection { left, right, top, bottom };

struct ViewFrame {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const ViewFrame&) const = default;
};

struct ViewSize {
    double width = 0, height = 0;
    bool operator==(const ViewSize&) const = default;
};

using CompletionHandler = std::function<void()>;

// The widget's frame: its position in a Fixed or Layout parent (0, 0 otherwise) and its
// allocated size (its requested size while it has none).
ViewFrame frameOf(Gtk::Widget& view);
// Where a slide in from / out to `direction` starts or ends: just beyond that edge of the parent.
ViewFrame outsideFrame(const ViewFrame& frame, const ViewSize& parentSize, AnimationDirection direction);

// Opacity 1 at once, animated to 0; at the end the widget is hidden, removed from its parent
// when asked (the default), and the handler runs. The opacity stays 0.
void fadeOut(Gtk::Widget& view, double duration);
void fadeOut(Gtk::Widget& view, double duration, bool removeFromSuperview);
void fadeOut(Gtk::Widget& view, double duration, bool removeFromSuperview, CompletionHandler completionHandler);

// Opacity 0 at once, shown, animated to 1; then the handler.
void fadeIn(Gtk::Widget& view, double duration);
void fadeIn(Gtk::Widget& view, double duration, CompletionHandler completionHandler);

// Slides from beyond the parent's `direction` edge to the widget's present frame. Without a
// parent that places children by position the widget is only shown and the handler runs before
// the call returns.
void moveIn(Gtk::Widget& view, double duration, AnimationDirection direction, CompletionHandler completionHandler);
// Slides from the present frame to beyond the `direction` edge, where the widget stays (shown);
// the owner puts it back before sliding it in again. Same rule without a positioning parent.
void moveOut(Gtk::Widget& view, double duration, AnimationDirection direction, CompletionHandler completionHandler);

// Animates the widget's size request to `size`, its position unchanged.
void animateToSize(Gtk::Widget& view, ViewSize size, double duration, CompletionHandler completionHandler = {});
// animateToSize with each dimension at least its present one.
void animateToMinSize(Gtk::Widget& view, ViewSize size, double duration, CompletionHandler completionHandler = {});

}  // namespace tovak
