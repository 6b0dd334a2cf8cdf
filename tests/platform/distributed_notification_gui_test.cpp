// Notifications between programs travel as signals on the session bus.
#include <gtest/gtest.h>

#include <gio/gio.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "RunLoop.h"
#include "foundation/DistributedNotificationCenter.h"

using platform::DistributedNotificationCenter;
using testsupport::runLoopUntil;

TEST(DistributedNotificationCenter, PostReachesObserversOfThatNameOnly) {
    auto& center = DistributedNotificationCenter::defaultCenter();
    std::vector<std::string> received;
    auto ping = center.addObserver("Test.ping", [&](const std::string& name, const std::string& object) {
        received.push_back(name + "/" + object);
    });
    auto pong = center.addObserver("Test.pong", [&](const std::string& name, const std::string&) {
        received.push_back(name);
    });
    ASSERT_TRUE(center.post("Test.ping", "net.vantreo.mac.WhatsApp"));
    ASSERT_TRUE(runLoopUntil([&] { return !received.empty(); }));
    EXPECT_EQ(received, (std::vector<std::string>{"Test.ping/net.vantreo.mac.WhatsApp"}));
}

TEST(DistributedNotificationCenter, ReachesAnotherProcessOnTheBus) {
    // gdbus is part of GLib: a second process listening for our signal.
    auto& center = DistributedNotificationCenter::defaultCenter();
    std::string seen;
    auto token = center.addObserver("Test.fromOutside", [&](const std::string&, const std::string& object) {
        seen = object;
    });
    ASSERT_EQ(std::system("gdbus emit --session --object-path /net/vantreo/DistributedNotification "
                          "--signal net.vantreo.DistributedNotification.Post 'Test.fromOutside' 'hello' >/dev/null"),
              0);
    ASSERT_TRUE(runLoopUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, "hello");
}

TEST(DistributedNotificationCenter, MalformedSignalsAreIgnoredAndRemovedObserversStayQuiet) {
    auto& center = DistributedNotificationCenter::defaultCenter();
    int calls = 0;
    auto token = center.addObserver("Test.quiet", [&](const std::string&, const std::string&) { ++calls; });
    // Wrong signature: one argument only.
    std::system("gdbus emit --session --object-path /net/vantreo/DistributedNotification "
                "--signal net.vantreo.DistributedNotification.Post 'Test.quiet' >/dev/null");
    // Bytes that are not UTF-8 cannot travel on the bus: refused, not sent half-built.
    EXPECT_FALSE(center.post("Test.quiet", "caf\xE9"));
    EXPECT_FALSE(center.post(std::string("Test.quiet\0x", 12), "x"));
    token.reset();
    center.post("Test.quiet", "x");
    // A marker posted last comes last: everything above has arrived when it does.
    bool marker = false;
    auto markerToken = center.addObserver("Test.marker", [&](const std::string&, const std::string&) { marker = true; });
    ASSERT_TRUE(center.post("Test.marker", ""));
    ASSERT_TRUE(runLoopUntil([&] { return marker; }));
    EXPECT_EQ(calls, 0);
}
