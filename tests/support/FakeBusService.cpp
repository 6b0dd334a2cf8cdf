#include "FakeBusService.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "PrivateSessionBus.h"

namespace testsupport {

struct FakeBusService::Impl {
    std::string name, introspection;
    std::vector<Object> objects;
    MethodHandler onCall;
    PropertyHandler onProperty;

    std::thread thread;
    GMainContext* context = nullptr;
    GMainLoop* loop = nullptr;
    GDBusConnection* bus = nullptr;
    std::vector<guint> registrations;
    std::mutex mutex;
    std::condition_variable ready;
    bool started = false;
    bool ok = false;

    void run();
};

namespace {

void onMethodCall(GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar* method,
                  GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
    auto* impl = static_cast<FakeBusService::Impl*>(data);
    if (impl->onCall) {
        impl->onCall(path, method, parameters, invocation);
        return;
    }
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* onGetProperty(GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar* property,
                        GError** error, gpointer data) {
    auto* impl = static_cast<FakeBusService::Impl*>(data);
    GVariant* value = impl->onProperty ? impl->onProperty(path, property) : nullptr;
    if (!value) g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "No property %s", property);
    return value;
}

}  // namespace

void FakeBusService::Impl::run() {
    context = g_main_context_new();
    g_main_context_push_thread_default(context);
    loop = g_main_loop_new(context, FALSE);
    bus = newSessionBusConnection();
    GDBusNodeInfo* node = bus ? g_dbus_node_info_new_for_xml(introspection.c_str(), nullptr) : nullptr;
    if (node) {
        static const GDBusInterfaceVTable vtable{onMethodCall, onGetProperty, nullptr, {}};
        for (const auto& object : objects) {
            GDBusInterfaceInfo* interface = g_dbus_node_info_lookup_interface(node, object.interface.c_str());
            if (!interface) continue;
            registrations.push_back(
                g_dbus_connection_register_object(bus, object.path.c_str(), interface, &vtable, this, nullptr, nullptr));
        }
        GVariant* reply = g_dbus_connection_call_sync(
            bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
            g_variant_new("(su)", name.c_str(), 4u /* DO_NOT_QUEUE */), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE,
            5000, nullptr, nullptr);
        guint32 result = 0;
        if (reply) {
            g_variant_get(reply, "(u)", &result);
            g_variant_unref(reply);
        }
        ok = result == 1;  // primary owner
        g_dbus_node_info_unref(node);
    }
    {
        std::lock_guard lock(mutex);
        started = true;
    }
    ready.notify_all();
    if (ok) g_main_loop_run(loop);
    if (bus) {
        for (guint id : registrations) g_dbus_connection_unregister_object(bus, id);
        g_dbus_connection_close_sync(bus, nullptr, nullptr);  // the name goes with it
        g_object_unref(bus);
    }
    g_main_loop_unref(loop);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
}

std::unique_ptr<FakeBusService> FakeBusService::start(const std::string& name, const std::string& introspection,
                                                      const std::vector<Object>& objects, MethodHandler onCall,
                                                      PropertyHandler onProperty) {
    auto impl = std::make_unique<Impl>();
    impl->name = name;
    impl->introspection = introspection;
    impl->objects = objects;
    impl->onCall = std::move(onCall);
    impl->onProperty = std::move(onProperty);
    Impl* raw = impl.get();
    raw->thread = std::thread([raw] { raw->run(); });
    {
        std::unique_lock lock(raw->mutex);
        raw->ready.wait(lock, [raw] { return raw->started; });
    }
    if (!raw->ok) {
        raw->thread.join();
        return nullptr;
    }
    return std::unique_ptr<FakeBusService>(new FakeBusService(std::move(impl)));
}

FakeBusService::FakeBusService(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

FakeBusService::~FakeBusService() {
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

void FakeBusService::emitSignal(const std::string& path, const std::string& interface, const std::string& signal,
                                GVariant* parameters) {
    g_dbus_connection_emit_signal(impl_->bus, nullptr, path.c_str(), interface.c_str(), signal.c_str(), parameters,
                                  nullptr);
    g_dbus_connection_flush_sync(impl_->bus, nullptr, nullptr);
}

}  // namespace testsupport
