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

}  // namespace

StatusNotifierItem::StatusNotifierItem(std::string id)
    : id_(std::move(id)), self_(std::make_shared<StatusNotifierItem*>(this)) {
    if (!gdk_display_get_default()) return;  // no display: an in-memory item only
    GDBusConnection* bus = sessionBus();
    if (!bus) return;
    // The indicator is made only while a tray host runs. Without one, libayatana-appindicator
    // falls back to an old-style status icon, and that fallback is not safe to rely on.
    watch_ = g_bus_watch_name_on_connection(
        bus, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, gpointer data) {
            if (auto* item = itemOf(data)) item->watcherAppeared();
        },
        [](GDBusConnection*, const gchar*, gpointer data) {
            if (auto* item = itemOf(data)) item->watcherVanished();
        },
        new SelfRef(self_), [](gpointer data) { delete static_cast<SelfRef*>(data); });
}

StatusNotifierItem::~StatusNotifierItem() {
    *self_ = nullptr;
    if (watch_) g_bus_unwatch_name(watch_);
}

bool StatusNotifierItem::isOnDisplay() const { return native_ != nullptr; }

void StatusNotifierItem::watcherAppeared() {
    if (native_) return;
    native_ = std::make_unique<Native>();
    native_->indicator = app_indicator_new(id_.c_str(), iconName_.c_str(), APP_INDICATOR_CATEGORY_COMMUNICATIONS);
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
