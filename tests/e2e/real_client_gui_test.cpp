// The real program with a real open-source web chat client (Converse.js on Prosody, both on
// loopback; tests/support/realclient) and the default configuration with only the page address
// changed: what a user of a real web client gets. The user signs in inside the program and stays
// signed in across a restart; a contact's message becomes a desktop notification with the sender
// and the text, and its click opens that contact's chat; an inline reply reaches the contact whose
// notification was answered and no one else, whatever was clicked before, with its text intact,
// also when the page has closed that notification meanwhile (which withdraws it from the desktop);
// the launcher badge counts the messages and clears when the window comes up; the privacy lock
// hides the page and the notifications' contents and keeps the keyboard from the page.
//
// One chat server, one set of contacts and one running program serve all cases, in order: the
// first signs in, the others go on from there (and sign in themselves when run alone).
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "DesktopSession.h"
#include "FakeNotificationServer.h"
#include "PrivateSessionBus.h"
#include "RealClient.h"
#include "RunLoop.h"
#include "Standin.h"

using platform::PropertyList;
using testsupport::ChatServer;
using testsupport::FakeNotificationServer;
using testsupport::HostedProgram;
using testsupport::Peers;

namespace {

const std::string kUser = ChatServer::jid("me");
const std::string kAnn = ChatServer::jid("ann");
const std::string kBob = ChatServer::jid("bob");

// The launcher badge, as a dock reads it: the LauncherEntry signals on the session bus.
class LauncherBadge {
public:
    LauncherBadge() {
        connection_ = testsupport::newSessionBusConnection();
        if (!connection_) return;
        subscription_ = g_dbus_connection_signal_subscribe(
            connection_, nullptr, "com.canonical.Unity.LauncherEntry", "Update", nullptr, nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE,
            [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
               gpointer data) {
                GVariant* properties = g_variant_get_child_value(parameters, 1);
                gint64 count = 0;
                gboolean visible = FALSE;
                g_variant_lookup(properties, "count", "x", &count);
                g_variant_lookup(properties, "count-visible", "b", &visible);
                g_variant_unref(properties);
                static_cast<LauncherBadge*>(data)->shown_ = visible ? count : 0;
            },
            this, nullptr);
    }
    ~LauncherBadge() {
        if (!connection_) return;
        g_dbus_connection_signal_unsubscribe(connection_, subscription_);
        g_object_unref(connection_);
    }
    // Waits until the badge shows `count` (0: no badge).
    bool waitFor(std::int64_t count, double timeoutSeconds = 30) {
        return testsupport::runLoopUntil([&] { return shown_ == count; }, timeoutSeconds);
    }
    std::int64_t shown() const { return shown_; }

private:
    GDBusConnection* connection_ = nullptr;
    guint subscription_ = 0;
    std::int64_t shown_ = 0;
};

// Everything the cases share, made by the first case that runs.
struct World {
    ChatServer chat{{"me", "ann", "bob"}};
    std::unique_ptr<Peers> peers;
    std::unique_ptr<FakeNotificationServer> notifications;
    std::unique_ptr<HostedProgram> windowManager;
    // The servers of the program's configuration, by the page query they add.
    std::map<std::string, std::unique_ptr<testsupport::StandinServer>> configurations;
    testsupport::ProgramHome home;
    std::unique_ptr<HostedProgram> program;
    std::string programQuery;  // the configuration it runs with
    std::string window;        // its main window
    bool signedIn = false;
    std::string error;

    World() {
        if (!chat.ok()) {
            error = chat.error();
            return;
        }
        peers = std::make_unique<Peers>(chat, std::vector<std::string>{"ann", "bob"});
        if (!peers->ok()) {
            error = peers->error();
            return;
        }
        if (!configuration("")) return;
        // The program's own first-start question (launch at login?) is not what these cases are about.
        PropertyList settings = PropertyList::dictionary();
        settings.set("Tovak.LaunchAtLoginShowReminder", false);
        home.writeSettings(settings);
        notifications = FakeNotificationServer::start(FakeNotificationServer::capabilitiesWithInlineReply());
        windowManager = e2e::startWindowManager();
        if (!notifications || !windowManager) error = "no notification server or window manager";
    }
    ~World() { program.reset(); }

    // The server of the default configuration whose page address is the client with `query`.
    testsupport::StandinServer* configuration(const std::string& query) {
        auto& server = configurations[query];
        if (server) return server.get();
        server = std::make_unique<testsupport::StandinServer>(
            testsupport::defaultConfigurationFor(chat.pageURL(peers->observerPort(), query)));
        if (!server->ok()) {
            error = server->error();
            return nullptr;
        }
        return server.get();
    }
};

World* world = nullptr;

// Whether a file of the program's local storage holds `text`.
bool websiteDataHolds(const std::string& text) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(world->home.websiteDataDirectory() / "localstorage", error)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.find(text) != std::string::npos) return true;
    }
    return false;
}

// Every file of the program's website data, with its size and time of change.
std::map<std::string, std::pair<std::uintmax_t, std::filesystem::file_time_type>> websiteDataFiles() {
    std::map<std::string, std::pair<std::uintmax_t, std::filesystem::file_time_type>> files;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(world->home.websiteDataDirectory(), error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        if (!it->is_regular_file(ignored)) continue;
        files[it->path().string()] = {it->file_size(ignored), it->last_write_time(ignored)};
    }
    return files;
}

// Whether the website data stays the same for `quietSeconds` in a row, within `timeoutSeconds`.
bool websiteDataSettles(double quietSeconds, double timeoutSeconds) {
    const auto deadline = testsupport::deadlineAfter(timeoutSeconds);
    auto seen = websiteDataFiles();
    auto since = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        auto now = websiteDataFiles();
        if (now != seen) {
            seen = std::move(now);
            since = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - since >= std::chrono::duration<double>(quietSeconds)) {
            return true;
        }
    }
    return false;
}

class RealClient : public ::testing::Test {
protected:
    static void TearDownTestSuite() {
        delete world;
        world = nullptr;
    }

    void SetUp() override {
        if (!world) world = new World;
        ASSERT_TRUE(world->error.empty()) << world->error << "\n" << world->chat.log();
    }

    Peers& peers() { return *world->peers; }
    FakeNotificationServer& notifications() { return *world->notifications; }
    HostedProgram& program() { return *world->program; }

    // Starts the program on the client (its page with `query`); the page has loaded (its observer
    // is there) once it returns. Records from `mark` on belong to this start.
    void launch(size_t* mark = nullptr, const std::string& query = "") {
        world->program.reset();
        const size_t from = peers().mark();
        if (mark) *mark = from;
        auto* configuration = world->configuration(query);
        ASSERT_TRUE(configuration) << world->error;
        world->program = HostedProgram::parlivo(*configuration, world->home.options());
        world->programQuery = query;
        ASSERT_TRUE(world->program->process().started()) << world->program->process().startError();
        ASSERT_TRUE(peers().waitForPage("page", {}, {}, 60, from))
            << program().output() << peers().describe() << "--- configuration server ---\n" << configuration->log();
        world->window = e2e::waitForWindow("Parlivo");
        ASSERT_FALSE(world->window.empty()) << program().output();
    }

    // The session of this start of the page, once the client says it is connected.
    bool connectedSince(size_t mark, double timeoutSeconds = 60) {
        auto session = peers().waitForPage("session", "state", "connected", timeoutSeconds, mark);
        return session && session->text("jid") == kUser;
    }

    // The user signs in on the client's login form: a click into its address field, then the
    // keyboard.
    void signIn(size_t mark) {
        auto form = peers().waitForPage("login-form", {}, {}, 60, mark);
        ASSERT_TRUE(form) << peers().describe(mark);
        ASSERT_TRUE(e2e::activate(world->window));
        // The web view fills the window below the menu bar: the field's place in the window.
        int width = 0, height = 0;
        ASSERT_EQ(std::sscanf(e2e::windowSize(world->window).c_str(), "%dx%d", &width, &height), 2);
        const auto at = [&](const char* key) { return int(form->value[key].asInt().value_or(0)); };
        const size_t clicked = peers().mark();
        e2e::click(world->window, width - at("viewWidth") + at("x"), height - at("viewHeight") + at("y"));
        ASSERT_TRUE(peers().waitForPage("pointer", "id", "converse-login-jid", 30, clicked)) << peers().describe(mark);
        e2e::type(kUser);
        e2e::key("Tab");
        e2e::type(ChatServer::kPassword);
        e2e::screenshot("real-client-login");
        e2e::key("Return");
        ASSERT_TRUE(connectedSince(mark)) << peers().describe(mark) << world->chat.log();
        world->signedIn = true;
    }

    // The program runs on the client (its page with `query`), signed in (a case run alone signs
    // in first).
    void ensureSignedIn(const std::string& query = "") {
        if (world->program && world->program->process().running() && world->signedIn && world->programQuery == query)
            return;
        size_t mark = 0;
        launch(&mark, query);
        if (world->signedIn) {
            ASSERT_TRUE(connectedSince(mark)) << peers().describe(mark);
        } else {
            signIn(mark);
        }
    }

    // `contact` writes `text`; the desktop notification it became (the first one after it).
    FakeNotificationServer::Notification notified(const std::string& contact, const std::string& text) {
        const size_t before = notifications().notificationCount();
        peers().send(contact, text);
        EXPECT_TRUE(e2e::eventually([&] { return notifications().notificationCount() > before; },
                                    30 * testsupport::timeScale()))
            << contact << ": " << text << "\n" << program().output() << peers().describe();
        const auto all = notifications().notifications();
        return all.size() > before ? all[before] : FakeNotificationServer::Notification{};
    }

    // The page shows `jid`'s chat now (the observer's latest word), or does so within a while.
    bool chatOpens(const std::string& jid) {
        return e2e::eventually([&] { return peers().openChat() == jid; }, 30 * testsupport::timeScale());
    }
};

}  // namespace

TEST_F(RealClient, TheUserSignsInInsideTheProgramAndIsStillSignedInAfterARestart) {
    world->signedIn = false;
    size_t mark = 0;
    launch(&mark);
    signIn(mark);
    e2e::screenshot("real-client-signed-in");

    // The client keeps its session in the program's website data: a restart signs in by itself.
    // WebKit writes the page's local storage in batches, and the client keeps most of its session
    // (its keys for signing in again) in IndexedDB, written by WebKit's network process on its own
    // time; a quit a moment after the sign-in may come before them. The restart is the user's next
    // day, so it waits until the client's address is in local storage and the website data has
    // stopped changing.
    const auto connected = peers().waitForPage("session", "state", "connected", 0, mark);
    ASSERT_TRUE(connected);
    std::string missing;
    EXPECT_TRUE(e2e::eventually(
        [&] {
            missing.clear();
            if (const auto* names = connected->value["storage"].asArray())
                for (const auto& name : *names)
                    if (!websiteDataHolds(name.stringOr())) missing += name.stringOr() + " ";
            return missing.empty() && websiteDataHolds("conversejs-session-jid");
        },
        30 * testsupport::timeScale()))
        << "not on disk: " << missing << connected->json;
    EXPECT_TRUE(websiteDataSettles(2 * testsupport::timeScale(), 60));
    EXPECT_EQ(program().stop(), 0) << program().output();
    // Until the client is seen signed in again, later cases sign in for themselves.
    world->signedIn = false;
    launch(&mark);
    ASSERT_TRUE(connectedSince(mark)) << peers().describe(mark);
    world->signedIn = true;
    // Nobody typed: the client signed in with what it had kept.
    for (const auto& record : peers().records(mark)) EXPECT_NE(record.type, "key") << record.json;
}

TEST_F(RealClient, AMessageBecomesANotificationWithTheSenderAndTheTextAndItsClickOpensThatChat) {
    ensureSignedIn();
    const auto fromAnn = notified("ann", "Lunch at one?");
    EXPECT_EQ(fromAnn.summary, "ann says");
    EXPECT_EQ(fromAnn.body, "Lunch at one?");
    const auto fromBob = notified("bob", "Or at two <b>sharp</b>?");
    EXPECT_EQ(fromBob.summary, "bob says");
    // The server shows the body as markup: the page's text arrives as text.
    EXPECT_EQ(fromBob.body, "Or at two &lt;b&gt;sharp&lt;/b&gt;?");

    notifications().invokeAction(fromAnn.id, "default");
    EXPECT_TRUE(chatOpens(kAnn)) << peers().describe() << program().output();
    notifications().invokeAction(fromBob.id, "default");
    EXPECT_TRUE(chatOpens(kBob)) << peers().describe() << program().output();
}

// Two contacts write; the user clicks one notification and answers one, in either order. The
// answer goes to the contact whose notification it was, exactly as typed, and to no one else.
TEST_F(RealClient, AnInlineReplyReachesTheAnsweredContactAndNoOneElse) {
    ensureSignedIn();
    struct Case {
        const char* name;
        const char* clicked;  // whose notification is clicked ("" none), before or after the reply
        bool clickFirst;
        const char* answered;
        const char* reply;
    };
    // Each click opens another chat than the one on screen, and each reply but the last answers a
    // chat that is not on screen (the one before it opened the other); the last answers the chat
    // the click before it opened.
    const Case cases[] = {
        {"a reply alone, to the first of two", "", false, "ann", "Yes, one is fine"},
        {"a reply alone, to the second of two", "", false, "bob", "Two it is"},
        {"click one, then answer the other", "ann", true, "bob", "She said \"yes\" \\o/\nsee you at one"},
        {"answer one, then click the other", "bob", false, "ann", "C:\\path\\to \"it\"\n\nthen 'done'"},
        {"answer the chat on screen", "", false, "bob", "Right here"},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ++round;
        // The messages come while the user looks elsewhere: a click brings the window up, which
        // withdraws every notification on screen, the other one too.
        e2e::run("xdotool windowminimize --sync " + world->window);
        const size_t mark = peers().mark();
        std::map<std::string, FakeNotificationServer::Notification> shown;
        shown["ann"] = notified("ann", "Round " + std::to_string(round) + " from Ann");
        shown["bob"] = notified("bob", "Round " + std::to_string(round) + " from Bob");
        const std::string clicked = c.clicked, answered = c.answered;
        const std::string other = answered == "ann" ? "bob" : "ann";
        auto click = [&] {
            notifications().invokeAction(shown[clicked].id, "default");
            EXPECT_TRUE(chatOpens(ChatServer::jid(clicked))) << peers().describe(mark);
        };
        if (!clicked.empty() && c.clickFirst) click();
        ASSERT_TRUE(shown[answered].hasAction("inline-reply"));
        notifications().reply(shown[answered].id, c.reply);
        auto arrived = peers().waitForReceived(answered, 30, mark);
        EXPECT_TRUE(arrived) << peers().describe(mark) << program().output();
        if (arrived) {
            EXPECT_EQ(arrived->text("body"), c.reply);
        }
        if (!clicked.empty() && !c.clickFirst) click();
        // What came after the reply (the answered contact's receipt, a click's chat) is the
        // marker: by then a misdirected copy would have come too.
        EXPECT_EQ(peers().received(answered, mark), std::vector<std::string>{c.reply}) << peers().describe(mark);
        EXPECT_EQ(peers().received(other, mark), std::vector<std::string>{}) << peers().describe(mark);
    }
}

// The client closes each of its notifications after a while (Converse does after five seconds by
// default): the desktop's copy goes with it, and a reply typed into it as it went still goes to
// its contact, never to another one.
TEST_F(RealClient, ANotificationThePageClosesLeavesTheDesktopAndALateReplyStillGoesToItsContact) {
    // Converse's own delay, longer where the programs run slower: the notification must have
    // reached the desktop before the page closes it.
    ensureSignedIn("notification_delay=" + std::to_string(int(5000 * testsupport::timeScale())));
    e2e::run("xdotool windowminimize --sync " + world->window);
    const size_t mark = peers().mark();
    const auto fromAnn = notified("ann", "Still there?");
    const auto fromBob = notified("bob", "Me too?");
    for (const char* body : {"Still there?", "Me too?"})
        ASSERT_TRUE(peers().waitForPage("notification-closed", "body", body, 30, mark)) << peers().describe(mark);
    EXPECT_TRUE(e2e::eventually([&] {
        const auto closed = notifications().closedIds();
        return std::count(closed.begin(), closed.end(), fromAnn.id) && std::count(closed.begin(), closed.end(), fromBob.id);
    }, 30 * testsupport::timeScale())) << "the page closed its notifications; the desktop still shows them";

    notifications().reply(fromAnn.id, "Yes, sorry");
    auto arrived = peers().waitForReceived("ann", 30, mark);
    EXPECT_TRUE(arrived) << peers().describe(mark) << program().output();
    EXPECT_EQ(peers().received("ann", mark), std::vector<std::string>{"Yes, sorry"}) << peers().describe(mark);
    EXPECT_EQ(peers().received("bob", mark), std::vector<std::string>{}) << peers().describe(mark);
}

TEST_F(RealClient, TheLauncherBadgeCountsTheMessagesAndClearsWhenTheWindowComesUp) {
    ensureSignedIn();
    LauncherBadge badge;
    // The user looks elsewhere, comes back (which clears what was unread before), and looks
    // elsewhere again: what comes now is unread.
    e2e::run("xdotool windowminimize --sync " + world->window);
    ASSERT_TRUE(e2e::activate(world->window));
    ASSERT_TRUE(badge.waitFor(0)) << badge.shown();
    e2e::run("xdotool windowminimize --sync " + world->window);
    notified("ann", "Are you there?");
    EXPECT_TRUE(badge.waitFor(1)) << badge.shown();
    notified("bob", "Hello?");
    EXPECT_TRUE(badge.waitFor(2)) << badge.shown();
    ASSERT_TRUE(e2e::activate(world->window));
    EXPECT_TRUE(badge.waitFor(0)) << badge.shown();
}

TEST_F(RealClient, TheLockHidesThePageAndTheNotificationsAndKeepsTheKeyboardFromIt) {
    ensureSignedIn();
    // Privacy mode on, with the password "secret" (an earlier version's record: its SHA-256).
    EXPECT_EQ(program().stop(), 0) << program().output();
    PropertyList settings = world->home.settings();
    settings.set("privacyModeEnabled", true);
    settings.set("privacyModeTouchIDEnabled", false);
    settings.set("WQPassowrdHandler.privacyPassword",
                 "2bb80d537b1da3e38bd30361aa855686bde0eacd7162fef6a25fe97bf527a25b");
    world->home.writeSettings(settings);

    size_t mark = 0;
    launch(&mark);
    ASSERT_TRUE(connectedSince(mark)) << peers().describe(mark);
    auto start = peers().waitForPage("page", {}, {}, 1, mark);
    ASSERT_TRUE(start);
    EXPECT_EQ(start->text("visibility"), "hidden");
    ASSERT_TRUE(e2e::activate(world->window));
    e2e::screenshot("real-client-locked");

    // A message while locked: a notification that names no one and shows nothing, with no reply
    // field.
    const auto locked = notified("ann", "A secret plan");
    EXPECT_EQ(locked.summary.find("ann"), std::string::npos) << locked.summary;
    EXPECT_EQ(locked.body.find("secret plan"), std::string::npos) << locked.body;
    EXPECT_FALSE(locked.hasAction("inline-reply"));

    // Keys typed now go to the lock screen's password field, never to the page. The wrong
    // password's refusal is the marker that they have all been handled.
    size_t line = program().process().lines().size();
    e2e::type("hello");
    e2e::key("Return");
    ASSERT_GE(e2e::lineAfter(program(), line, "Wrong password"), 0) << program().output();
    e2e::type("secret");
    e2e::key("Return");
    ASSERT_TRUE(peers().waitForPage("visibility", "state", "visible", 30, mark)) << program().output();
    for (const auto& record : peers().records(mark)) EXPECT_NE(record.type, "key") << record.json;
    EXPECT_EQ(peers().received("ann", mark), std::vector<std::string>{});
    EXPECT_EQ(program().stop(), 0) << program().output();
    settings.set("privacyModeEnabled", false);
    world->home.writeSettings(settings);
    world->program.reset();
}
