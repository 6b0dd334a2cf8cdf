// The manager's side of the handshake with LaunchHelper, on the private session bus.
#include "WQLaunchAtLoginManager.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include "PrivateSessionBus.h"
#include "RunLoop.h"
#include "foundation/Bundle.h"
#include "foundation/DistributedNotificationCenter.h"
#include "foundation/Log.h"
#include "foundation/ProcessInfo.h"
#include "foundation/UserDefaults.h"

namespace fs = std::filesystem;
using tovak::WQLaunchAtLoginManager;

namespace {

// Names and broadcasts of this program's tests stay on a bus of their own.
[[maybe_unused]] const bool privateBus = testsupport::usePrivateSessionBus();

constexpr const char* kHelperId = "net.vantreo.mac.WhatsApp-Helper";

std::vector<std::string>& logLines() {
    static std::vector<std::string> lines;
    return lines;
}

void collectLog(std::string_view message, platform::LogLevel) {
    logLines().emplace_back(message);
}

// A stand-in for a running LaunchHelper: its own bus connection queued on the helper's name.
class FakeHelper {
public:
    FakeHelper() {
        bus_ = testsupport::newSessionBusConnection();
        GVariant* reply = g_dbus_connection_call_sync(
            bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
            g_variant_new("(su)", kHelperId, 0u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        if (reply) g_variant_unref(reply);
    }
    ~FakeHelper() {
        g_dbus_connection_close_sync(bus_, nullptr, nullptr);
        g_object_unref(bus_);
    }

private:
    GDBusConnection* bus_ = nullptr;
};

class HandshakeTest : public ::testing::Test {
protected:
    fs::path file = fs::path(g_get_tmp_dir()) / "handshake-defaults.plist";
    std::unique_ptr<platform::UserDefaults> defaults;
    std::vector<std::string> terminates, pongs;
    int markers = 0;
    platform::ObserverToken terminateObserver, pongObserver, markerObserver;

    void SetUp() override {
        fs::remove(file);
        defaults = std::make_unique<platform::UserDefaults>(file);
        logLines().clear();
        platform::setSystemLogSink(collectLog);
        platform::ProcessInfo::setArguments({"parlivo-for-whatsapp"});
        auto& center = platform::DistributedNotificationCenter::defaultCenter();
        terminateObserver = center.addObserver(WQLaunchAtLoginManager::kTerminateHelperAppNotification,
                                               [this](const std::string&, const std::string& o) { terminates.push_back(o); });
        pongObserver = center.addObserver(WQLaunchAtLoginManager::kPongNotification,
                                          [this](const std::string&, const std::string& o) { pongs.push_back(o); });
        markerObserver = center.addObserver("test.marker", [this](const std::string&, const std::string&) { ++markers; });
    }
    void TearDown() override { platform::setSystemLogSink(nullptr); }

    std::unique_ptr<WQLaunchAtLoginManager> configuredManager() {
        auto manager = std::make_unique<WQLaunchAtLoginManager>(*defaults, [](const std::string&, bool) { return true; });
        manager->setLaunchAtLoginHelperBundleId(kHelperId);
        return manager;
    }
    bool logged(const std::string& line) {
        return std::find(logLines().begin(), logLines().end(), line) != logLines().end();
    }
    // Waits until the manager has its answer from the bus.
    bool launchKnown(WQLaunchAtLoginManager& manager) {
        bool known = false;
        manager.whenLaunchIsKnown([&] { known = true; });
        return testsupport::runLoopUntil([&] { return known; });
    }
    // Posts a marker after everything this program posted so far and waits for it: the bus keeps
    // one sender's messages in order, so every earlier notification has arrived by then.
    bool allPostsArrived() {
        const int wanted = markers + 1;
        platform::DistributedNotificationCenter::defaultCenter().post("test.marker", "");
        return testsupport::runLoopUntil([&] { return markers >= wanted; });
    }
};

}  // namespace

TEST_F(HandshakeTest, TheProgramsIdentifierIsTheObjectOfItsNotifications) {
    // The helper only listens to notifications from this identifier.
    EXPECT_EQ(platform::Bundle::main().bundleIdentifier(), "net.vantreo.mac.WhatsApp");
}

TEST_F(HandshakeTest, WithoutARunningHelperTheStartWasManual) {
    auto manager = configuredManager();
    ASSERT_TRUE(launchKnown(*manager));
    EXPECT_FALSE(manager->automaticallyLaunched());
    EXPECT_TRUE(logged("App Launched Automatically: false"));  // in the system log even without debug mode
    ASSERT_TRUE(allPostsArrived());
    EXPECT_TRUE(terminates.empty());
}

TEST_F(HandshakeTest, EveryRunningHelperIsToldToQuit) {
    FakeHelper first, second;
    auto manager = configuredManager();
    ASSERT_TRUE(launchKnown(*manager));
    EXPECT_TRUE(manager->automaticallyLaunched());
    EXPECT_TRUE(logged("App Launched Automatically: true"));
    ASSERT_TRUE(allPostsArrived());
    EXPECT_EQ(terminates, (std::vector<std::string>{"net.vantreo.mac.WhatsApp", "net.vantreo.mac.WhatsApp"}));
}

TEST_F(HandshakeTest, TheLoginItemsLaunchArgumentMeansStartedAtLogin) {
    // The helper may have quit already when a slow start looks for it.
    platform::ProcessInfo::setArguments({"parlivo-for-whatsapp", "-launchedAtLogin"});
    auto manager = configuredManager();
    EXPECT_TRUE(manager->automaticallyLaunched()) << "the argument counts before the bus has answered";
    ASSERT_TRUE(launchKnown(*manager));
    EXPECT_TRUE(manager->automaticallyLaunched());
    ASSERT_TRUE(allPostsArrived());
    EXPECT_TRUE(terminates.empty());
}

TEST_F(HandshakeTest, AManagerGoneBeforeTheBusAnswersIsLeftAlone) {
    FakeHelper helper;
    configuredManager().reset();  // the answer comes to nobody
    auto manager = configuredManager();
    ASSERT_TRUE(launchKnown(*manager));
    ASSERT_TRUE(allPostsArrived());
    EXPECT_EQ(terminates.size(), 1u) << "only the living manager asked the helper to quit";
}

TEST_F(HandshakeTest, EachPingGetsOnePongFromTheMainLoop) {
    auto manager = configuredManager();
    auto& center = platform::DistributedNotificationCenter::defaultCenter();
    center.post(WQLaunchAtLoginManager::kPingNotification, "");
    center.post(WQLaunchAtLoginManager::kPingNotification, "anyone");
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return pongs.size() == 2; }));
    ASSERT_TRUE(allPostsArrived());
    EXPECT_EQ(pongs, (std::vector<std::string>{"net.vantreo.mac.WhatsApp", "net.vantreo.mac.WhatsApp"}));
}
