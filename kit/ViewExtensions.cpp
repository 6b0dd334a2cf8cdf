#include "ViewExtensions.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>

#include "ViewAnimation.h"

namespace tovak {
namespace {

// The animations work on the C object, which our reference keeps valid even when the C++
// wrapper of a managed widget goes away with it.
GtkWidget* widgetOf(Gtk::Widget& view) {
    return view.gobj();
}

bool placesByPosition(GtkWidget* parent) {
    return parent && (GTK_IS_FIXED(parent) || GTK_IS_LAYOUT(parent));
}

ViewSize sizeOf(GtkWidget* widget) {
    GtkAllocation allocation;
    gtk_widget_get_allocation(widget, &allocation);
    // An unrealized widget has the 1 × 1 placeholder allocation (or none): use its request.
    if (gtk_widget_get_realized(widget) && allocation.width > 1 && allocation.height > 1)
        return {double(allocation.width), double(allocation.height)};
    int width = -1, height = -1;
    gtk_widget_get_size_request(widget, &width, &height);
    if (width < 0 || height < 0) {
        GtkRequisition natural;
        gtk_widget_get_preferred_size(widget, nullptr, &natural);
        if (width < 0) width = natural.width;
        if (height < 0) height = natural.height;
    }
    return {double(width), double(height)};
}

ViewFrame frameOf(GtkWidget* widget) {
    const ViewSize size = sizeOf(widget);
    ViewFrame frame{0, 0, size.width, size.height};
    GtkWidget* parent = gtk_widget_get_parent(widget);
    if (placesByPosition(parent)) {
        int x = 0, y = 0;
        gtk_container_child_get(GTK_CONTAINER(parent), widget, "x", &x, "y", &y, nullptr);
        frame.x = x;
        frame.y = y;
    }
    return frame;
}

void moveTo(GtkWidget* widget, double x, double y) {
    GtkWidget* parent = gtk_widget_get_parent(widget);
    const int ix = int(std::lround(x)), iy = int(std::lround(y));
    if (parent && GTK_IS_FIXED(parent)) gtk_fixed_move(GTK_FIXED(parent), widget, ix, iy);
    else if (parent && GTK_IS_LAYOUT(parent)) gtk_layout_move(GTK_LAYOUT(parent), widget, ix, iy);
}

double between(double from, double to, double progress) {
    return from + (to - from) * progress;
}

// Slides between the present frame and the outside one; `inwards` picks the direction.
void slide(Gtk::Widget& view, double duration, AnimationDirection direction, CompletionHandler handler, bool inwards) {
    GtkWidget* widget = widgetOf(view);
    GtkWidget* parent = gtk_widget_get_parent(widget);
    if (!placesByPosition(parent)) {
        gtk_widget_set_visible(widget, TRUE);
        if (handler) handler();
        return;
    }
    const ViewFrame present = frameOf(widget);
    const ViewFrame outside = outsideFrame(present, sizeOf(parent), direction);
    const ViewFrame from = inwards ? outside : present;
    const ViewFrame to = inwards ? present : outside;
    moveTo(widget, from.x, from.y);
    gtk_widget_set_visible(widget, TRUE);
    ViewAnimation::run(
        G_OBJECT(widget), duration,
        [widget, from, to](double p) { moveTo(widget, between(from.x, to.x, p), between(from.y, to.y, p)); },
        std::move(handler));
}

}  // namespace

ViewFrame frameOf(Gtk::Widget& view) {
    return frameOf(widgetOf(view));
}

ViewFrame outsideFrame(const ViewFrame& frame, const ViewSize& parentSize, AnimationDirection direction) {
    ViewFrame outside = frame;
    switch (direction) {
    case AnimationDirection::left: outside.x = -frame.width; break;
    case AnimationDirection::right: outside.x = parentSize.width; break;
    case AnimationDirection::top: outside.y = -frame.height; break;
    case AnimationDirection::bottom: outside.y = parentSize.height; break;
    }
    return outside;
}

void fadeOut(Gtk::Widget& view, double duration) {
    fadeOut(view, duration, true, {});
}

void fadeOut(Gtk::Widget& view, double duration, bool removeFromSuperview) {
    fadeOut(view, duration, removeFromSuperview, {});
}

void fadeOut(Gtk::Widget& view, double duration, bool removeFromSuperview, CompletionHandler completionHandler) {
    GtkWidget* widget = widgetOf(view);
    gtk_widget_set_opacity(widget, 1.0);
    ViewAnimation::run(
        G_OBJECT(widget), duration, [widget](double p) { gtk_widget_set_opacity(widget, 1.0 - p); },
        [widget, removeFromSuperview, handler = std::move(completionHandler)] {
            gtk_widget_set_visible(widget, FALSE);
            if (removeFromSuperview) {
                if (GtkWidget* parent = gtk_widget_get_parent(widget); parent && GTK_IS_CONTAINER(parent))
                    gtk_container_remove(GTK_CONTAINER(parent), widget);
            }
            if (handler) handler();
        });
}

void fadeIn(Gtk::Widget& view, double duration) {
    fadeIn(view, duration, {});
}

void fadeIn(Gtk::Widget& view, double duration, CompletionHandler completionHandler) {
    GtkWidget* widget = widgetOf(view);
    gtk_widget_set_opacity(widget, 0.0);
    gtk_widget_set_visible(widget, TRUE);
    ViewAnimation::run(
        G_OBJECT(widget), duration, [widget](double p) { gtk_widget_set_opacity(widget, p); },
        std::move(completionHandler));
}

void moveIn(Gtk::Widget& view, double duration, AnimationDirection direction, CompletionHandler completionHandler) {
    slide(view, duration, direction, std::move(completionHandler), true);
}

void moveOut(Gtk::Widget& view, double duration, AnimationDirection direction, CompletionHandler completionHandler) {
    slide(view, duration, direction, std::move(completionHandler), false);
}

void animateToSize(Gtk::Widget& view, ViewSize size, double duration, CompletionHandler completionHandler) {
    GtkWidget* widget = widgetOf(view);
    const ViewSize from = sizeOf(widget);
    ViewAnimation::run(
        G_OBJECT(widget), duration,
        [widget, from, size](double p) {
            gtk_widget_set_size_request(widget, int(std::lround(between(from.width, size.width, p))),
                                        int(std::lround(between(from.height, size.height, p))));
        },
        std::move(completionHandler));
}

void animateToMinSize(Gtk::Widget& view, ViewSize size, double duration, CompletionHandler completionHandler) {
    const ViewSize present = sizeOf(widgetOf(view));
    animateToSize(view, {std::max(present.width, size.width), std::max(present.height, size.height)}, duration,
                  std::move(completionHandler));
}

}  // namespace tovak
