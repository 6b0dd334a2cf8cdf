#include <gio/gio.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "PrivateSessionBus.h"
#include "RunLoop.h"
#include "system/SessionBus.h"

namespace dbus = platform::dbus;
using testsupport::runLoopUntil;

namespace {

[[maybe_unused]] const bool privateBus = testsupport::usePrivateSessionBus();

constexpr const char* kInterface = "net.vantreo.test.Scope";
constexpr const char* kPath = "/net/vantreo/test/Scope";
constexpr dbus::Target kBusDaemon{"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus"};

// Another program on the bus: a connection of its own, closed when it goes.
class OtherProgram {
public:
    OtherProgram() : bus_(testsupport::newSessionBusConnection()) {}
    ~OtherProgram() {
        if (!bus_) return;
        g_dbus_connection_close_sync(bus_, nullptr, nullptr);
        g_object_unref(bus_);
    }
    OtherProgram(const OtherProgram&) = delete;
    OtherProgram& operator=(const OtherProgram&) = delete;
    bool ok() const { return bus_ != nullptr; }

protected:
    GDBusConnection* bus_;
};

// Another program on the bus, sending the signals.
class Sender : public OtherProgram {
public:
    void send(const char* member, const std::string& text) {
        g_dbus_connection_emit_signal(bus_, nullptr, kPath, kInterface, member, g_variant_new("(s)", text.c_str()),
                                      nullptr);
        g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
    }
};

dbus::SignalSubscription listen(const char* member, std::vector<std::string>& heard) {
    return dbus::SignalSubscription(platform::sessionBus(), {.interface = kInterface, .member = member, .path = kPath},
                                    [&heard](const dbus::Signal& signal) {
                                        if (auto text = dbus::read<std::string>(signal.parameters))
                                            heard.push_back(std::get<0>(*text));
                                    });
}

// GLib sends a subscription's match rule to the bus without waiting for it, and a signal another
// connection sends before the bus has read the rule reaches nobody. The bus reads a connection's
// messages in order: once a call sent after the rule is answered, the rule is in place.
bool matchRulesApplied() {
    return dbus::callSync(platform::sessionBus(), kBusDaemon, "GetId", nullptr, G_VARIANT_TYPE("(s)"), -1) != nullptr;
}

}  // namespace

// A subscription hears while it lives (moved or not) and never after: not even a signal that had
// arrived but was not handled yet when it went.
TEST(DBusSignalSubscription, HearsWhileItLivesAndNeverAfter) {
    ASSERT_NE(platform::sessionBus(), nullptr);
    Sender sender;
    ASSERT_TRUE(sender.ok());
    std::vector<std::string> heard, markers;
    auto marker = listen("Marker", markers);

    auto subscription = listen("Ping", heard);
    ASSERT_TRUE(subscription);
    ASSERT_TRUE(matchRulesApplied());
    sender.send("Ping", "first");
    ASSERT_TRUE(runLoopUntil([&] { return heard.size() == 1; }));

    // Moved: the new owner hears, and the emptied one unsubscribes nothing when it goes.
    auto moved = std::make_unique<dbus::SignalSubscription>(std::move(subscription));
    EXPECT_FALSE(subscription);
    subscription.reset();
    sender.send("Ping", "second");
    ASSERT_TRUE(runLoopUntil([&] { return heard.size() == 2; }));

    sender.send("Ping", "queued");
    moved.reset();  // before the loop has run again
    sender.send("Ping", "late");
    sender.send("Marker", "end");
    // The marker was sent last, so it comes last: the pings have had their turn when it arrives.
    ASSERT_TRUE(runLoopUntil([&] { return !markers.empty(); }));
    EXPECT_EQ(heard, (std::vector<std::string>{"first", "second"}));
}

// A handler may end its own subscription and go on using what it holds: what it runs is a copy,
// not the one in the subscription's box that the reset clears.
TEST(DBusSignalSubscription, AHandlerMayEndItsOwnSubscription) {
    ASSERT_NE(platform::sessionBus(), nullptr);
    Sender sender;
    ASSERT_TRUE(sender.ok());
    dbus::SignalSubscription subscription;
    std::vector<std::string> heard;
    // Long enough to live on the heap, where a freed copy shows under the address sanitizer.
    const std::string held(64, 'x');
    subscription = dbus::SignalSubscription(platform::sessionBus(), {.interface = kInterface, .member = "Ping", .path = kPath},
                                            [&subscription, &heard, held](const dbus::Signal&) {
                                                subscription.reset();
                                                heard.push_back(held);
                                            });
    ASSERT_TRUE(matchRulesApplied());
    sender.send("Ping", "once");
    sender.send("Ping", "twice");
    ASSERT_TRUE(runLoopUntil([&] { return !heard.empty(); }));
    EXPECT_FALSE(subscription);
    std::vector<std::string> markers;
    auto marker = listen("Marker", markers);
    ASSERT_TRUE(matchRulesApplied());
    sender.send("Marker", "end");
    ASSERT_TRUE(runLoopUntil([&] { return !markers.empty(); }));
    EXPECT_EQ(heard, std::vector<std::string>{held});
}

namespace {

// Another program on the bus that takes a name and gives it up.
class NameOwner : public OtherProgram {
public:
    std::string uniqueName() const { return g_dbus_connection_get_unique_name(bus_); }
    // Both answer whether the bus did it (1: primary owner now, released).
    bool take(const char* name) { return ask("RequestName", g_variant_new("(su)", name, 4u /* do not queue */)); }
    bool giveUp(const char* name) { return ask("ReleaseName", g_variant_new("(s)", name)); }

private:
    bool ask(const char* method, GVariant* parameters) {
        auto reply = dbus::callSync(bus_, kBusDaemon, method, parameters, G_VARIANT_TYPE("(u)"), -1);
        auto answer = dbus::read<std::uint32_t>(reply.get());
        return answer && std::get<0>(*answer) == 1;
    }
};

dbus::NameWatch watch(const char* name, std::vector<std::string>& seen) {
    return dbus::NameWatch(
        platform::sessionBus(), name, [&seen](const std::string& owner) { seen.push_back("appeared " + owner); },
        [&seen] { seen.push_back("vanished"); });
}

}  // namespace

// A watch reports how things are when it starts, then each owner that comes (by its unique name)
// and goes; moved, the new holder goes on reporting.
TEST(DBusNameWatch, ReportsTheOwnerAsItComesAndGoes) {
    constexpr const char* kName = "net.vantreo.test.Watched";
    ASSERT_NE(platform::sessionBus(), nullptr);
    NameOwner owner;
    ASSERT_TRUE(owner.ok());
    std::vector<std::string> seen;
    auto watched = watch(kName, seen);
    ASSERT_TRUE(watched);
    ASSERT_TRUE(runLoopUntil([&] { return seen.size() == 1; }));
    EXPECT_EQ(seen[0], "vanished");  // nobody owns it yet

    ASSERT_TRUE(owner.take(kName));
    ASSERT_TRUE(runLoopUntil([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen[1], "appeared " + owner.uniqueName());

    auto moved = std::make_unique<dbus::NameWatch>(std::move(watched));
    EXPECT_FALSE(watched);
    watched.reset();  // the emptied one unwatches nothing
    ASSERT_TRUE(owner.giveUp(kName));
    ASSERT_TRUE(runLoopUntil([&] { return seen.size() == 3; }));
    EXPECT_EQ(seen[2], "vanished");
}

// Nothing is reported once the watch has gone: not a change after, and not one that had arrived
// but was not handled yet. Two watches on one name hear each change together (GLib queues both
// reports as it arrives); the first drops the second while handling it, when the second's report
// is already queued.
TEST(DBusNameWatch, ReportsNothingOnceItIsGone) {
    constexpr const char* kName = "net.vantreo.test.Dropped";
    ASSERT_NE(platform::sessionBus(), nullptr);
    NameOwner owner;
    ASSERT_TRUE(owner.ok());
    ASSERT_TRUE(owner.take(kName));
    std::vector<std::string> first, second;
    std::unique_ptr<dbus::NameWatch> dropped;
    bool dropOnVanish = false;
    dbus::NameWatch marker(
        platform::sessionBus(), kName, [&first](const std::string&) { first.push_back("appeared"); },
        [&] {
            first.push_back("vanished");
            if (dropOnVanish) dropped.reset();
        });
    dropped = std::make_unique<dbus::NameWatch>(watch(kName, second));
    ASSERT_TRUE(runLoopUntil([&] { return first.size() == 1 && second.size() == 1; }));
    EXPECT_EQ(second[0], "appeared " + owner.uniqueName());

    dropOnVanish = true;
    ASSERT_TRUE(owner.giveUp(kName));
    ASSERT_TRUE(runLoopUntil([&] { return first.size() == 2; }));
    EXPECT_FALSE(dropped);
    ASSERT_TRUE(testsupport::drainMainQueue());  // the second's queued report has had its turn

    // A change after the watch went: the marker hears it, the dropped watch does not.
    ASSERT_TRUE(owner.take(kName));
    ASSERT_TRUE(runLoopUntil([&] { return first.size() == 3; }));
    ASSERT_TRUE(testsupport::drainMainQueue());
    EXPECT_EQ(second, std::vector<std::string>{"appeared " + owner.uniqueName()});
}
