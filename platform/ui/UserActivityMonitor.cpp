#include "UserActivityMonitor.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <gtk/gtk.h>

#include <memory>
#include <vector>

namespace platform {
namespace {

struct Monitor {
    UserEventMask mask;
    UserActivityMonitor::Handler handler;
    bool removed = false;
};

struct Monitors {
    std::vector<std::shared_ptr<Monitor>> list;
    bool installed = false;
    bool wantsMotion = false;

    static Monitors& shared() {
        static Monitors* monitors = new Monitors;  // never destroyed: event hooks may run at exit
        return *monitors;
    }
};

constexpr UserEventMask kMotionMask = userEventMask(UserEventType::mouseMoved) |
                                     userEventMask(UserEventType::leftMouseDragged) |
                                     userEventMask(UserEventType::rightMouseDragged) |
                                     userEventMask(UserEventType::otherMouseDragged);

// A window reports pointer motion only when asked to; GTK asks only for widgets that want
// it, so a monitor of mouse movement asks for it on every toplevel of ours.
void reportMotion(GdkWindow* window) {
    if (window && gdk_window_get_window_type(window) == GDK_WINDOW_TOPLEVEL)
        gdk_window_set_events(window, GdkEventMask(gdk_window_get_events(window) | GDK_POINTER_MOTION_MASK));
}

void reportMotionOnAllWindows() {
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* item = toplevels; item; item = item->next)
        reportMotion(gtk_widget_get_window(GTK_WIDGET(item->data)));
    g_list_free(toplevels);
}

// GDK has one event handler; ours sees each event first and hands it on to GTK unchanged.
void dispatch(GdkEvent* event, gpointer) {
    if (event->type == GDK_MAP && Monitors::shared().wantsMotion) reportMotion(event->any.window);
    if (auto type = UserActivityMonitor::classify(*event)) {
        const UserEventMask bit = userEventMask(*type);
        // A handler may add or remove monitors while we walk a copy.
        const auto snapshot = Monitors::shared().list;
        for (const auto& monitor : snapshot)
            if (!monitor->removed && (monitor->mask & bit) && monitor->handler) monitor->handler(*type);
    }
    gtk_main_do_event(event);
}

UserEventType buttonType(guint button, UserEventType left, UserEventType right, UserEventType other) {
    return button == GDK_BUTTON_PRIMARY ? left : button == GDK_BUTTON_SECONDARY ? right : other;
}

}  // namespace

std::optional<UserEventType> UserActivityMonitor::classify(const GdkEvent& event) {
    switch (event.type) {
        case GDK_BUTTON_PRESS:
            return buttonType(event.button.button, UserEventType::leftMouseDown, UserEventType::rightMouseDown,
                              UserEventType::otherMouseDown);
        case GDK_BUTTON_RELEASE:
            return buttonType(event.button.button, UserEventType::leftMouseUp, UserEventType::rightMouseUp,
                              UserEventType::otherMouseUp);
        case GDK_MOTION_NOTIFY: {
            const guint state = event.motion.state;
            if (state & GDK_BUTTON1_MASK) return UserEventType::leftMouseDragged;
            if (state & GDK_BUTTON3_MASK) return UserEventType::rightMouseDragged;
            if (state & (GDK_BUTTON2_MASK | GDK_BUTTON4_MASK | GDK_BUTTON5_MASK)) return UserEventType::otherMouseDragged;
            return UserEventType::mouseMoved;
        }
        case GDK_ENTER_NOTIFY: return UserEventType::mouseEntered;
        case GDK_LEAVE_NOTIFY: return UserEventType::mouseExited;
        case GDK_KEY_PRESS: return event.key.is_modifier ? UserEventType::flagsChanged : UserEventType::keyDown;
        case GDK_KEY_RELEASE: return event.key.is_modifier ? UserEventType::flagsChanged : UserEventType::keyUp;
        case GDK_SCROLL: return UserEventType::scrollWheel;
        default: return std::nullopt;
    }
}

ObserverToken UserActivityMonitor::addLocalMonitor(UserEventMask mask, Handler handler) {
    if (!gdk_display_get_default()) return {};
    auto& monitors = Monitors::shared();
    if (!monitors.installed) {
        gdk_event_handler_set(&dispatch, nullptr, nullptr);
        monitors.installed = true;
    }
    if ((mask & kMotionMask) && !monitors.wantsMotion) {
        monitors.wantsMotion = true;
        reportMotionOnAllWindows();
    }
    auto monitor = std::make_shared<Monitor>(Monitor{mask, std::move(handler)});
    monitors.list.push_back(monitor);
    std::weak_ptr<Monitor> weak = monitor;
    return ObserverToken([weak] {
        auto monitor = weak.lock();
        if (!monitor) return;
        monitor->removed = true;
        auto& list = Monitors::shared().list;
        std::erase(list, monitor);
    });
}

std::optional<double> UserActivityMonitor::systemIdleTime() {
    // One connection of our own, so this works with or without GTK on the display.
    static Display* display = XOpenDisplay(nullptr);
    static const bool hasExtension = [] {
        int eventBase = 0, errorBase = 0;
        return display && XScreenSaverQueryExtension(display, &eventBase, &errorBase);
    }();
    if (!hasExtension) return std::nullopt;
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    if (!info) return std::nullopt;
    std::optional<double> idle;
    if (XScreenSaverQueryInfo(display, DefaultRootWindow(display), info)) idle = info->idle / 1000.0;
    XFree(info);
    return idle;
}

}  // namespace platform
