#include "Accessibility.h"

#include <atspi/atspi.h>

#include <chrono>
#include <thread>

#include "RunLoop.h"

namespace testsupport {

namespace {

std::shared_ptr<AtspiAccessible> hold(AtspiAccessible* object) {
    if (!object) return nullptr;
    return std::shared_ptr<AtspiAccessible>(object, [](AtspiAccessible* o) { g_object_unref(o); });
}

std::string takeText(char* text) {
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

void initialize() {
    static const bool done = [] {
        atspi_init();
        // A program busy loading a page answers late; a call is not given up too soon.
        atspi_set_timeout(int(15000 * timeScale()), int(30000 * timeScale()));
        return true;
    }();
    (void)done;
}

// Whether `object` is showing, asked of the program directly. libatspi's own state sets are not
// used: a state set it keeps answers from the bus when its cache is stale, and does so even while
// libatspi is dispatching an event it received during another call of ours, which deadlocks the
// connection (libdbus's dispatch lock is not reentrant). A blocking call of libdbus's own
// dispatches nothing.
bool isShowing(AtspiAccessible* object) {
    AtspiObject* base = ATSPI_OBJECT(object);
    if (!base->app || !base->app->bus || !base->app->bus_name || !base->path) return false;
    DBusMessage* call = dbus_message_new_method_call(base->app->bus_name, base->path, "org.a11y.atspi.Accessible", "GetState");
    if (!call) return false;
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(base->app->bus, call, int(30000 * timeScale()), &error);
    dbus_message_unref(call);
    bool showing = false;
    if (reply) {
        DBusMessageIter iter, array;
        if (dbus_message_iter_init(reply, &iter) && dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_ARRAY) {
            dbus_message_iter_recurse(&iter, &array);
            if (dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_UINT32) {
                dbus_uint32_t low = 0;
                dbus_message_iter_get_basic(&array, &low);
                showing = (low >> ATSPI_STATE_SHOWING) & 1u;
            }
        }
        dbus_message_unref(reply);
    }
    dbus_error_free(&error);
    return showing;
}

// The web page inside a web view is WebKit's, large, and not what these tests read.
bool isWebContent(AtspiRole role) {
    return role == ATSPI_ROLE_DOCUMENT_WEB || role == ATSPI_ROLE_DOCUMENT_FRAME || role == ATSPI_ROLE_EMBEDDED;
}

constexpr size_t kMaximumElements = 20000;

void walk(AtspiAccessible* object, const std::string& window, int depth, std::vector<Accessibility::Element>& out) {
    if (!object || depth > 64 || out.size() >= kMaximumElements) return;
    GError* error = nullptr;
    const AtspiRole role = atspi_accessible_get_role(object, &error);
    if (error) {
        g_clear_error(&error);
        return;
    }
    Accessibility::Element element;
    element.role = takeText(atspi_accessible_get_role_name(object, &error));
    g_clear_error(&error);
    element.name = takeText(atspi_accessible_get_name(object, &error));
    g_clear_error(&error);
    element.showing = isShowing(object);
    if (role == ATSPI_ROLE_TEXT || role == ATSPI_ROLE_ENTRY || role == ATSPI_ROLE_PASSWORD_TEXT) {
        if (AtspiText* text = atspi_accessible_get_text_iface(object)) {
            element.text = takeText(atspi_text_get_text(text, 0, -1, &error));
            g_clear_error(&error);
            g_object_unref(text);
        }
    }
    element.window = window.empty() ? element.name : window;
    element.object = hold(static_cast<AtspiAccessible*>(g_object_ref(object)));
    const std::string childWindow = element.window;
    out.push_back(std::move(element));
    if (isWebContent(role)) return;
    const int count = atspi_accessible_get_child_count(object, &error);
    g_clear_error(&error);
    for (int i = 0; i < count && i < 4096; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(object, i, &error);
        g_clear_error(&error);
        if (!child) continue;
        walk(child, childWindow, depth + 1, out);
        g_object_unref(child);
    }
}

// Another process's state, over a bus: looked at again until it holds or the time is up.
template <class Check>
auto poll(double timeoutSeconds, Check check) -> decltype(check()) {
    const auto deadline = deadlineAfter(timeoutSeconds);
    for (;;) {
        auto result = check();
        if (result || std::chrono::steady_clock::now() >= deadline) return result;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace

Accessibility::Accessibility(pid_t pid) : pid_(pid) { initialize(); }

Accessibility::~Accessibility() = default;

std::shared_ptr<AtspiAccessible> Accessibility::application() {
    if (application_) return application_;
    auto desktop = hold(atspi_get_desktop(0));
    if (!desktop) return nullptr;
    GError* error = nullptr;
    const int count = atspi_accessible_get_child_count(desktop.get(), &error);
    g_clear_error(&error);
    for (int i = 0; i < count; ++i) {
        auto candidate = hold(atspi_accessible_get_child_at_index(desktop.get(), i, &error));
        g_clear_error(&error);
        if (!candidate) continue;
        const guint pid = atspi_accessible_get_process_id(candidate.get(), &error);
        g_clear_error(&error);
        if (pid_t(pid) == pid_) {
            // What the program shows changes all the time. Without a main loop libatspi caches
            // nothing but an object's interfaces, so every look asks the program again.
            application_ = candidate;
            return application_;
        }
    }
    return nullptr;
}

std::vector<Accessibility::Element> Accessibility::elements() {
    std::vector<Element> result;
    auto app = application();
    if (!app) return result;
    GError* error = nullptr;
    const int count = atspi_accessible_get_child_count(app.get(), &error);
    g_clear_error(&error);
    for (int i = 0; i < count; ++i) {
        AtspiAccessible* window = atspi_accessible_get_child_at_index(app.get(), i, &error);
        g_clear_error(&error);
        if (!window) continue;
        walk(window, {}, 0, result);
        g_object_unref(window);
    }
    return result;
}

std::optional<Accessibility::Element> Accessibility::waitFor(const Matcher& matcher, double timeoutSeconds) {
    return poll(timeoutSeconds, [&]() -> std::optional<Element> {
        for (auto& element : elements())
            if (matcher(element)) return element;
        return std::nullopt;
    });
}

bool Accessibility::waitUntilGone(const Matcher& matcher, double timeoutSeconds) {
    return poll(timeoutSeconds, [&] {
        for (auto& element : elements())
            if (matcher(element)) return false;
        return true;
    });
}

bool Accessibility::press(std::string_view title, std::string_view window, double timeoutSeconds) {
    const std::string wanted(title), in(window);
    return activate(
        [&](const Element& e) {
            return e.showing && e.role == "push button" && e.name == wanted && (in.empty() || e.window == in);
        },
        timeoutSeconds);
}

bool Accessibility::activate(const Matcher& matcher, double timeoutSeconds) {
    auto element = waitFor(matcher, timeoutSeconds);
    if (!element) return false;
    AtspiAction* action = atspi_accessible_get_action_iface(element->object.get());
    if (!action) return false;
    GError* error = nullptr;
    const bool done = atspi_action_do_action(action, 0, &error);
    g_clear_error(&error);
    g_object_unref(action);
    return done;
}

bool Accessibility::setValue(const Matcher& matcher, double value, double timeoutSeconds) {
    auto element = waitFor(matcher, timeoutSeconds);
    if (!element) return false;
    AtspiValue* values = atspi_accessible_get_value_iface(element->object.get());
    if (!values) return false;
    GError* error = nullptr;
    const bool done = atspi_value_set_current_value(values, value, &error);
    g_clear_error(&error);
    g_object_unref(values);
    return done;
}

bool Accessibility::setText(std::string_view window, std::string_view text, double timeoutSeconds) {
    const std::string in(window);
    auto field = waitFor([&](const Element& e) { return e.showing && e.role == "text" && e.window == in; },
                         timeoutSeconds);
    if (!field) return false;
    AtspiEditableText* editable = atspi_accessible_get_editable_text_iface(field->object.get());
    if (!editable) return false;
    GError* error = nullptr;
    const std::string value(text);
    const bool done = atspi_editable_text_set_text_contents(editable, value.c_str(), &error);
    g_clear_error(&error);
    g_object_unref(editable);
    return done;
}

Accessibility::Matcher Accessibility::named(std::string_view role, std::string_view name) {
    return [role = std::string(role), name = std::string(name)](const Element& e) {
        return e.showing && e.role == role && e.name == name;
    };
}

Accessibility::Matcher Accessibility::containing(std::string_view role, std::string_view text) {
    return [role = std::string(role), text = std::string(text)](const Element& e) {
        return e.showing && e.role == role && e.name.find(text) != std::string::npos;
    };
}

std::string Accessibility::describe() {
    std::string text;
    for (const auto& e : elements()) {
        if (!e.showing || e.name.empty()) continue;
        text += e.window + " | " + e.role + " | " + e.name + "\n";
    }
    return text;
}

}  // namespace testsupport
