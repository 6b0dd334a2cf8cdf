#include "ui/StatusNotifierItem.h"

#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>

#include "foundation/Log.h"
#include "system/SessionBus.h"

namespace platform {

struct StatusNotifierItem::Native {
    AppIndicator* indicator = nullptr;
    GtkWidget* menu = nullptr;

    ~Native() {
        if (indicator) {
            app_indicator_set_status(indicator, APP_INDICATOR_STATUS_PASSIVE);
            g_object_unref(indicator);
        }
        if (menu) g_object_unref(menu);
    }
};

namespace {

using SelfRef = std::weak_ptr<StatusNotifierItem*>;

struct EntryHandle {
    SelfRef item;
    std::size_t index;
};

void onMenuItemActivated(GtkMenuItem*, gpointer data) {
    auto* handle = static_cast<EntryHandle*>(data);
    if (auto item = handle->item.lock(); item && *item) (*item)->activateMenuEntry(handle->index);
}

void freeEntryHandle(gpointer data, GClosure*) { delete static_cast<EntryHandle*>(data); }

StatusNotifierItem* itemOf(gpointer data) {
    auto item = static_cast<SelfRef*>(data)->lock();
    return item ? *item : nullptr;
}

// An AppIndicator without the old-style status icon fallback: with no host it stays off.
void noFallbackClassInit(gpointer klass, gpointer) {
    auto* indicatorClass = APP_INDICATOR_CLASS(klass);
    indicatorClass->fallback = nullptr;
    indicatorClass->unfallback = nullptr;
}

GType indicatorWithoutFallbackType() {
    static const GType type = [] {
        GTypeQuery base{};
        g_type_query(APP_INDICATOR_TYPE, &base);
        return g_type_register_static_simple(APP_INDICATOR_TYPE, "ParlivoTrayIndicator", base.class_size,
                                             noFallbackClassInit, base.instance_size, nullptr, GTypeFlags(0));
    }();
    return type;
}

}  // namespace

StatusNotifierItem::StatusNotifierItem(std::string id, std::string iconThemePath)
    : id_(std::move(id)), iconThemePath_(std::move(iconThemePath)), self_(std::make_shared<StatusNotifierItem*>(this)) {
    if (!gdk_display_get_default()) return;  // no display: an in-memory item only
    GDBusConnection* bus = sessionBus();
    if (!bus) return;
    // The indicator is made only while a tray host runs (and has no fallback of its own).
    // The watch goes first when the item goes, and calls nothing after.
    watch_ = std::make_unique<dbus::NameWatch>(
        bus, kWatcherName, [this](const std::string&) { watcherAppeared(); }, [this] { watcherVanished(); });
}

StatusNotifierItem::~StatusNotifierItem() {
    watch_.reset();
    *self_ = nullptr;
}

bool StatusNotifierItem::isOnDisplay() const { return native_ != nullptr && registered_; }

void StatusNotifierItem::setRegistered(bool registered) {
    registered_ = registered;
    // Compared with what was last told: the indicator may report while it is being let go.
    const bool now = isOnDisplay();
    if (now == toldOnDisplay_) return;
    toldOnDisplay_ = now;
    if (displayChanged_) displayChanged_(now);
}

void StatusNotifierItem::watcherAppeared() {
    if (native_) return;
    native_ = std::make_unique<Native>();
    native_->indicator = APP_INDICATOR(g_object_new(indicatorWithoutFallbackType(), "id", id_.c_str(), "category",
                                                    "Communications", "icon-name", iconName_.c_str(), nullptr));
    if (!iconThemePath_.empty()) app_indicator_set_icon_theme_path(native_->indicator, iconThemePath_.c_str());
    // The host took the item (or dropped it): only then is it on display.
    g_signal_connect_data(
        native_->indicator, APP_INDICATOR_SIGNAL_CONNECTION_CHANGED,
        G_CALLBACK(+[](AppIndicator*, gboolean connected, gpointer data) {
            if (auto* item = itemOf(data)) item->setRegistered(connected);
        }),
        new SelfRef(self_), [](gpointer data, GClosure*) { delete static_cast<SelfRef*>(data); }, GConnectFlags(0));
    native_->menu = gtk_menu_new();
    g_object_ref_sink(native_->menu);
    // An indicator without a menu is not shown at all.
    app_indicator_set_menu(native_->indicator, GTK_MENU(native_->menu));
    app_indicator_set_title(native_->indicator, tooltip_.c_str());
    app_indicator_set_icon_full(native_->indicator, iconName_.c_str(), tooltip_.c_str());
    rebuildMenu();
    app_indicator_set_status(native_->indicator, APP_INDICATOR_STATUS_ACTIVE);
    saidNoHost_ = false;
}

void StatusNotifierItem::watcherVanished() {
    native_.reset();
    setRegistered(false);
    if (saidNoHost_) return;
    saidNoHost_ = true;
    systemLog("No tray host (StatusNotifierWatcher) on the session bus: the tray item is not shown", LogLevel::info);
}

void StatusNotifierItem::setImage(const std::string& name, bool isTemplate) {
    imageName_ = name;
    isTemplate_ = isTemplate && !name.empty();
    iconName_ = name.empty() ? std::string() : (isTemplate ? name + "-symbolic" : name);
    if (native_) app_indicator_set_icon_full(native_->indicator, iconName_.c_str(), tooltip_.c_str());
}

void StatusNotifierItem::setTooltip(const std::string& tooltip) {
    tooltip_ = tooltip;
    if (native_) {
        app_indicator_set_title(native_->indicator, tooltip_.c_str());
        app_indicator_set_icon_full(native_->indicator, iconName_.c_str(), tooltip_.c_str());
    }
}

void StatusNotifierItem::setMenu(std::vector<MenuEntry> entries) {
    menu_ = std::move(entries);
    rebuildMenu();
}

bool StatusNotifierItem::activateMenuEntry(std::size_t index) {
    if (index >= menu_.size()) return false;
    // A copy: the action may replace the menu.
    auto action = menu_[index].action;
    if (action) action();
    return true;
}

void StatusNotifierItem::rebuildMenu() {
    if (!native_) return;
    GtkMenuShell* shell = GTK_MENU_SHELL(native_->menu);
    GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
    for (GList* child = children; child; child = child->next) gtk_widget_destroy(GTK_WIDGET(child->data));
    g_list_free(children);
    GtkWidget* first = nullptr;
    for (std::size_t i = 0; i < menu_.size(); ++i) {
        GtkWidget* item = gtk_menu_item_new_with_label(menu_[i].label.c_str());
        g_signal_connect_data(item, "activate", G_CALLBACK(onMenuItemActivated), new EntryHandle{self_, i},
                              freeEntryHandle, GConnectFlags(0));
        gtk_menu_shell_append(shell, item);
        gtk_widget_show(item);
        if (!first) first = item;
    }
    app_indicator_set_secondary_activate_target(native_->indicator, first);
}

}  // namespace platform
