#include "FakeStatusNotifierWatcher.h"

#include <mutex>

#include "FakeBusService.h"

namespace testsupport {

struct FakeStatusNotifierWatcher::State {
    mutable std::mutex mutex;
    std::vector<std::string> items;
    std::vector<Registration> registrations;
    bool refuse = false;
};

namespace {

constexpr const char* kIntrospection = R"(
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
</node>)";

}  // namespace

std::unique_ptr<FakeStatusNotifierWatcher> FakeStatusNotifierWatcher::start() {
    auto state = std::make_shared<State>();
    auto service = FakeBusService::start(
        "org.kde.StatusNotifierWatcher", kIntrospection, {{"/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher"}},
        [state](const std::string&, const std::string& method, GVariant* parameters, GDBusMethodInvocation* invocation) {
            if (method == "RegisterStatusNotifierItem") {
                const gchar* item = nullptr;
                g_variant_get(parameters, "(&s)", &item);
                std::lock_guard lock(state->mutex);
                if (state->refuse) {
                    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed",
                                                               "this host takes no items");
                    return;
                }
                // An item names its object path or its bus name; either way, who it is.
                std::string who = item;
                const bool isPath = !who.empty() && who.front() == '/';
                if (who.empty() || isPath) who = g_dbus_method_invocation_get_sender(invocation);
                state->items.push_back(who);
                state->registrations.push_back({who, isPath ? std::string(item) : std::string("/StatusNotifierItem")});
            }
            g_dbus_method_invocation_return_value(invocation, nullptr);
        },
        [state](const std::string&, const std::string& property) -> GVariant* {
            if (property == "IsStatusNotifierHostRegistered") return g_variant_new_boolean(TRUE);
            if (property == "ProtocolVersion") return g_variant_new_int32(0);
            if (property == "RegisteredStatusNotifierItems") {
                GVariantBuilder builder;
                g_variant_builder_init(&builder, G_VARIANT_TYPE("as"));
                std::lock_guard lock(state->mutex);
                for (const auto& item : state->items) g_variant_builder_add(&builder, "s", item.c_str());
                return g_variant_builder_end(&builder);
            }
            return nullptr;
        });
    if (!service) return nullptr;
    std::unique_ptr<FakeStatusNotifierWatcher> watcher(new FakeStatusNotifierWatcher());
    watcher->state_ = std::move(state);
    watcher->service_ = std::move(service);
    return watcher;
}

FakeStatusNotifierWatcher::~FakeStatusNotifierWatcher() = default;

std::vector<std::string> FakeStatusNotifierWatcher::registeredItems() const {
    std::lock_guard lock(state_->mutex);
    return state_->items;
}

std::vector<FakeStatusNotifierWatcher::Registration> FakeStatusNotifierWatcher::registrations() const {
    std::lock_guard lock(state_->mutex);
    return state_->registrations;
}

void FakeStatusNotifierWatcher::refuseItems() {
    std::lock_guard lock(state_->mutex);
    state_->refuse = true;
}

}  // namespace testsupport
