#include "Workspace.h"

#include <gio/gio.h>
#include <unistd.h>

#include <memory>

#include "foundation/MainQueue.h"

#include "foundation/Log.h"
#include "foundation/URL.h"
#include "system/SessionBus.h"

namespace platform {
namespace {

constexpr int kBusTimeoutMs = 5000;

GVariant* callBus(GDBusConnection* bus, const char* method, GVariant* parameters, const GVariantType* replyType) {
    return g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                       method, parameters, replyType, G_DBUS_CALL_FLAGS_NONE, kBusTimeoutMs, nullptr,
                                       nullptr);
}

std::vector<std::string> ownersFrom(GVariant* reply) {
    std::vector<std::string> owners;
    GVariantIter* iter = nullptr;
    const gchar* owner = nullptr;
    g_variant_get(reply, "(as)", &iter);
    while (g_variant_iter_loop(iter, "&s", &owner)) owners.emplace_back(owner);
    g_variant_iter_free(iter);
    return owners;
}

}  // namespace

bool Workspace::isRunning(const std::string& bundleIdentifier) {
    if (!g_dbus_is_name(bundleIdentifier.c_str()) || g_dbus_is_unique_name(bundleIdentifier.c_str())) return false;
    GDBusConnection* bus = sessionBus();
    if (!bus) return false;
    GVariant* reply = callBus(bus, "NameHasOwner", g_variant_new("(s)", bundleIdentifier.c_str()), G_VARIANT_TYPE("(b)"));
    if (!reply) return false;
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned;
}

std::vector<std::string> Workspace::runningInstances(const std::string& bundleIdentifier) {
    std::vector<std::string> owners;
    if (!g_dbus_is_name(bundleIdentifier.c_str()) || g_dbus_is_unique_name(bundleIdentifier.c_str())) return owners;
    GDBusConnection* bus = sessionBus();
    if (!bus) return owners;
    // A name nobody owns answers with an error: no instance.
    GVariant* reply =
        callBus(bus, "ListQueuedOwners", g_variant_new("(s)", bundleIdentifier.c_str()), G_VARIANT_TYPE("(as)"));
    if (!reply) return owners;
    owners = ownersFrom(reply);
    g_variant_unref(reply);
    return owners;
}

void Workspace::runningInstances(const std::string& bundleIdentifier,
                                 std::function<void(std::vector<std::string>)> answer) {
    auto reply = [answer = std::move(answer)](std::vector<std::string> owners) mutable {
        MainQueue::async([answer = std::move(answer), owners = std::move(owners)] {
            if (answer) answer(owners);
        });
    };
    GDBusConnection* bus = sessionBus();
    if (!g_dbus_is_name(bundleIdentifier.c_str()) || g_dbus_is_unique_name(bundleIdentifier.c_str()) || !bus)
        return reply({});
    using Reply = decltype(reply);
    g_dbus_connection_call(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ListQueuedOwners",
        g_variant_new("(s)", bundleIdentifier.c_str()), G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, kBusTimeoutMs,
        nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Reply> reply(static_cast<Reply*>(data));
            // A name nobody owns answers with an error: no instance.
            GVariant* answer = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
            std::vector<std::string> owners;
            if (answer) {
                owners = ownersFrom(answer);
                g_variant_unref(answer);
            }
            (*reply)(std::move(owners));
        },
        new Reply(std::move(reply)));
}

bool Workspace::registerRunningApplication(const std::string& bundleIdentifier) {
    if (!g_dbus_is_name(bundleIdentifier.c_str()) || g_dbus_is_unique_name(bundleIdentifier.c_str())) return false;
    GDBusConnection* bus = sessionBus();
    if (!bus) return false;
    // Flags 0: no replacement either way, and queue behind a running instance.
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", bundleIdentifier.c_str(), 0u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE,
        kBusTimeoutMs, nullptr, &error);  // the shared connection stays open, and with it the name
    if (!reply) {
        systemLog("Workspace: cannot register " + bundleIdentifier + ": " + (error ? error->message : "unknown"),
                  LogLevel::warning);
        g_clear_error(&error);
        return false;
    }
    g_variant_unref(reply);
    return true;
}

bool Workspace::launchApplication(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                                  std::string* error) {
    std::vector<char*> argv;
    std::string program = executable.string();
    argv.push_back(program.data());
    std::vector<std::string> args = arguments;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    // Without G_SPAWN_DO_NOT_REAP_CHILD GLib starts the program through an intermediate child
    // that exits at once: the program is re-parented and never becomes our zombie. GLib still
    // reports a failed exec to us.
    GError* spawnError = nullptr;
    const bool started = g_spawn_async(
        nullptr, argv.data(), nullptr, GSpawnFlags(G_SPAWN_STDIN_FROM_DEV_NULL),
        [](gpointer) { setsid(); },  // its own session: it stays when ours ends
        nullptr, nullptr, &spawnError);
    if (!started) {
        if (error) *error = spawnError ? spawnError->message : "unknown error";
        g_clear_error(&spawnError);
    }
    return started;
}

bool Workspace::openURL(const std::string& url, std::string* error) {
    GError* launchError = nullptr;
    // The handler gets a well-formed URI, whatever characters the address came with.
    const bool launched = g_app_info_launch_default_for_uri(encodedURIText(url).c_str(), nullptr, &launchError);
    if (!launched) {
        if (error) *error = launchError ? launchError->message : "unknown error";
        g_clear_error(&launchError);
    }
    return launched;
}

bool Workspace::openFile(const std::filesystem::path& path, std::string* error) {
    GFile* file = g_file_new_for_path(path.c_str());
    gchar* uri = g_file_get_uri(file);
    g_object_unref(file);
    const bool launched = openURL(uri, error);
    g_free(uri);
    return launched;
}

}  // namespace platform
