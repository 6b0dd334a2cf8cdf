#pragma once

#include <glibmm/refptr.h>

#include <string>

#include "foundation/Bundle.h"

// Only the image functions need the pixbuf type; their callers include <gdkmm/pixbuf.h>, so the
// display-free users of this header do not pay for the toolkit's headers.
namespace Gdk {
class Pixbuf;
}

namespace tovak {

// Read-only facts about the running application, read from the bundle's Info.plist on every
// call, each with a fixed fallback. Tests pass a bundle of their own; everyone else uses the
// main bundle.
class WQApplicationInfo {
public:
    static constexpr std::string_view kClassName = "WQApplicationInfo";

    // "CFBundleIdentifier", or "default".
    static std::string bundleIdentifier(const platform::Bundle& bundle = platform::Bundle::main());
    // "CFBundleName", or "Default" when missing or not a string.
    static std::string applicationName(const platform::Bundle& bundle = platform::Bundle::main());
    // The user-facing version: "CFBundleShortVersionString", or "default".
    static std::string bundleVersionString(const platform::Bundle& bundle = platform::Bundle::main());
    // The build version: "CFBundleVersion", or "default". (The names are crossed on purpose:
    // callers rely on bundleVersionString being the short version.)
    static std::string bundleShortVersionString(const platform::Bundle& bundle = platform::Bundle::main());

    // The application's icon: the windows' default icon when the program has set one, else the
    // icon theme's icon named after the bundle identifier. Null without a display or an icon.
    static Glib::RefPtr<Gdk::Pixbuf> applicationIcon();
};

}  // namespace tovak
