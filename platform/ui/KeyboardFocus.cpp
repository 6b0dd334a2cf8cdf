#include "ui/KeyboardFocus.h"

#include <gdk/gdkx.h>
#include <X11/Xlib.h>

namespace platform {

bool hasKeyboardFocus(GdkWindow* window) {
    if (!window || !GDK_IS_X11_WINDOW(window)) return false;
    GdkDisplay* gdkDisplay = gdk_window_get_display(window);
    Display* display = gdk_x11_display_get_xdisplay(gdkDisplay);
    const Window ours = gdk_x11_window_get_xid(gdk_window_get_toplevel(window));
    gdk_x11_display_error_trap_push(gdkDisplay);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    bool found = false;
    // The focus may lie on a child the toolkit made for it: walk up to the root.
    for (int depth = 0; focus != 0 && focus != PointerRoot && depth < 64; ++depth) {
        if (focus == ours) {
            found = true;
            break;
        }
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, focus, &root, &parent, &children, &count)) break;
        if (children) XFree(children);
        if (parent == root) break;
        focus = parent;
    }
    gdk_x11_display_error_trap_pop_ignored(gdkDisplay);
    return found;
}

}  // namespace platform
