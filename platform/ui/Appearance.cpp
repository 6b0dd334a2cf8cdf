#include "Appearance.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <memory>
#include <string>

namespace platform {
namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kSettingsInterface = "org.freedesktop.portal.Settings";
constexpr const char* kAppearanceNamespace = "org.freedesktop.appearance";
constexpr const char* kColorSchemeKey = "color-scheme";

GDBusConnection* sessionBus() {
    return g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
}

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

}  // namespace

std::optional<unsigned> Appearance::portalColorScheme() {
    GDBusConnection* bus = sessionBus();
    if (!bus) return std::nullopt;
    // A missing portal is normal (no desktop, a plain window manager): an error, not a wait.
    GVariant* reply = g_dbus_connection_call_sync(bus, kPortalName, kPortalPath, kSettingsInterface, "Read",
                                                  g_variant_new("(ss)", kAppearanceNamespace, kColorSchemeKey),
                                                  G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
    g_object_unref(bus);
    if (!reply) return std::nullopt;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    auto scheme = colorSchemeFrom(value);
    g_variant_unref(value);
    g_variant_unref(reply);
    return scheme;
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
    GDBusConnection* bus = sessionBus();
    guint subscription = 0;
    if (bus) {
        subscription = g_dbus_connection_signal_subscribe(
            bus, nullptr, kSettingsInterface, "SettingChanged", kPortalPath, kAppearanceNamespace,
            G_DBUS_SIGNAL_FLAGS_NONE,
            [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
               gpointer data) {
                if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ssv)"))) return;
                const gchar* key = nullptr;
                g_variant_get(parameters, "(&s&sv)", nullptr, &key, nullptr);
                if (g_strcmp0(key, kColorSchemeKey) != 0) return;
                auto* weak = static_cast<std::weak_ptr<Observer>*>(data);
                if (auto o = weak->lock(); o && o->block) o->block();
            },
            new std::weak_ptr<Observer>(observer), [](gpointer p) { delete static_cast<std::weak_ptr<Observer>*>(p); });
    }
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
    return ObserverToken([observer, bus, subscription, settings, handler]() mutable {
        observer->block = nullptr;
        if (bus) {
            if (subscription) g_dbus_connection_signal_unsubscribe(bus, subscription);
            g_object_unref(bus);
        }
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
