#include "FakeDesktopPortal.h"

#include <atomic>

#include "FakeBusService.h"

namespace testsupport {

struct FakeDesktopPortal::State {
    std::atomic<unsigned> colorScheme{0};
    std::atomic<int> reads{0};
};

namespace {

constexpr const char* kPath = "/org/freedesktop/portal/desktop";
constexpr const char* kInterface = "org.freedesktop.portal.Settings";
constexpr const char* kIntrospection = R"(
<node>
  <interface name="org.freedesktop.portal.Settings">
    <method name="Read"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
    <signal name="SettingChanged"><arg type="s"/><arg type="s"/><arg type="v"/></signal>
    <property name="version" type="u" access="read"/>
  </interface>
</node>)";

}  // namespace

std::unique_ptr<FakeDesktopPortal> FakeDesktopPortal::start(unsigned colorScheme) {
    auto state = std::make_shared<State>();
    state->colorScheme = colorScheme;
    auto service = FakeBusService::start(
        "org.freedesktop.portal.Desktop", kIntrospection, {{kPath, kInterface}},
        [state](const std::string&, const std::string& method, GVariant* parameters, GDBusMethodInvocation* invocation) {
            const gchar* ns = nullptr;
            const gchar* key = nullptr;
            g_variant_get(parameters, "(&s&s)", &ns, &key);
            if (method == "Read" && g_strcmp0(ns, "org.freedesktop.appearance") == 0 &&
                g_strcmp0(key, "color-scheme") == 0) {
                ++state->reads;
                // The portal's historic answer: the value wrapped in one more variant.
                GVariant* value = g_variant_new_variant(g_variant_new_uint32(state->colorScheme.load()));
                g_dbus_method_invocation_return_value(invocation, g_variant_new("(v)", value));
                return;
            }
            g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.portal.Error.NotFound",
                                                       "Requested setting not found");
        });
    if (!service) return nullptr;
    std::unique_ptr<FakeDesktopPortal> portal(new FakeDesktopPortal());
    portal->state_ = std::move(state);
    portal->service_ = std::move(service);
    return portal;
}

FakeDesktopPortal::~FakeDesktopPortal() = default;

int FakeDesktopPortal::reads() const { return state_->reads; }

void FakeDesktopPortal::setColorScheme(unsigned colorScheme) {
    state_->colorScheme = colorScheme;
    service_->emitSignal(kPath, kInterface, "SettingChanged",
                         g_variant_new("(ssv)", "org.freedesktop.appearance", "color-scheme",
                                       g_variant_new_uint32(colorScheme)));
}

}  // namespace testsupport
