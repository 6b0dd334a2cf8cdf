#pragma once

typedef struct _GdkWindow GdkWindow;

namespace platform {

// Whether the X server sends the keyboard to `window` (a toplevel) or one of its children: the
// focus the window manager gave it. A passive key grab (a global shortcut being pressed) takes
// the keyboard for the moment of the press, and GTK then counts the window as inactive, but it
// does not move this focus: it tells which window the user was typing into just before the
// press. False without X11 (or when the window has no X window yet).
bool hasKeyboardFocus(GdkWindow* window);

}  // namespace platform
