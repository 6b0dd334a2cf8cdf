#include "FakeDesktopPortal.h"

#include <gio/gio.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "PrivateSessionBus.h"

namespace testsupport {

struct FakeDesktopPortal::Impl {
    std::thread thread;
    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;
    GDBusConnection* bus = nullptr;
    guint registration = 0;
    std::atomic<unsigned> colorScheme{0};
    std::mutex mutex;
    std::condition_variable ready;
    bool started = false;
    bool ok = false;
};

namespace {

constexpr const char* kIntrospection = R"(
<node>
  <interface name="org.freedesktop.portal.Settings">
    <method name="Read"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
    <signal name="SettingChanged"><arg type="s"/><arg type="s"/><arg type="v"/></signal>
    <property name="version" type="u" access="read"/>
  </interface>
</node>)";

void onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                  GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
    auto* impl = static_cast<FakeDesktopPortal::Impl*>(data);
    const gchar* ns = nullptr;
    const gchar* key = nullptr;
    g_variant_get(parameters, "(&s&s)", &ns, &key);
    if (g_strcmp0(method, "Read") == 0 && g_strcmp0(ns, "org.freedesktop.appearance") == 0 &&
        g_strcmp0(key, "color-scheme") == 0) {
        // The portal's historic answer: the value wrapped in one more variant.
        GVariant* value = g_variant_new_variant(g_variant_new_uint32(impl->colorScheme.load()));
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(v)", value));
        return;
    }
    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.portal.Error.NotFound",
                                               "Requested setting not found");
}

}  // namespace

std::unique_ptr<FakeDesktopPortal> FakeDesktopPortal::start(unsigned colorScheme) {
    auto impl = std::make_unique<Impl>();
    impl->colorScheme = colorScheme;
    Impl* raw = impl.get();
    raw->thread = std::thread([raw] {
        raw->context = g_main_context_new();
        g_main_context_push_thread_default(raw->context);
        raw->loop = g_main_loop_new(raw->context, FALSE);
        raw->bus = newSessionBusConnection();
        if (raw->bus) {
            GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
            static const GDBusInterfaceVTable vtable{onMethodCall, nullptr, nullptr, {}};
            raw->registration = g_dbus_connection_register_object(raw->bus, "/org/freedesktop/portal/desktop",
                                                                  node->interfaces[0], &vtable, raw, nullptr, nullptr);
            g_dbus_node_info_unref(node);
            GVariant* reply = g_dbus_connection_call_sync(
                raw->bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                g_variant_new("(su)", "org.freedesktop.portal.Desktop", 4u /* DO_NOT_QUEUE */), G_VARIANT_TYPE("(u)"),
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
    return std::unique_ptr<FakeDesktopPortal>(new FakeDesktopPortal(std::move(impl)));
}

FakeDesktopPortal::FakeDesktopPortal(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

FakeDesktopPortal::~FakeDesktopPortal() {
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

void FakeDesktopPortal::setColorScheme(unsigned colorScheme) {
    impl_->colorScheme = colorScheme;
    g_dbus_connection_emit_signal(impl_->bus, nullptr, "/org/freedesktop/portal/desktop",
                                  "org.freedesktop.portal.Settings", "SettingChanged",
                                  g_variant_new("(ssv)", "org.freedesktop.appearance", "color-scheme",
                                                g_variant_new_uint32(colorScheme)),
                                  nullptr);
    g_dbus_connection_flush_sync(impl_->bus, nullptr, nullptr);
}

}  // namespace testsupport
