#include "Appearance.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

#include "system/SessionBus.h"

namespace platform {
namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kSettingsInterface = "org.freedesktop.portal.Settings";
constexpr const char* kAppearanceNamespace = "org.freedesktop.appearance";
constexpr const char* kColorSchemeKey = "color-scheme";

// Read answers a variant inside a variant (the portal's historic form); newer portals may
// answer one level less. Unwrap until the value itself.
std::optional<unsigned> colorSchemeFrom(GVariant* value) {
    GVariant* current = g_variant_ref(value);
    while (current && g_variant_is_of_type(current, G_VARIANT_TYPE_VARIANT)) {
        GVariant* inner = g_variant_get_variant(current);
        g_variant_unref(current);
        current = inner;
    }
    std::optional<unsigned> scheme;
    if (current && g_variant_is_of_type(current, G_VARIANT_TYPE_UINT32)) scheme = g_variant_get_uint32(current);
    if (current) g_variant_unref(current);
    return scheme;
}

GtkSettings* gtkSettings() {
    // Without an open display GTK has no settings object.
    return gdk_display_get_default() ? gtk_settings_get_default() : nullptr;
}

struct Observer {
    std::function<void()> block;
};

void notify(const std::vector<std::weak_ptr<Observer>>& observers) {
    // Copies first: a block may add or remove observers.
    std::vector<std::shared_ptr<Observer>> live;
    for (const auto& weak : observers)
        if (auto observer = weak.lock()) live.push_back(std::move(observer));
    for (const auto& observer : live)
        if (observer->block) observer->block();
}

// The portal's colour scheme, kept up to date without ever waiting for the portal: it is read
// asynchronously when the portal appears on the bus and then follows SettingChanged. Until the
// first answer the scheme is unknown, which reads as "no portal". Lives on the main thread for
// the rest of the process.
class ColorSchemeCache {
public:
    static ColorSchemeCache& shared() {
        static ColorSchemeCache* cache = new ColorSchemeCache;  // never destroyed
        return *cache;
    }

    std::optional<unsigned> scheme() const { return scheme_; }

    void addObserver(const std::shared_ptr<Observer>& observer) {
        std::erase_if(observers_, [](const auto& weak) { return weak.expired(); });
        observers_.push_back(observer);
    }

private:
    ColorSchemeCache() {
        GDBusConnection* bus = sessionBus();
        if (!bus) return;
        // Only the portal's own announcements count: anyone on the bus could send a signal with
        // its path and interface.
        g_dbus_connection_signal_subscribe(
            bus, kPortalName, kSettingsInterface, "SettingChanged", kPortalPath, kAppearanceNamespace,
            G_DBUS_SIGNAL_FLAGS_NONE,
            [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
               gpointer data) {
                if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ssv)"))) return;
                const gchar* key = nullptr;
                GVariant* value = nullptr;
                g_variant_get(parameters, "(&s&sv)", nullptr, &key, &value);
                if (g_strcmp0(key, kColorSchemeKey) == 0)
                    static_cast<ColorSchemeCache*>(data)->update(colorSchemeFrom(value));
                g_variant_unref(value);
            },
            this, nullptr);
        g_bus_watch_name_on_connection(
            bus, kPortalName, G_BUS_NAME_WATCHER_FLAGS_NONE,
            [](GDBusConnection* connection, const gchar*, const gchar*, gpointer data) {
                static_cast<ColorSchemeCache*>(data)->read(connection);
            },
            [](GDBusConnection*, const gchar*, gpointer data) {
                static_cast<ColorSchemeCache*>(data)->update(std::nullopt);
            },
            this, nullptr);
    }

    void read(GDBusConnection* bus) {
        g_dbus_connection_call(
            bus, kPortalName, kPortalPath, kSettingsInterface, "Read",
            g_variant_new("(ss)", kAppearanceNamespace, kColorSchemeKey), G_VARIANT_TYPE("(v)"),
            G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer data) {
                GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
                // No such setting (an older portal): no preference.
                std::optional<unsigned> scheme;
                if (reply) {
                    GVariant* value = nullptr;
                    g_variant_get(reply, "(v)", &value);
                    scheme = colorSchemeFrom(value);
                    g_variant_unref(value);
                    g_variant_unref(reply);
                }
                static_cast<ColorSchemeCache*>(data)->update(reply ? scheme : std::optional<unsigned>(0u));
            },
            this);
    }

    void update(std::optional<unsigned> scheme) {
        if (scheme == scheme_) return;
        scheme_ = scheme;
        notify(observers_);
    }

    std::optional<unsigned> scheme_;
    std::vector<std::weak_ptr<Observer>> observers_;
};

}  // namespace

std::optional<unsigned> Appearance::portalColorScheme() {
    return ColorSchemeCache::shared().scheme();
}

void Appearance::startFollowingSystemAppearance() {
    ColorSchemeCache::shared();
}

bool Appearance::themeNameIsDark() {
    GtkSettings* settings = gtkSettings();
    if (!settings) return false;
    gchar* name = nullptr;
    g_object_get(settings, "gtk-theme-name", &name, nullptr);
    const std::string theme = name ? name : "";
    g_free(name);
    constexpr std::string_view suffix = "-dark";
    return theme.size() >= suffix.size() && theme.compare(theme.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool Appearance::systemPrefersDark() {
    if (auto scheme = portalColorScheme(); scheme && *scheme != 0) return *scheme == 1;
    return themeNameIsDark();
}

ObserverToken Appearance::addSystemAppearanceObserver(std::function<void()> block) {
    auto observer = std::make_shared<Observer>(Observer{std::move(block)});
    ColorSchemeCache::shared().addObserver(observer);
    GtkSettings* settings = gtkSettings();
    gulong handler = 0;
    if (settings) {
        handler = g_signal_connect_data(
            settings, "notify::gtk-theme-name",
            G_CALLBACK(+[](GObject*, GParamSpec*, gpointer data) {
                auto* weak = static_cast<std::weak_ptr<Observer>*>(data);
                if (auto o = weak->lock(); o && o->block) o->block();
            }),
            new std::weak_ptr<Observer>(observer),
            [](gpointer p, GClosure*) { delete static_cast<std::weak_ptr<Observer>*>(p); }, GConnectFlags(0));
        g_object_ref(settings);
    }
    return ObserverToken([observer, settings, handler]() mutable {
        observer->block = nullptr;
        if (settings) {
            if (handler) g_signal_handler_disconnect(settings, handler);
            g_object_unref(settings);
        }
    });
}

bool Appearance::apply(std::string_view appearanceName) {
    if (appearanceName != kVibrantDark && appearanceName != kVibrantLight) return false;
    GtkSettings* settings = gtkSettings();
    if (!settings) return false;
    g_object_set(settings, "gtk-application-prefer-dark-theme", appearanceName == kVibrantDark, nullptr);
    return true;
}

bool Appearance::prefersDarkTheme() {
    GtkSettings* settings = gtkSettings();
    if (!settings) return false;
    gboolean dark = FALSE;
    g_object_get(settings, "gtk-application-prefer-dark-theme", &dark, nullptr);
    return dark;
}

}  // namespace platform
