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
constexpr dbus::Target kPortalSettings{kPortalName, kPortalPath, kSettingsInterface};
constexpr const char* kAppearanceNamespace = "org.freedesktop.appearance";
constexpr const char* kColorSchemeKey = "color-scheme";

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
        settingChanged_ = dbus::SignalSubscription(
            bus, {kPortalName, kSettingsInterface, "SettingChanged", kPortalPath, kAppearanceNamespace},
            [this](const dbus::Signal& signal) {
                // Read answers a variant inside a variant (the portal's historic form); newer
                // portals may answer one level less: readUint32 unwraps until the value itself.
                auto setting = dbus::read<std::string, std::string, dbus::Variant>(signal.parameters);
                if (setting && std::get<1>(*setting) == kColorSchemeKey)
                    update(dbus::readUint32(std::get<2>(*setting).get()));
            });
        portal_ = dbus::NameWatch(
            bus, kPortalName, [this, bus](const std::string&) { read(bus); }, [this] { update(std::nullopt); });
    }

    void read(GDBusConnection* bus) {
        dbus::call(bus, kPortalSettings, "Read", g_variant_new("(ss)", kAppearanceNamespace, kColorSchemeKey),
                   G_VARIANT_TYPE("(v)"),
                   [this](GVariant* reply, GError*) {
                       // No such setting (an older portal): no preference.
                       if (!reply) return update(0u);
                       auto value = dbus::read<dbus::Variant>(reply);
                       update(value ? dbus::readUint32(std::get<0>(*value).get()) : std::nullopt);
                   },
                   {.flags = G_DBUS_CALL_FLAGS_NO_AUTO_START});
    }

    void update(std::optional<unsigned> scheme) {
        if (scheme == scheme_) return;
        scheme_ = scheme;
        notify(observers_);
    }

    std::optional<unsigned> scheme_;
    std::vector<std::weak_ptr<Observer>> observers_;
    dbus::SignalSubscription settingChanged_;
    dbus::NameWatch portal_;
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
