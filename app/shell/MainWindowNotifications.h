#pragma once

#include <string_view>

namespace parlivo {

// Posted by the main window (object: the window) when it enters or leaves full screen; the
// touch bar rebuilds on both.
inline constexpr std::string_view windowDidEnterFullScreenNotification = "NSWindowDidEnterFullScreenNotification";
inline constexpr std::string_view windowDidExitFullScreenNotification = "NSWindowDidExitFullScreenNotification";

}  // namespace parlivo
