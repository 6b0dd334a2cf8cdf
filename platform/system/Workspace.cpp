#include "Workspace.h"

#include <gio/gio.h>
#include <unistd.h>

#include "foundation/MainQueue.h"

#include "foundation/Log.h"
#include "foundation/URL.h"
#include "system/SessionBus.h"

namespace platform {
namespace {

constexpr int kBusTimeoutMs = 5000;
constexpr dbus::Target kBusDaemon{"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus"};

// Well-known names only: a unique name (":1.42") belongs to one connection, not to a program.
bool isProgramName(const std::string& name) {
    return g_dbus_is_name(name.c_str()) && !g_dbus_is_unique_name(name.c_str());
}

std::vector<std::string> ownersFrom(GVariant* reply) {
    auto owners = dbus::read<std::vector<std::string>>(reply);
    return owners ? std::get<0>(std::move(*owners)) : std::vector<std::string>{};
}

// A start that failed, with GLib's reason; frees it.
Failure launchFailure(GError*& error) {
    std::string message = error ? error->message : "unknown error";
    g_clear_error(&error);
    return failure(WorkspaceErrorDomain, WorkspaceErrorCode::launchFailed, std::move(message));
}

}  // namespace

// The synchronous questions below wait for the bus daemon: LaunchHelper's, which has no window.

bool Workspace::isRunning(const std::string& bundleIdentifier) {
    if (!isProgramName(bundleIdentifier)) return false;
    GDBusConnection* bus = sessionBus();
    if (!bus) return false;
    auto reply = dbus::callSync(bus, kBusDaemon, "NameHasOwner", g_variant_new("(s)", bundleIdentifier.c_str()),
                                G_VARIANT_TYPE("(b)"), kBusTimeoutMs);
    auto owned = dbus::read<bool>(reply.get());
    return owned && std::get<0>(*owned);
}

std::vector<std::string> Workspace::runningInstances(const std::string& bundleIdentifier) {
    if (!isProgramName(bundleIdentifier)) return {};
    GDBusConnection* bus = sessionBus();
    if (!bus) return {};
    // A name nobody owns answers with an error: no instance.
    auto reply = dbus::callSync(bus, kBusDaemon, "ListQueuedOwners", g_variant_new("(s)", bundleIdentifier.c_str()),
                                G_VARIANT_TYPE("(as)"), kBusTimeoutMs);
    return ownersFrom(reply.get());
}

void Workspace::runningInstances(const std::string& bundleIdentifier,
                                 std::function<void(std::vector<std::string>)> answer) {
    auto reply = [answer = std::move(answer)](std::vector<std::string> owners) mutable {
        MainQueue::async([answer = std::move(answer), owners = std::move(owners)] {
            if (answer) answer(owners);
        });
    };
    GDBusConnection* bus = sessionBus();
    if (!isProgramName(bundleIdentifier) || !bus) return reply({});
    // A name nobody owns answers with an error: no instance.
    dbus::call(bus, kBusDaemon, "ListQueuedOwners", g_variant_new("(s)", bundleIdentifier.c_str()),
               G_VARIANT_TYPE("(as)"),
               [reply = std::move(reply)](GVariant* answer, GError*) mutable { reply(ownersFrom(answer)); },
               {.timeoutMs = kBusTimeoutMs});
}

bool Workspace::registerRunningApplication(const std::string& bundleIdentifier) {
    if (!isProgramName(bundleIdentifier)) return false;
    GDBusConnection* bus = sessionBus();
    if (!bus) return false;
    // Flags 0: no replacement either way, and queue behind a running instance. The shared
    // connection stays open, and with it the name.
    GError* error = nullptr;
    auto reply = dbus::callSync(bus, kBusDaemon, "RequestName", g_variant_new("(su)", bundleIdentifier.c_str(), 0u),
                                G_VARIANT_TYPE("(u)"), kBusTimeoutMs, &error);
    if (!reply) {
        systemLog("Workspace: cannot register " + bundleIdentifier + ": " + (error ? error->message : "unknown"),
                  LogLevel::warning);
        g_clear_error(&error);
        return false;
    }
    return true;
}

Expected<void> Workspace::launchApplication(const std::filesystem::path& executable,
                                            const std::vector<std::string>& arguments) {
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
    if (!started) return launchFailure(spawnError);
    return {};
}

Expected<void> Workspace::openURL(const std::string& url) {
    GError* launchError = nullptr;
    // The handler gets a well-formed URI, whatever characters the address came with.
    const bool launched = g_app_info_launch_default_for_uri(encodedURIText(url).c_str(), nullptr, &launchError);
    if (!launched) return launchFailure(launchError);
    return {};
}

Expected<void> Workspace::openFile(const std::filesystem::path& path) {
    GFile* file = g_file_new_for_path(path.c_str());
    gchar* uri = g_file_get_uri(file);
    g_object_unref(file);
    auto launched = openURL(uri);
    g_free(uri);
    return launched;
}

}  // namespace platform
