// The tray item's image and the launcher badge for every combination that matters of unread
// count, settings, do-not-disturb and the privacy lock. The badge is read the way a dock reads
// it: from the LauncherEntry signal on the session bus.

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

#include "FakeStatusNotifierWatcher.h"
#include "PrivateSessionBus.h"
#include "RunLoop.h"
#include "TrellikTestSupport.h"
#include "shell/TrellikParts.h"
#include "shell/TrellikStatusItem.h"
#include "system/LauncherEntry.h"
#include "foundation/Log.h"
#include "ui/StatusNotifierItem.h"

using namespace parlivo;
using namespace trelliktest;

namespace {

platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }

// Listens on its own bus connection, like a dock would.
class BadgeListener {
public:
    struct Badge {
        std::string uri;
        std::int64_t count = 0;
        bool visible = false;
    };

    BadgeListener() {
        connection_ = testsupport::newSessionBusConnection();
        if (!connection_) return;
        subscription_ = g_dbus_connection_signal_subscribe(
            connection_, nullptr, platform::LauncherEntry::kInterface, platform::LauncherEntry::kMember, nullptr,
            nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &BadgeListener::onSignal, this, nullptr);
        // Make sure the match rule is in place before anything is sent.
        GVariant* pong = g_dbus_connection_call_sync(connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                     "org.freedesktop.DBus.Peer", "Ping", nullptr, nullptr,
                                                     G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        if (pong) g_variant_unref(pong);
    }
    ~BadgeListener() {
        if (!connection_) return;
        g_dbus_connection_signal_unsubscribe(connection_, subscription_);
        g_object_unref(connection_);
    }
    bool connected() const { return connection_ != nullptr; }

    // Lets signals in flight arrive and forgets them.
    void skipAll() {
        sync();
        seen_ = received_.size();
    }

    // The newest badge sent since the ones seen so far, once everything sent before this call has
    // arrived; none when nothing was sent.
    std::optional<Badge> next() {
        const std::size_t seen = seen_;
        if (!sync()) return std::nullopt;
        seen_ = received_.size();
        if (received_.size() == seen) return std::nullopt;
        return received_.back();
    }

    // A marker sent on the program's own bus connection after its badges: the bus keeps one
    // sender's messages in order, so once the marker is here every earlier badge is too.
    bool sync() {
        const int wanted = ++markersSent_;
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (!bus) return false;
        g_dbus_connection_emit_signal(bus, nullptr, "/", platform::LauncherEntry::kInterface,
                                      platform::LauncherEntry::kMember,
                                      g_variant_new("(s@a{sv})", kMarker, g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
                                      nullptr);
        g_object_unref(bus);
        return testsupport::runLoopUntil([&] { return markersReceived_ >= wanted; }, 10.0);
    }

private:
    static void onSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                         gpointer data) {
        auto* self = static_cast<BadgeListener*>(data);
        Badge badge;
        const gchar* uri = nullptr;
        GVariant* properties = nullptr;
        g_variant_get(parameters, "(&s@a{sv})", &uri, &properties);
        if (std::string_view(uri) == kMarker) {
            ++self->markersReceived_;
            g_variant_unref(properties);
            return;
        }
        badge.uri = uri;
        g_variant_lookup(properties, "count", "x", &badge.count);
        gboolean visible = FALSE;
        g_variant_lookup(properties, "count-visible", "b", &visible);
        badge.visible = visible;
        g_variant_unref(properties);
        self->received_.push_back(badge);
    }

    GDBusConnection* connection_ = nullptr;
    guint subscription_ = 0;
    std::vector<Badge> received_;
    std::size_t seen_ = 0;
    int markersSent_ = 0;
    int markersReceived_ = 0;
    static constexpr const char* kMarker = "test:marker";
};

class StatusItemTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gtk_init_check(nullptr, nullptr); }

    void SetUp() override {
        clearSettings();
        ASSERT_TRUE(listener.connected()) << "needs a session bus (dbus-run-session)";
        trellik = std::make_unique<Trellik>();
        attachStatusItemAndShortcut(*trellik);
        ASSERT_TRUE(testsupport::drainMainQueue());  // the tray item is made on a later turn
        window = std::make_shared<RecordingWindow>(log);
        trellik->setWindowDelegate(window);
        listener.skipAll();  // drop what start-up announced
    }

    void TearDown() override { trellik.reset(); }

    void setFlag(std::string_view key, bool value) { defaults().setBool(std::string(key), value); }

    EventLog log;
    BadgeListener listener;
    std::unique_ptr<Trellik> trellik;
    std::shared_ptr<RecordingWindow> window;
};

}  // namespace

TEST_F(StatusItemTest, ImageAndBadgeFollowCountSettingsDoNotDisturbAndLock) {
    struct Case {
        const char* name;
        int unread;
        bool doNotDisturb, locked, menuBar, dock, privacyMenuBar, privacyDock, monochrome;
        const char* icon;
        std::optional<std::int64_t> badge;
    };
    const char* idle = "net.vantreo.mac.WhatsApp.StatusItemDefaultIdle-symbolic";
    const char* unread = "net.vantreo.mac.WhatsApp.StatusItemDefaultNotification";
    const std::vector<Case> cases = {
        {"nothing unread", 0, false, false, true, true, true, true, false, idle, std::nullopt},
        {"below zero reads as nothing", -3, false, false, true, true, true, true, false, idle, std::nullopt},
        {"unread, unlocked", 12, false, false, true, true, false, false, false, unread, 12},
        {"do-not-disturb hides both", 3, true, false, true, true, true, true, false, idle, std::nullopt},
        {"normal switches off", 12, false, false, false, false, true, true, false, idle, std::nullopt},
        {"locked: only the privacy switches count", 3, false, true, true, true, false, true, false, idle, 3},
        {"locked: privacy icon on, badge off", 5, false, true, false, false, true, false, false, unread, std::nullopt},
        {"locked with do-not-disturb", 5, true, true, true, true, true, true, false, idle, std::nullopt},
        {"monochrome, unread", 2, false, false, true, true, false, false, true, "net.vantreo.mac.WhatsApp.StatusItemMonochromeNotification-symbolic", 2},
        {"monochrome, idle", 0, false, false, true, true, false, false, true, "net.vantreo.mac.WhatsApp.StatusItemMonochromeIdle-symbolic", std::nullopt},
    };
    auto* item = TrellikStatusItem::of(*trellik);
    ASSERT_TRUE(item->hasStatusItem());  // "showMenuBarIcon" is on by default
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setFlag(keys::doNotDisturbEnabled, c.doNotDisturb);
        setFlag(keys::privacyLockdown, c.locked);
        setFlag(keys::menuBarNotificationsEnabeld, c.menuBar);
        setFlag(keys::dockIconNotificationsEnabeld, c.dock);
        setFlag(keys::privacyMenuBarNotification, c.privacyMenuBar);
        setFlag(keys::privacyDockIconNotification, c.privacyDock);
        setFlag(keys::kMonochromeMenuBar, c.monochrome);
        trellik->setUnreadMessages(c.unread);
        item->update();

        EXPECT_EQ(item->statusItem()->iconName(), c.icon);
        auto badge = listener.next();
        ASSERT_TRUE(badge);
        EXPECT_EQ(badge->uri, "application://net.vantreo.mac.WhatsApp.desktop");
        EXPECT_EQ(badge->visible, c.badge.has_value());
        if (c.badge) {
            EXPECT_EQ(badge->count, *c.badge);
        }
    }
}

TEST_F(StatusItemTest, LockingReevaluatesBothSignalsAtOnce) {
    setFlag(keys::dockIconNotificationsEnabeld, true);
    setFlag(keys::menuBarNotificationsEnabeld, true);
    setFlag(keys::privacyDockIconNotification, false);
    setFlag(keys::privacyMenuBarNotification, false);
    trellik->setUnreadMessages(12);
    TrellikStatusItem::of(*trellik)->update();
    ASSERT_EQ(listener.next()->count, 12);

    trellik->setPrivacyLockdown(true);  // posts "kPrivacyChanged"; nothing else asks for an update
    auto badge = listener.next();
    ASSERT_TRUE(badge);
    EXPECT_FALSE(badge->visible);
    EXPECT_EQ(TrellikStatusItem::of(*trellik)->statusItem()->iconName(), "net.vantreo.mac.WhatsApp.StatusItemDefaultIdle-symbolic");
}

TEST_F(StatusItemTest, NotificationsDriveTheBadge) {
    trellik->showDesktopNotification({"Ann", "Hi", "", std::nullopt, "chat"});
    EXPECT_EQ(listener.next()->count, 1);
    trellik->showDesktopNotification({"Bob", "Yo", "", std::nullopt, "chat2"});
    auto badge = listener.next();
    EXPECT_TRUE(badge->visible);
    EXPECT_EQ(badge->count, 2);
    trellik->clearDeliveredNotifications();
    EXPECT_FALSE(listener.next()->visible);
}

TEST_F(StatusItemTest, TheMenuBarIconComesAndGoesAndItsFirstEntryIsTheClick) {
    auto* wrapper = TrellikStatusItem::of(*trellik);
    platform::StatusNotifierItem* first = wrapper->statusItem();
    ASSERT_NE(first, nullptr);
    trellik->setShowMenuBarIcon(true);
    trellik->createStatusItem();
    EXPECT_EQ(wrapper->statusItem(), first);  // refreshed, never a second one

    ASSERT_FALSE(first->menu().empty());
    first->activateMenuEntry(0);
    EXPECT_EQ(log.events, std::vector<std::string>{"window.handleStatusButtonClick"});

    trellik->setShowMenuBarIcon(false);
    EXPECT_FALSE(wrapper->hasStatusItem());
    trellik->setShowMenuBarIcon(false);  // nothing to remove
    // Without a tray item the badge is still kept.
    listener.skipAll();
    trellik->setUnreadMessages(4);
    wrapper->update();
    EXPECT_EQ(listener.next()->count, 4);

    trellik->setShowMenuBarIcon(true);
    ASSERT_TRUE(wrapper->hasStatusItem());
    EXPECT_EQ(wrapper->statusItem()->iconName(), "net.vantreo.mac.WhatsApp.StatusItemDefaultNotification");
}

namespace {

std::mutex logMutex;
std::vector<std::string> logLines;
void collectLog(std::string_view line, platform::LogLevel) {
    std::lock_guard lock(logMutex);
    logLines.emplace_back(line);
}
bool logged(std::string_view start) {
    std::lock_guard lock(logMutex);
    return std::ranges::any_of(logLines, [&](const std::string& line) { return line.starts_with(start); });
}

}  // namespace

// The tray item shows only where a tray host runs; without one the program says so and goes on,
// and a host that comes later gets the item.
TEST_F(StatusItemTest, TheItemJoinsATrayHostWheneverOneRuns) {
    platform::setSystemLogSink(collectLog);
    platform::StatusNotifierItem item("net.vantreo.test.tray");
    item.setImage(TrellikStatusItem::themedIconName("StatusItemWarning"), false);
    item.setMenu({{"Show", [] {}}});
    ASSERT_TRUE(testsupport::runLoopUntil([] { return logged("No tray host"); }));
    EXPECT_FALSE(item.isOnDisplay());

    auto host = testsupport::FakeStatusNotifierWatcher::start();
    ASSERT_TRUE(host);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return item.isOnDisplay() && !host->registeredItems().empty(); }));
    EXPECT_EQ(item.iconName(), "net.vantreo.mac.WhatsApp.StatusItemWarning");

    host.reset();  // the panel ends
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !item.isOnDisplay(); }));
    EXPECT_TRUE(item.activateMenuEntry(0)) << "the item's state lives on without a tray";
    platform::setSystemLogSink(nullptr);
}

namespace {

// The item's StatusNotifierItem properties, read over the bus from another connection, as a tray
// host reads them; none when the call failed.
std::optional<std::map<std::string, std::string>> itemProperties(const testsupport::FakeStatusNotifierWatcher::Registration& at) {
    GDBusConnection* host = testsupport::newSessionBusConnection();
    if (!host) return std::nullopt;
    struct Answer {
        bool done = false;
        GVariant* value = nullptr;
    } answer;
    g_dbus_connection_call(
        host, at.busName.c_str(), at.path.c_str(), "org.freedesktop.DBus.Properties", "GetAll",
        g_variant_new("(s)", "org.kde.StatusNotifierItem"), G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE, 10000,
        nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* answer = static_cast<Answer*>(data);
            answer->value = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
            answer->done = true;
        },
        &answer);
    const bool came = testsupport::runLoopUntil([&] { return answer.done; }, 20.0);
    g_dbus_connection_close_sync(host, nullptr, nullptr);
    g_object_unref(host);
    if (!came || !answer.value) return std::nullopt;
    std::map<std::string, std::string> properties;
    GVariantIter* entries = nullptr;
    g_variant_get(answer.value, "(a{sv})", &entries);
    const gchar* name = nullptr;
    GVariant* value = nullptr;
    while (g_variant_iter_loop(entries, "{&sv}", &name, &value))
        if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) properties[name] = g_variant_get_string(value, nullptr);
    g_variant_iter_free(entries);
    g_variant_unref(answer.value);
    return properties;
}

// The icon file a host finds for `name` with `themePath` added to its icon theme's search path:
// a theme folder in it ("hicolor/<size>/<context>/<name>.svg") or the file right in it.
std::optional<std::filesystem::path> iconFile(const std::string& themePath, const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (const char* extension : {".svg", ".png"})
        if (fs::is_regular_file(fs::path(themePath) / (name + extension), error)) return fs::path(themePath) / (name + extension);
    for (fs::recursive_directory_iterator it(fs::path(themePath) / "hicolor", error), end; !error && it != end;
         it.increment(error))
        if (it->path().stem() == name && it->is_regular_file()) return it->path();
    return std::nullopt;
}

}  // namespace

// Whatever folder the program is installed in, a tray host draws its icon: the item names the
// icon and hands over the folder of the program's icon theme, where that icon is. (Here the
// host's own search path knows nothing of the build tree.)
TEST_F(StatusItemTest, ATrayHostFindsTheIconThroughTheItemsIconThemePath) {
    auto host = testsupport::FakeStatusNotifierWatcher::start();
    ASSERT_TRUE(host);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return !host->registrations().empty(); }));
    auto* item = TrellikStatusItem::of(*trellik);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return item->isShownInTray(); }));

    auto properties = itemProperties(host->registrations().front());
    ASSERT_TRUE(properties);
    const std::string icon = (*properties)["IconName"];
    const std::string themePath = (*properties)["IconThemePath"];
    EXPECT_EQ(icon, "net.vantreo.mac.WhatsApp.StatusItemDefaultIdle-symbolic");
    ASSERT_FALSE(themePath.empty()) << "a host would look in its own themes only";
    EXPECT_TRUE(std::filesystem::path(themePath).is_absolute()) << themePath;
    EXPECT_TRUE(iconFile(themePath, icon)) << icon << " in " << themePath;

    // The picture changes; the host finds the new one the same way.
    trellik->setUnreadMessages(3);
    item->update();
    properties = itemProperties(host->registrations().front());
    ASSERT_TRUE(properties);
    EXPECT_EQ((*properties)["IconName"], "net.vantreo.mac.WhatsApp.StatusItemDefaultNotification");
    EXPECT_TRUE(iconFile((*properties)["IconThemePath"], (*properties)["IconName"]));
}

// A host that refuses the item: the item stays off (it never falls back to an old-style icon of
// its own) and the window knows that the tray cannot bring it back.
TEST_F(StatusItemTest, AnItemTheHostRefusesStaysOff) {
    auto host = testsupport::FakeStatusNotifierWatcher::start();
    ASSERT_TRUE(host);
    host->refuseItems();
    auto toplevels = [] {  // windows, not the menus' pop-ups
        GList* list = gtk_window_list_toplevels();
        guint count = 0;
        for (GList* window = list; window; window = window->next)
            if (gtk_window_get_window_type(GTK_WINDOW(window->data)) == GTK_WINDOW_TOPLEVEL) ++count;
        g_list_free(list);
        return count;
    };
    const guint before = toplevels();
    platform::StatusNotifierItem item("net.vantreo.test.refused", TrellikStatusItem::iconThemePath());
    item.setImage(TrellikStatusItem::themedIconName("StatusItemWarning"), false);
    item.setMenu({{"Show", [] {}}});
    // Past libayatana-appindicator's own wait before it would fall back.
    ASSERT_TRUE(testsupport::runLoopPastTimer(1.0));
    EXPECT_FALSE(item.isOnDisplay());
    EXPECT_TRUE(host->registrations().empty());
    // An old-style status icon would be a window of its own (the tray icon's plug).
    EXPECT_EQ(toplevels(), before);
}

TEST(StatusItemImages, EveryStyleHasItsShippedIcon) {
    clearSettings();
    for (bool monochrome : {false, true}) {
        defaults().setBool(std::string(keys::kMonochromeMenuBar), monochrome);
        for (auto style : allCases<TrellikStatusItemStyle>()) {
            // Found where the tray host looks: the hicolor theme beside the program's resources.
            auto image = TrellikStatusItem::image(style);
            ASSERT_TRUE(image) << int(style) << " monochrome " << monochrome;
            // Only the colour notification image and the warning are drawn as they are.
            const bool colour = style == TrellikStatusItemStyle::warning ||
                                (style == TrellikStatusItemStyle::notification && !monochrome);
            EXPECT_EQ(image->isTemplate, !colour) << image->name;
        }
    }
}
