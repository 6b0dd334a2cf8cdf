#include "FakeNotificationServer.h"

#include <gio/gio.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "PrivateSessionBus.h"

namespace testsupport {

struct FakeNotificationServer::Impl {
    std::vector<std::string> capabilities;
    std::thread thread;
    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;
    GDBusConnection* bus = nullptr;
    guint registration = 0;

    mutable std::mutex mutex;
    std::condition_variable ready;
    bool started = false;
    bool ok = false;
    std::uint32_t nextId = 1;
    std::vector<Notification> notifications;
    std::vector<std::uint32_t> closed;
    std::vector<std::uint32_t> open;
    int capabilityRequests = 0;

    void emit(const char* member, GVariant* parameters) {
        g_dbus_connection_emit_signal(bus, nullptr, "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                                      member, parameters, nullptr);
        g_dbus_connection_flush_sync(bus, nullptr, nullptr);
    }
};

namespace {

constexpr const char* kIntrospection = R"(
<node>
  <interface name="org.freedesktop.Notifications">
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/>
    </method>
    <method name="CloseNotification"><arg type="u" direction="in"/></method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/><arg type="s" direction="out"/><arg type="s" direction="out"/>
    </method>
    <signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
    <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
    <signal name="NotificationReplied"><arg type="u"/><arg type="s"/></signal>
  </interface>
</node>)";

std::optional<std::string> stringHint(GVariant* hints, const char* key) {
    const gchar* value = nullptr;
    if (g_variant_lookup(hints, key, "&s", &value)) return std::string(value);
    return std::nullopt;
}

void onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                  GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
    auto* impl = static_cast<FakeNotificationServer::Impl*>(data);
    const std::string name = method;
    if (name == "GetCapabilities") {
        GVariantBuilder list;
        g_variant_builder_init(&list, G_VARIANT_TYPE("as"));
        for (const auto& capability : impl->capabilities) g_variant_builder_add(&list, "s", capability.c_str());
        {
            std::lock_guard lock(impl->mutex);
            ++impl->capabilityRequests;
        }
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(as)", &list));
        return;
    }
    if (name == "GetServerInformation") {
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(ssss)", "fake", "parlivo", "1", "1.2"));
        return;
    }
    if (name == "CloseNotification") {
        std::uint32_t id = 0;
        g_variant_get(parameters, "(u)", &id);
        bool wasOpen = false;
        {
            std::lock_guard lock(impl->mutex);
            impl->closed.push_back(id);
            wasOpen = std::erase(impl->open, id) > 0;
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
        if (wasOpen) impl->emit("NotificationClosed", g_variant_new("(uu)", id, 3u /* closed by a call */));
        return;
    }
    if (name == "Notify") {
        FakeNotificationServer::Notification notification;
        const gchar *appName = nullptr, *appIcon = nullptr, *summary = nullptr, *body = nullptr;
        GVariantIter* actions = nullptr;
        GVariant* hints = nullptr;
        g_variant_get(parameters, "(&su&s&s&sas@a{sv}i)", &appName, &notification.replacesId, &appIcon, &summary,
                      &body, &actions, &hints, &notification.expireTimeout);
        notification.appName = appName;
        notification.appIcon = appIcon;
        notification.summary = summary;
        notification.body = body;
        const gchar* action = nullptr;
        while (g_variant_iter_loop(actions, "&s", &action)) notification.actions.emplace_back(action);
        g_variant_iter_free(actions);
        notification.desktopEntry = stringHint(hints, "desktop-entry");
        notification.soundName = stringHint(hints, "sound-name");
        notification.category = stringHint(hints, "category");
        gboolean suppress = FALSE;
        if (g_variant_lookup(hints, "suppress-sound", "b", &suppress)) notification.suppressSound = suppress;
        if (GVariant* image = g_variant_lookup_value(hints, "image-data", G_VARIANT_TYPE("(iiibiiay)"))) {
            FakeNotificationServer::Image info;
            gboolean alpha = FALSE;
            GVariant* bytes = nullptr;
            g_variant_get(image, "(iiibii@ay)", &info.width, &info.height, &info.rowstride, &alpha,
                          &info.bitsPerSample, &info.channels, &bytes);
            info.hasAlpha = alpha;
            info.bytes = g_variant_get_size(bytes);
            g_variant_unref(bytes);
            g_variant_unref(image);
            notification.image = info;
        }
        g_variant_unref(hints);
        {
            std::lock_guard lock(impl->mutex);
            const bool replaces = notification.replacesId != 0 &&
                                  std::find(impl->open.begin(), impl->open.end(), notification.replacesId) != impl->open.end();
            notification.id = replaces ? notification.replacesId : impl->nextId++;
            if (!replaces) impl->open.push_back(notification.id);
            impl->notifications.push_back(notification);
        }
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", notification.id));
        return;
    }
    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownMethod", "no such method");
}

}  // namespace

bool FakeNotificationServer::Notification::hasAction(const std::string& key) const {
    for (std::size_t i = 0; i < actions.size(); i += 2)
        if (actions[i] == key) return true;
    return false;
}

std::vector<std::string> FakeNotificationServer::capabilitiesWithInlineReply() {
    return {"actions", "body", "body-markup", "body-hyperlinks", "icon-static", "persistence", "inline-reply",
            "sound", "x-kde-urls"};
}

std::vector<std::string> FakeNotificationServer::capabilitiesWithoutInlineReply() {
    return {"actions", "body", "body-markup", "icon-static", "persistence", "sound"};
}

std::unique_ptr<FakeNotificationServer> FakeNotificationServer::start(std::vector<std::string> capabilities) {
    auto impl = std::make_unique<Impl>();
    impl->capabilities = std::move(capabilities);
    Impl* raw = impl.get();
    raw->thread = std::thread([raw] {
        raw->context = g_main_context_new();
        g_main_context_push_thread_default(raw->context);
        raw->loop = g_main_loop_new(raw->context, FALSE);
        raw->bus = newSessionBusConnection();
        if (raw->bus) {
            GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
            static const GDBusInterfaceVTable vtable{onMethodCall, nullptr, nullptr, {}};
            raw->registration = g_dbus_connection_register_object(raw->bus, "/org/freedesktop/Notifications",
                                                                  node->interfaces[0], &vtable, raw, nullptr, nullptr);
            g_dbus_node_info_unref(node);
            GVariant* reply = g_dbus_connection_call_sync(
                raw->bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                g_variant_new("(su)", "org.freedesktop.Notifications", 4u /* DO_NOT_QUEUE */), G_VARIANT_TYPE("(u)"),
                G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
            guint32 result = 0;
            if (reply) {
                g_variant_get(reply, "(u)", &result);
                g_variant_unref(reply);
            }
            raw->ok = result == 1;  // primary owner
        }
        {
            std::lock_guard lock(raw->mutex);
            raw->started = true;
        }
        raw->ready.notify_all();
        if (raw->ok) g_main_loop_run(raw->loop);
        if (raw->bus) {
            if (raw->registration) g_dbus_connection_unregister_object(raw->bus, raw->registration);
            g_dbus_connection_close_sync(raw->bus, nullptr, nullptr);
            g_object_unref(raw->bus);
        }
        g_main_loop_unref(raw->loop);
        g_main_context_pop_thread_default(raw->context);
        g_main_context_unref(raw->context);
    });
    {
        std::unique_lock lock(raw->mutex);
        raw->ready.wait(lock, [raw] { return raw->started; });
    }
    if (!raw->ok) {
        raw->thread.join();
        return nullptr;
    }
    return std::unique_ptr<FakeNotificationServer>(new FakeNotificationServer(std::move(impl)));
}

FakeNotificationServer::FakeNotificationServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

FakeNotificationServer::~FakeNotificationServer() {
    Impl* raw = impl_.get();
    g_main_context_invoke(
        raw->context,
        [](gpointer data) -> gboolean {
            g_main_loop_quit(static_cast<Impl*>(data)->loop);
            return G_SOURCE_REMOVE;
        },
        raw);
    raw->thread.join();
}

std::vector<FakeNotificationServer::Notification> FakeNotificationServer::notifications() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->notifications;
}

std::size_t FakeNotificationServer::notificationCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->notifications.size();
}

std::vector<std::uint32_t> FakeNotificationServer::closedIds() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->closed;
}

int FakeNotificationServer::capabilityRequests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->capabilityRequests;
}

std::vector<std::uint32_t> FakeNotificationServer::openIds() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->open;
}

void FakeNotificationServer::invokeAction(std::uint32_t id, const std::string& actionKey) {
    impl_->emit("ActionInvoked", g_variant_new("(us)", id, actionKey.c_str()));
}

void FakeNotificationServer::reply(std::uint32_t id, const std::string& text) {
    impl_->emit("NotificationReplied", g_variant_new("(us)", id, text.c_str()));
}

void FakeNotificationServer::close(std::uint32_t id, std::uint32_t reason) {
    {
        std::lock_guard lock(impl_->mutex);
        std::erase(impl_->open, id);
    }
    impl_->emit("NotificationClosed", g_variant_new("(uu)", id, reason));
}

}  // namespace testsupport
