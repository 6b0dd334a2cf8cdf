#include "FakeNotificationServer.h"

#include <gio/gio.h>

#include <algorithm>
#include <mutex>

#include "FakeBusService.h"

namespace testsupport {

struct FakeNotificationServer::Impl {
    std::vector<std::string> capabilities;

    mutable std::mutex mutex;
    std::uint32_t nextId = 1;
    std::vector<Notification> notifications;
    std::vector<std::uint32_t> closed;
    std::vector<std::uint32_t> open;
    int capabilityRequests = 0;

    // Last, so that it stops (and its handlers end) before the state above goes.
    std::unique_ptr<FakeBusService> service;

    void emit(const char* member, GVariant* parameters) {
        service->emitSignal("/org/freedesktop/Notifications", "org.freedesktop.Notifications", member, parameters);
    }
    void onCall(const std::string& method, GVariant* parameters, GDBusMethodInvocation* invocation);
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

}  // namespace

void FakeNotificationServer::Impl::onCall(const std::string& name, GVariant* parameters,
                                          GDBusMethodInvocation* invocation) {
    if (name == "GetCapabilities") {
        GVariantBuilder list;
        g_variant_builder_init(&list, G_VARIANT_TYPE("as"));
        for (const auto& capability : capabilities) g_variant_builder_add(&list, "s", capability.c_str());
        {
            std::lock_guard lock(mutex);
            ++capabilityRequests;
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
            std::lock_guard lock(mutex);
            closed.push_back(id);
            wasOpen = std::erase(open, id) > 0;
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
        if (wasOpen) emit("NotificationClosed", g_variant_new("(uu)", id, 3u /* closed by a call */));
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
        bool replaces = false;
        {
            std::lock_guard lock(mutex);
            replaces = notification.replacesId != 0 &&
                       std::find(open.begin(), open.end(), notification.replacesId) != open.end();
            notification.id = replaces ? notification.replacesId : nextId++;
        }
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", notification.id));
        // Shown to the test only once the answer is on its way: a test that sees the notification
        // and then replies or clicks sends its signal after the caller's answer, as a real server
        // that shows the notification first does. (Seen the other way round, the caller would
        // get a reply for an id it does not know yet.)
        {
            std::lock_guard lock(mutex);
            if (!replaces) open.push_back(notification.id);
            notifications.push_back(notification);
        }
        return;
    }
    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownMethod", "no such method");
}

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
    impl->service = FakeBusService::start(
        "org.freedesktop.Notifications", kIntrospection,
        {{"/org/freedesktop/Notifications", "org.freedesktop.Notifications"}},
        [raw](const std::string&, const std::string& method, GVariant* parameters, GDBusMethodInvocation* invocation) {
            raw->onCall(method, parameters, invocation);
        });
    if (!impl->service) return nullptr;
    return std::unique_ptr<FakeNotificationServer>(new FakeNotificationServer(std::move(impl)));
}

FakeNotificationServer::FakeNotificationServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

FakeNotificationServer::~FakeNotificationServer() = default;

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
