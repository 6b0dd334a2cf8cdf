#include "FakeFileChooserPortal.h"

#include <gio/gio.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "FakeBusService.h"

namespace testsupport {

namespace {

constexpr const char* kPath = "/org/freedesktop/portal/desktop";
constexpr const char* kInterface = "org.freedesktop.portal.FileChooser";
constexpr const char* kIntrospection = R"(
<node>
  <interface name="org.freedesktop.portal.FileChooser">
    <method name="OpenFile">
      <arg type="s" name="parent_window" direction="in"/><arg type="s" name="title" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/><arg type="o" name="handle" direction="out"/>
    </method>
    <method name="SaveFile">
      <arg type="s" name="parent_window" direction="in"/><arg type="s" name="title" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/><arg type="o" name="handle" direction="out"/>
    </method>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.portal.ProxyResolver">
    <method name="Lookup">
      <arg type="s" name="uri" direction="in"/><arg type="as" name="proxies" direction="out"/>
    </method>
    <property name="version" type="u" access="read"/>
  </interface>
</node>)";

// The request object's path the portal uses for a caller and its token.
std::string requestPath(const std::string& sender, const std::string& token) {
    std::string name = sender.rfind(':', 0) == 0 ? sender.substr(1) : sender;
    for (char& c : name)
        if (c == '.') c = '_';
    return std::string(kPath) + "/request/" + name + "/" + token;
}

}  // namespace

struct FakeFileChooserPortal::State {
    struct Pending {
        GDBusConnection* connection = nullptr;  // owned reference
        std::string sender, handle;
    };
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<Request> requests;
    std::deque<std::optional<std::vector<std::filesystem::path>>> answers;
    std::deque<Pending> pending;
    unsigned tokens = 0;

    ~State() {
        for (auto& waiting : pending) g_object_unref(waiting.connection);
    }

    // Response: 0 with the chosen files' URIs, or 1 (cancelled).
    static void respond(const Pending& waiting, const std::optional<std::vector<std::filesystem::path>>& files) {
        GVariantBuilder uris;
        g_variant_builder_init(&uris, G_VARIANT_TYPE("as"));
        for (const auto& file : files.value_or(std::vector<std::filesystem::path>{})) {
            gchar* uri = g_filename_to_uri(file.c_str(), nullptr, nullptr);
            if (uri) g_variant_builder_add(&uris, "s", uri);
            g_free(uri);
        }
        GVariantBuilder results;
        g_variant_builder_init(&results, G_VARIANT_TYPE("a{sv}"));
        g_variant_builder_add(&results, "{sv}", "uris", g_variant_builder_end(&uris));
        g_dbus_connection_emit_signal(waiting.connection, waiting.sender.c_str(), waiting.handle.c_str(),
                                      "org.freedesktop.portal.Request", "Response",
                                      g_variant_new("(ua{sv})", files ? 0u : 1u, &results), nullptr);
        g_dbus_connection_flush_sync(waiting.connection, nullptr, nullptr);
    }
};

std::unique_ptr<FakeFileChooserPortal> FakeFileChooserPortal::start() {
    auto state = std::make_shared<State>();
    auto service = FakeBusService::start(
        "org.freedesktop.portal.Desktop", kIntrospection,
        {{kPath, kInterface}, {kPath, "org.freedesktop.portal.ProxyResolver"}},
        [state](const std::string&, const std::string& method, GVariant* parameters, GDBusMethodInvocation* invocation) {
            if (method == "Lookup") {
                // With the portal in use GLib asks it for proxies too: none.
                const gchar* direct[] = {"direct://", nullptr};
                g_dbus_method_invocation_return_value(invocation, g_variant_new("(^as)", direct));
                return;
            }
            if (method != "OpenFile") {
                g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.portal.Error.NotAllowed",
                                                           "Only OpenFile is served here");
                return;
            }
            const gchar* parent = nullptr;
            const gchar* title = nullptr;
            GVariant* options = nullptr;
            g_variant_get(parameters, "(&s&s@a{sv})", &parent, &title, &options);
            Request request;
            request.parentWindow = parent;
            request.title = title;
            gboolean flag = FALSE;
            if (g_variant_lookup(options, "multiple", "b", &flag)) request.multiple = flag;
            if (g_variant_lookup(options, "modal", "b", &flag)) request.modal = flag;
            if (g_variant_lookup(options, "directory", "b", &flag)) request.directory = flag;
            if (GVariant* filters = g_variant_lookup_value(options, "filters", G_VARIANT_TYPE("a(sa(us))"))) {
                GVariantIter iter;
                g_variant_iter_init(&iter, filters);
                const gchar* name = nullptr;
                GVariantIter* rules = nullptr;
                while (g_variant_iter_next(&iter, "(&sa(us))", &name, &rules)) {
                    std::vector<std::pair<unsigned, std::string>> list;
                    guint32 kind = 0;
                    const gchar* value = nullptr;
                    while (g_variant_iter_next(rules, "(u&s)", &kind, &value)) list.emplace_back(kind, value);
                    g_variant_iter_free(rules);
                    request.filters.emplace_back(name, std::move(list));
                }
                g_variant_unref(filters);
            }
            const gchar* token = nullptr;
            std::string handleToken;
            if (g_variant_lookup(options, "handle_token", "&s", &token)) handleToken = token;
            g_variant_unref(options);

            State::Pending waiting;
            waiting.connection = G_DBUS_CONNECTION(g_object_ref(g_dbus_method_invocation_get_connection(invocation)));
            waiting.sender = g_dbus_method_invocation_get_sender(invocation);
            {
                std::lock_guard lock(state->mutex);
                if (handleToken.empty()) handleToken = "fake" + std::to_string(++state->tokens);
            }
            waiting.handle = requestPath(waiting.sender, handleToken);
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", waiting.handle.c_str()));

            std::optional<std::optional<std::vector<std::filesystem::path>>> answer;
            {
                std::lock_guard lock(state->mutex);
                state->requests.push_back(std::move(request));
                if (!state->answers.empty()) {
                    answer = std::move(state->answers.front());
                    state->answers.pop_front();
                } else {
                    state->pending.push_back(waiting);
                    g_object_ref(waiting.connection);
                }
                state->changed.notify_all();
            }
            if (answer) State::respond(waiting, *answer);
            g_object_unref(waiting.connection);
        },
        [](const std::string&, const std::string& property) -> GVariant* {
            return property == "version" ? g_variant_new_uint32(3) : nullptr;
        });
    if (!service) return nullptr;
    std::unique_ptr<FakeFileChooserPortal> portal(new FakeFileChooserPortal());
    portal->state_ = std::move(state);
    portal->service_ = std::move(service);
    return portal;
}

FakeFileChooserPortal::~FakeFileChooserPortal() { service_.reset(); }

void FakeFileChooserPortal::answerNextWith(std::optional<std::vector<std::filesystem::path>> files) {
    std::optional<State::Pending> waiting;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->pending.empty()) {
            state_->answers.push_back(std::move(files));
            return;
        }
        waiting = state_->pending.front();
        state_->pending.pop_front();
    }
    State::respond(*waiting, files);
    g_object_unref(waiting->connection);
}

std::vector<FakeFileChooserPortal::Request> FakeFileChooserPortal::requests() const {
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

bool FakeFileChooserPortal::waitForRequests(std::size_t count, double timeoutSeconds) const {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                                    [&] { return state_->requests.size() >= count; });
}

}  // namespace testsupport
