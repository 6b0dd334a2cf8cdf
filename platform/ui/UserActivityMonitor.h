#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "foundation/ObserverToken.h"

union _GdkEvent;

namespace platform {

// Kinds of input, numbered as AppKit numbers its event types, so a mask bit is 1 << type and
// masks written for that platform keep their meaning.
enum class UserEventType : unsigned {
    leftMouseDown = 1,
    leftMouseUp = 2,
    rightMouseDown = 3,
    rightMouseUp = 4,
    mouseMoved = 5,
    leftMouseDragged = 6,
    rightMouseDragged = 7,
    mouseEntered = 8,
    mouseExited = 9,
    keyDown = 10,
    keyUp = 11,
    flagsChanged = 12,  // a modifier key pressed or released
    scrollWheel = 22,
    otherMouseDown = 25,
    otherMouseUp = 26,
    otherMouseDragged = 27,
};

using UserEventMask = std::uint64_t;
constexpr UserEventMask userEventMask(UserEventType type) {
    return UserEventMask(1) << unsigned(type);
}

// User activity as this program sees it. Main thread only.
class UserActivityMonitor {
public:
    using Handler = std::function<void(UserEventType)>;

    // Calls `handler` for each input event in `mask` that reaches one of this program's own
    // windows, before GTK handles it (the event itself is never changed or dropped). Input in
    // other programs is not seen. Returns an empty token when GTK has no display.
    static ObserverToken addLocalMonitor(UserEventMask mask, Handler handler);

    // What an event counts as; none for events that are not input.
    static std::optional<UserEventType> classify(const _GdkEvent& event);

    // Seconds since the last input anywhere on the X display (XScreenSaver extension), none
    // without an X display or the extension.
    static std::optional<double> systemIdleTime();
};

}  // namespace platform
