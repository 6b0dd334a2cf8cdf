#include "WQApplicationInfo.h"

#include <gdk/gdk.h>
#include <gtkmm/icontheme.h>
#include <gtkmm/window.h>

namespace tovak {

namespace {

std::string infoStringOr(const platform::Bundle& bundle, const std::string& key, const char* fallback) {
    return bundle.infoString(key).value_or(fallback);
}

}  // namespace

std::string WQApplicationInfo::bundleIdentifier(const platform::Bundle& bundle) {
    std::string identifier = bundle.bundleIdentifier();
    return identifier.empty() ? "default" : identifier;
}

std::string WQApplicationInfo::applicationName(const platform::Bundle& bundle) {
    return infoStringOr(bundle, "CFBundleName", "Default");
}

std::string WQApplicationInfo::bundleVersionString(const platform::Bundle& bundle) {
    return infoStringOr(bundle, "CFBundleShortVersionString", "default");
}

std::string WQApplicationInfo::bundleShortVersionString(const platform::Bundle& bundle) {
    return infoStringOr(bundle, "CFBundleVersion", "default");
}

Glib::RefPtr<Gdk::Pixbuf> WQApplicationInfo::applicationIcon() {
    if (gdk_display_get_default() == nullptr) return {};
    auto icons = Gtk::Window::get_default_icon_list();
    if (!icons.empty() && icons.front()) return icons.front();
    try {
        auto theme = Gtk::IconTheme::get_default();
        const std::string name = bundleIdentifier();
        if (theme && theme->has_icon(name)) return theme->load_icon(name, 128, Gtk::ICON_LOOKUP_FORCE_SIZE);
    } catch (const Glib::Error&) {
    }
    return {};
}

}  // namespace tovak
