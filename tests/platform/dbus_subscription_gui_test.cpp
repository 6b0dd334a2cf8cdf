#include <gio/gio.h>
#include <gtest/gtest.h>

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

// Another program on the bus, sending the signals.
class Sender {
public:
    Sender() : bus_(testsupport::newSessionBusConnection()) {}
    ~Sender() {
        if (!bus_) return;
        g_dbus_connection_close_sync(bus_, nullptr, nullptr);
        g_object_unref(bus_);
    }
    bool ok() const { return bus_ != nullptr; }
    void send(const char* member, const std::string& text) {
        g_dbus_connection_emit_signal(bus_, nullptr, kPath, kInterface, member, g_variant_new("(s)", text.c_str()),
                                      nullptr);
        g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
    }

private:
    GDBusConnection* bus_;
};

dbus::SignalSubscription listen(const char* member, std::vector<std::string>& heard) {
    return dbus::SignalSubscription(platform::sessionBus(), {.interface = kInterface, .member = member, .path = kPath},
                                    [&heard](const dbus::Signal& signal) {
                                        if (auto text = dbus::read<std::string>(signal.parameters))
                                            heard.push_back(std::get<0>(*text));
                                    });
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
