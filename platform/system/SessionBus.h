#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace platform {

// The process's connection to the session bus: GLib's shared connection, kept open for the life
// of the process, so a name owned or a signal subscribed through it stays. Every part of the
// platform layer that talks on the session bus uses this one. Callers borrow it: they never
// unref it. Null without a session bus (logged once).
//
// The first use connects synchronously. In the program that costs no wait: GApplication has
// opened the same shared connection while registering, before the main loop runs. LaunchHelper
// and tests have no window to freeze. Code that may be the first to ask on a running loop uses
// sessionBusAsync.
GDBusConnection* sessionBus();

// The same connection without waiting: `ready` runs on the main loop once it is open, with the
// connection (borrowed: take a reference to keep it) or, without a session bus, null and why.
// Never when `cancellable` was cancelled first.
void sessionBusAsync(GCancellable* cancellable, std::function<void(GDBusConnection*, const GError*)> ready);

// The small toolkit every D-Bus user of the layer shares: calls, signal subscriptions and readers
// of what comes back. Everything in it runs on the main loop.
namespace dbus {

struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
// An owned reference to a value.
using Variant = std::unique_ptr<GVariant, VariantUnref>;

// Whom a call goes to.
struct Target {
    const char* name;  // a well-known or unique bus name
    const char* path;
    const char* interface;
};

struct CallOptions {
    GDBusCallFlags flags = G_DBUS_CALL_FLAGS_NONE;
    int timeoutMs = -1;  // -1: GLib's default
    GCancellable* cancellable = nullptr;
};

// The answer to a call: the reply (of the type asked for) or, when null, the error. Both are
// borrowed for the callback's duration.
using Reply = std::function<void(GVariant* reply, GError* error)>;

// Calls `method` without waiting; `parameters` may be floating (it is consumed). `reply` (may be
// empty for fire and forget) runs on the main loop, also with G_IO_ERROR_CANCELLED when
// `options.cancellable` was cancelled: callers that may be gone by then hold themselves weakly.
void call(GDBusConnection* bus, const Target& to, const char* method, GVariant* parameters,
          const GVariantType* replyType, Reply reply, const CallOptions& options = {});

// Waits for the answer: only for processes without a window (LaunchHelper) and for start-up
// before the main loop runs. Null on failure, with `error` set when given.
Variant callSync(GDBusConnection* bus, const Target& to, const char* method, GVariant* parameters,
                 const GVariantType* replyType, int timeoutMs, GError** error = nullptr);

// Which signals a subscription hears; null fields match anything. Name the sender wherever the
// signal's source is known: anyone on the bus may send a signal with any path and interface.
struct SignalMatch {
    const char* sender = nullptr;
    const char* interface = nullptr;
    const char* member = nullptr;
    const char* path = nullptr;
    const char* arg0 = nullptr;  // the first argument, matched by the bus itself
};

struct Signal {
    const char* sender;  // the sender's unique name
    const char* path;
    const char* member;
    GVariant* parameters;  // of any type the sender chose: read with the readers below
};

namespace detail {

// What a signal subscription and a name watch share: a registration on the connection for as long
// as the object lives, and a box of handlers that GLib's side of the registration holds too.
// Destroying or resetting it empties the box before undoing the registration, so a report GLib
// had already queued finds nobody to call; a handler is copied out of the box before it runs, so
// it may reset its own registration. Holds its own reference to the connection.
template <typename Box>
class ScopedRegistration {
public:
    ScopedRegistration() = default;
    ~ScopedRegistration() { reset(); }
    ScopedRegistration(ScopedRegistration&& other) noexcept { take(other); }
    ScopedRegistration& operator=(ScopedRegistration&& other) noexcept {
        if (this != &other) {
            reset();
            take(other);
        }
        return *this;
    }
    ScopedRegistration(const ScopedRegistration&) = delete;
    ScopedRegistration& operator=(const ScopedRegistration&) = delete;

    void reset() {
        if (box_) *box_ = Box{};
        box_.reset();
        if (id_) undo_(bus_, id_);
        if (bus_) g_object_unref(bus_);
        bus_ = nullptr;
        id_ = 0;
        undo_ = nullptr;
    }
    explicit operator bool() const { return id_ != 0; }

protected:
    using Undo = void (*)(GDBusConnection* bus, guint id);
    // Registers `box` on `bus`: `add` makes the registration from the connection, the user data
    // for GLib's callbacks and its destroy-notify, and returns the id; `undo` ends it.
    template <typename Add>
    void registerBox(GDBusConnection* bus, Box box, Undo undo, Add&& add) {
        box_ = std::make_shared<Box>(std::move(box));
        bus_ = G_DBUS_CONNECTION(g_object_ref(bus));
        undo_ = undo;
        id_ = add(bus_, static_cast<gpointer>(new std::shared_ptr<Box>(box_)),
                  +[](gpointer data) { delete static_cast<std::shared_ptr<Box>*>(data); });
    }
    // The box behind GLib's user data, shared so that it outlives a reset made by the handler.
    static std::shared_ptr<Box> boxOf(gpointer data) { return *static_cast<std::shared_ptr<Box>*>(data); }

private:
    void take(ScopedRegistration& other) {
        bus_ = std::exchange(other.bus_, nullptr);
        id_ = std::exchange(other.id_, 0);
        undo_ = std::exchange(other.undo_, nullptr);
        box_ = std::move(other.box_);
    }

    GDBusConnection* bus_ = nullptr;
    guint id_ = 0;
    Undo undo_ = nullptr;
    std::shared_ptr<Box> box_;
};

struct SignalHandlers {
    std::function<void(const Signal&)> handler;
};
struct NameHandlers {
    std::function<void(const std::string& owner)> appeared;
    std::function<void()> vanished;
};

}  // namespace detail

// A signal subscription for as long as the object lives: destroying or resetting it unsubscribes,
// and its handler is never called again from then on, not even for a signal already queued; the
// handler may reset its own subscription. Holds its own reference to the connection.
class SignalSubscription : public detail::ScopedRegistration<detail::SignalHandlers> {
public:
    using Handler = std::function<void(const Signal&)>;

    SignalSubscription() = default;
    SignalSubscription(GDBusConnection* bus, const SignalMatch& match, Handler handler);
};

// A watch on a bus name for as long as the object lives. `appeared` runs with the name's owner
// (its unique name) when the name has one, `vanished` when it has none: first for how things are
// when the watch starts, then for every change. Both run on the main loop (the thread-default
// context of the thread that made the watch); either may be empty. Destroying or resetting it
// unwatches, and neither handler is called again from then on, not even for a report already
// queued; a handler may reset its own watch. Holds its own reference to the connection.
class NameWatch : public detail::ScopedRegistration<detail::NameHandlers> {
public:
    using Appeared = std::function<void(const std::string& owner)>;
    using Vanished = std::function<void()>;

    NameWatch() = default;
    NameWatch(GDBusConnection* bus, const char* name, Appeared appeared, Vanished vanished = {});
};

// Typed readers. What a peer sends is untrusted: each reader checks the value's type first and
// refuses (nullopt) anything else, so no g_variant_get ever meets a type it did not expect.
//
// read<T...>(tuple) reads a tuple of exactly those types, as signals and replies carry their
// arguments. The types: bool (b), std::uint32_t (u), std::int32_t (i), std::int64_t (x),
// std::string (s), ObjectPath (o), std::vector<std::string> (as), Variant (v, the boxed value).
struct ObjectPath {
    std::string path;
};

namespace detail {
template <class T> struct Type;
template <> struct Type<bool> { static constexpr const char* code = "b"; };
template <> struct Type<std::uint32_t> { static constexpr const char* code = "u"; };
template <> struct Type<std::int32_t> { static constexpr const char* code = "i"; };
template <> struct Type<std::int64_t> { static constexpr const char* code = "x"; };
template <> struct Type<std::string> { static constexpr const char* code = "s"; };
template <> struct Type<ObjectPath> { static constexpr const char* code = "o"; };
template <> struct Type<std::vector<std::string>> { static constexpr const char* code = "as"; };
template <> struct Type<Variant> { static constexpr const char* code = "v"; };

// Reads a value already checked to be of T's type.
void take(GVariant* value, bool& out);
void take(GVariant* value, std::uint32_t& out);
void take(GVariant* value, std::int32_t& out);
void take(GVariant* value, std::int64_t& out);
void take(GVariant* value, std::string& out);
void take(GVariant* value, ObjectPath& out);
void take(GVariant* value, std::vector<std::string>& out);
void take(GVariant* value, Variant& out);

bool isOfType(GVariant* value, const std::string& type);

template <class Tuple, std::size_t... I>
void takeAll(GVariant* tuple, Tuple& out, std::index_sequence<I...>) {
    (([&] {
         Variant child(g_variant_get_child_value(tuple, I));
         take(child.get(), std::get<I>(out));
     }()),
     ...);
}
}  // namespace detail

template <class... T>
std::optional<std::tuple<T...>> read(GVariant* tuple) {
    const std::string type = (std::string("(") + ... + detail::Type<T>::code) + ")";
    if (!detail::isOfType(tuple, type)) return std::nullopt;
    std::tuple<T...> values;
    detail::takeAll(tuple, values, std::index_sequence_for<T...>{});
    return values;
}

// A single uint32, unwrapped from any number of boxes ("v" in "v"), as some services answer one
// level more than others; nullopt for anything else.
std::optional<std::uint32_t> readUint32(GVariant* value);

}  // namespace dbus
}  // namespace platform
