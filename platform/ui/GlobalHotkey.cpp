#include "ui/GlobalHotkey.h"

#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <keybinder.h>

#include <map>
#include <vector>

#include "foundation/Log.h"

namespace platform {

namespace {

// keybinder unbinds by key string and handler, not by owner, so every GlobalHotkey binding the
// same combination shares one grab; the last one to let go releases it.
using Handlers = std::vector<std::weak_ptr<std::function<void()>>>;

std::map<std::string, Handlers>& registry() {
    static auto* bindings = new std::map<std::string, Handlers>;  // never destroyed
    return *bindings;
}

void dispatch(const char* keystring, void*) {
    auto it = registry().find(keystring);
    if (it == registry().end()) return;
    // Copies first: a handler may bind or unbind.
    std::vector<std::shared_ptr<std::function<void()>>> live;
    for (auto& weak : it->second)
        if (auto handler = weak.lock()) live.push_back(std::move(handler));
    for (auto& handler : live)
        if (*handler) (*handler)();
}

bool ensureInitialised() {
    static bool initialised = false;
    if (!GlobalHotkey::isSupported()) return false;
    if (!initialised) {
        keybinder_init();
        keybinder_set_use_cooked_accelerators(FALSE);
        initialised = true;
    }
    return true;
}

}  // namespace

GlobalHotkey::GlobalHotkey() = default;

GlobalHotkey::~GlobalHotkey() { unbind(); }

bool GlobalHotkey::isSupported() {
    GdkDisplay* display = gdk_display_get_default();
    return display && GDK_IS_X11_DISPLAY(display);
}

bool GlobalHotkey::bind(unsigned keyval, unsigned modifiers, std::function<void()> handler) {
    unbind();
    if (!ensureInitialised()) {
        systemLog("GlobalHotkey: no X11 display, the global shortcut is not available", LogLevel::info);
        return false;
    }
    if (keyval == 0 || keyval == GDK_KEY_VoidSymbol) return false;
    gchar* name = gtk_accelerator_name(keyval, GdkModifierType(modifiers & gtk_accelerator_get_default_mod_mask()));
    std::string accelerator = name ? name : "";
    g_free(name);
    if (accelerator.empty()) return false;

    auto& handlers = registry()[accelerator];
    if (handlers.empty() && !keybinder_bind(accelerator.c_str(), dispatch, nullptr)) {
        registry().erase(accelerator);
        systemLog("GlobalHotkey: could not grab " + accelerator, LogLevel::warning);
        return false;
    }
    handler_ = std::make_shared<std::function<void()>>(std::move(handler));
    handlers.push_back(handler_);
    accelerator_ = std::move(accelerator);
    return true;
}

void GlobalHotkey::unbind() {
    if (accelerator_.empty()) return;
    auto it = registry().find(accelerator_);
    if (it != registry().end()) {
        std::erase_if(it->second, [&](const std::weak_ptr<std::function<void()>>& weak) {
            auto locked = weak.lock();
            return !locked || locked == handler_;
        });
        if (it->second.empty()) {
            keybinder_unbind(accelerator_.c_str(), dispatch);
            registry().erase(it);
        }
    }
    handler_.reset();
    accelerator_.clear();
}

}  // namespace platform
