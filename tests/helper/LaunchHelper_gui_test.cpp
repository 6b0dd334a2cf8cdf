// LaunchHelper and the main program end to end, on a session bus of this test program's own.
#include <fcntl.h>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "ClosedPort.h"
#include "PrivateSessionBus.h"
#include "RunLoop.h"

namespace fs = std::filesystem;

namespace {

[[maybe_unused]] const bool privateBus = testsupport::usePrivateSessionBus();

// Every main program started here (by the test or by LaunchHelper) asks a port that refuses for
// its configuration: no server of another run on this machine answers it.
[[maybe_unused]] const bool noConfigurationServer = [] {
    static const testsupport::ClosedPort port;
    return setenv("PARLIVO_CONFIG_HOST", port.host().c_str(), 1) == 0;
}();

constexpr const char* kMainName = "net.vantreo.mac.WhatsApp";

fs::path mainProgram() {
    return fs::weakly_canonical(fs::path(PARLIVO_BIN_DIR) / "parlivo-for-whatsapp");
}

fs::path launchHelper() {
    return fs::path(PARLIVO_LIBEXEC_DIR) / "LaunchHelper";
}

// A program started by the test, its output (standard output and error) going to a file.
class Process {
public:
    Process(const fs::path& program, std::vector<std::string> arguments, const fs::path& log,
            std::vector<std::string> extraEnvironment = {})
        : log_(log) {
        std::vector<std::string> args{program.string()};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        gchar** env = g_get_environ();
        for (const auto& assignment : extraEnvironment) {
            const auto eq = assignment.find('=');
            env = g_environ_setenv(env, assignment.substr(0, eq).c_str(), assignment.substr(eq + 1).c_str(), TRUE);
        }
        int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        GError* error = nullptr;
        started_ = g_spawn_async(
            nullptr, argv.data(), env, GSpawnFlags(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDIN_FROM_DEV_NULL),
            [](gpointer data) {
                const int out = *static_cast<int*>(data);
                dup2(out, 1);
                dup2(out, 2);
            },
            &fd, &pid_, &error);
        close(fd);
        g_strfreev(env);
        if (error) ADD_FAILURE() << error->message;
        g_clear_error(&error);
        if (started_)
            g_child_watch_add(pid_, [](GPid, gint status, gpointer data) {
                auto* state = static_cast<std::pair<bool, int>*>(data);
                state->first = true;
                state->second = status;
            }, exit_.get());
    }
    ~Process() {
        if (started_ && !exit_->first) {
            kill(pid_, SIGKILL);
            testsupport::runLoopUntil([&] { return exit_->first; }, 5);
        }
    }

    GPid pid() const { return pid_; }
    bool exited() const { return exit_->first; }
    bool waitForExit(double seconds) { return testsupport::runLoopUntil([&] { return exit_->first; }, seconds); }
    int exitStatus() const { return g_spawn_check_wait_status(exit_->second, nullptr) ? 0 : WEXITSTATUS(exit_->second); }
    std::string output() const {
        std::stringstream text;
        text << std::ifstream(log_).rdbuf();
        return text.str();
    }
    bool printed(const std::string& text) const { return output().find(text) != std::string::npos; }
    bool waitForOutput(const std::string& text, double seconds) {
        return testsupport::runLoopUntil([&] { return printed(text); }, seconds);
    }

private:
    fs::path log_;
    bool started_ = false;
    GPid pid_ = 0;
    // Kept on the heap: the child watch may report after the object has moved on.
    std::shared_ptr<std::pair<bool, int>> exit_ = std::make_shared<std::pair<bool, int>>(false, 0);
};

// Every running copy of the main program of this build.
// Whether process `pid` talks to our session bus: other tests run copies of the program on
// buses of their own at the same time, and those are none of ours.
bool onOurBus(const fs::path& proc) {
    const char* ours = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!ours) return true;
    std::ifstream in(proc / "environ", std::ios::binary);
    const std::string wanted = std::string("DBUS_SESSION_BUS_ADDRESS=") + ours;
    for (std::string entry; std::getline(in, entry, '\0');)
        if (entry == wanted) return true;
    return false;
}

std::set<int> mainProcesses() {
    std::set<int> pids;
    const fs::path program = mainProgram();
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code ec;
        if (fs::read_symlink(entry.path() / "exe", ec) == program && !ec && onOurBus(entry.path()))
            pids.insert(std::stoi(name));
    }
    return pids;
}

std::string commandLine(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::replace(all.begin(), all.end(), '\0', ' ');
    return all;
}

// The process that owns `name` on the bus, or 0.
int ownerProcess(const char* name) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetConnectionUnixProcessID",
        g_variant_new("(s)", name), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    g_object_unref(bus);
    if (!reply) return 0;
    guint32 pid = 0;
    g_variant_get(reply, "(u)", &pid);
    g_variant_unref(reply);
    return int(pid);
}

void post(const char* name, const char* object) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    g_dbus_connection_emit_signal(bus, nullptr, "/net/vantreo/DistributedNotification",
                                  "net.vantreo.DistributedNotification", "Post", g_variant_new("(ss)", name, object),
                                  nullptr);
    g_dbus_connection_flush_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
}

// Posts a marker and waits for it to come back: what reached the bus before it has been
// delivered to this program by then.
bool busDelivered() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    bool seen = false;
    const guint id = g_dbus_connection_signal_subscribe(
        bus, nullptr, "net.vantreo.DistributedNotification", "Post", "/net/vantreo/DistributedNotification",
        "test.marker", G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*, gpointer data) {
            *static_cast<bool*>(data) = true;
        },
        &seen, nullptr);
    // The subscription's match rule is in place once a round trip has come back.
    GVariant* pong = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                 "org.freedesktop.DBus.Peer", "Ping", nullptr, nullptr,
                                                 G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    if (pong) g_variant_unref(pong);
    post("test.marker", "");
    const bool arrived = testsupport::runLoopUntil([&] { return seen; });
    g_dbus_connection_signal_unsubscribe(bus, id);
    g_object_unref(bus);
    return arrived;
}

// Counts the pings on the bus: LaunchHelper pings only once its observers are in place.
class PingCounter {
public:
    PingCounter() {
        bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        id_ = g_dbus_connection_signal_subscribe(
            bus_, nullptr, "net.vantreo.DistributedNotification", "Post", "/net/vantreo/DistributedNotification",
            "WQLaunchAtLoginManager.ping", G_DBUS_SIGNAL_FLAGS_NONE,
            [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*, gpointer data) {
                ++*static_cast<int*>(data);
            },
            count_.get(), nullptr);
    }
    ~PingCounter() {
        g_dbus_connection_signal_unsubscribe(bus_, id_);
        g_object_unref(bus_);
    }
    int count() const { return *count_; }

private:
    GDBusConnection* bus_ = nullptr;
    guint id_ = 0;
    std::shared_ptr<int> count_ = std::make_shared<int>(0);
};

class LaunchHelperTest : public ::testing::Test {
protected:
    fs::path logs = fs::path(g_get_tmp_dir()) / "logs";

    void SetUp() override {
        ASSERT_TRUE(privateBus);
        fs::create_directories(logs);
        ASSERT_TRUE(fs::exists(mainProgram())) << "the main program is not built";
        ASSERT_TRUE(fs::exists(launchHelper())) << "LaunchHelper is not built";
    }
    // The tests leave no copy of the main program behind.
    void TearDown() override {
        for (int pid : mainProcesses()) kill(pid, SIGCONT), kill(pid, SIGTERM);
        EXPECT_TRUE(testsupport::runLoopUntil([] { return mainProcesses().empty(); }, 10));
        testsupport::runLoopUntil([] { return ownerProcess(kMainName) == 0; }, 5);
    }

    // Starts the main program by hand and waits until it answers pings (its launch-at-login
    // set-up has run).
    std::unique_ptr<Process> startMainProgram() {
        auto main = std::make_unique<Process>(mainProgram(), std::vector<std::string>{}, logs / "main.log");
        EXPECT_TRUE(main->waitForOutput("App Launched Automatically: false", 30)) << main->output();
        EXPECT_EQ(ownerProcess(kMainName), main->pid());
        return main;
    }
};

}  // namespace

TEST_F(LaunchHelperTest, ASecondStartOfTheMainProgramReachesTheFirst) {
    auto first = startMainProgram();
    Process second(mainProgram(), {}, logs / "second.log");
    ASSERT_TRUE(second.waitForExit(20));
    EXPECT_EQ(second.exitStatus(), 0);
    EXPECT_FALSE(first->exited());
    EXPECT_EQ(mainProcesses(), std::set<int>{first->pid()});
}

TEST_F(LaunchHelperTest, WithTheMainProgramNotRunningItStartsItAtLoginAndQuitsWhenTold) {
    Process helper(launchHelper(), {}, logs / "helper.log");
    ASSERT_TRUE(testsupport::runLoopUntil([] { return ownerProcess(kMainName) != 0; }, 30)) << helper.output();
    const int main = ownerProcess(kMainName);
    EXPECT_NE(commandLine(main).find(" -launchedAtLogin"), std::string::npos) << commandLine(main);
    EXPECT_NE(main, helper.pid());
    // The main program finds the helper running and tells it to quit.
    ASSERT_TRUE(helper.waitForExit(10));
    EXPECT_EQ(helper.exitStatus(), 0);
    const std::string log = helper.output();
    EXPECT_NE(log.find("Launching: " + mainProgram().string()), std::string::npos) << log;
    EXPECT_NE(log.find("Received kill signal from Main App"), std::string::npos) << log;
    EXPECT_EQ(log.find("Pong"), std::string::npos) << log;
    EXPECT_EQ(mainProcesses(), std::set<int>{main});
}

TEST_F(LaunchHelperTest, WithTheMainProgramRunningItPingsAndQuitsOnThePong) {
    auto main = startMainProgram();
    PingCounter pings;
    Process helper(launchHelper(), {}, logs / "helper.log");
    // The pong, not the 2-second timeout, ends it: it never launches anything.
    ASSERT_TRUE(helper.waitForExit(15)) << helper.output();
    EXPECT_EQ(helper.exitStatus(), 0);
    ASSERT_TRUE(busDelivered());  // its ping, sent before it ended, has come
    EXPECT_EQ(pings.count(), 1);
    EXPECT_TRUE(helper.printed("Pong: Main App is already awake -> Quit")) << helper.output();
    EXPECT_FALSE(helper.printed("Launching:"));
    EXPECT_EQ(mainProcesses(), std::set<int>{main->pid()});
}

// Anyone on the bus can post; only the main program's answers count. Each case ends the helper
// with a real answer sent after the forged one: the bus keeps one sender's posts in order, so the
// forged one was handled first, and the helper's log shows which answer ended it.
TEST_F(LaunchHelperTest, OnlyTheMainProgramCanTellItToQuit) {
    const struct {
        const char* what;
        const char* forged;       // posted with the impostor's object
        const char* forgedObject;
        const char* real;         // then the main program's own
        const char* endedBy;
        const char* neverSeen;
    } cases[] = {
        {"a terminate request from another program", "WQLaunchAtLoginManager.terminateHelperApp",
         "net.vantreo.mac.Impostor", "WQLaunchAtLoginManager.pong", "Pong: Main App is already awake -> Quit",
         "Received kill signal"},
        {"a pong with no sender named", "WQLaunchAtLoginManager.pong", "", "WQLaunchAtLoginManager.terminateHelperApp",
         "Received kill signal from Main App", "Pong:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto main = startMainProgram();
        kill(main->pid(), SIGSTOP);  // running, but not answering
        PingCounter pings;
        Process helper(launchHelper(), {}, logs / "helper.log");
        // Its ping says it listens; our posts must reach it before its 2-second wait for a pong ends.
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return pings.count() == 1; }, 10)) << helper.output();
        post(c.forged, c.forgedObject);
        post(c.real, kMainName);
        ASSERT_TRUE(helper.waitForExit(10)) << helper.output();
        EXPECT_EQ(helper.exitStatus(), 0);
        EXPECT_TRUE(helper.printed(c.endedBy)) << helper.output();
        EXPECT_FALSE(helper.printed(c.neverSeen)) << helper.output();
        EXPECT_FALSE(helper.printed("Launching:"));
        // The next case starts its own main program.
        kill(main->pid(), SIGCONT);
        kill(main->pid(), SIGTERM);
        ASSERT_TRUE(main->waitForExit(10));
        ASSERT_TRUE(testsupport::runLoopUntil([] { return ownerProcess(kMainName) == 0; }, 5));
    }
}

TEST_F(LaunchHelperTest, AMainProgramTooBusyToAnswerIsReachedByTheLaunchInsteadOfDoubled) {
    auto main = startMainProgram();
    kill(main->pid(), SIGSTOP);
    Process helper(launchHelper(), {}, logs / "helper.log");
    // Its start and its 2-second wait for a pong, on a machine however busy: a bound, not a pace.
    ASSERT_TRUE(helper.waitForOutput("Launching: " + mainProgram().string(), 30)) << helper.output();
    EXPECT_TRUE(helper.printed("Timeout waiting for Main App Pong -> Launch Main App"));
    kill(main->pid(), SIGCONT);
    // The new start hands over to the running one and ends; the late pong (or the 5-second
    // timeout) ends the helper.
    ASSERT_TRUE(helper.waitForExit(30)) << helper.output();
    EXPECT_EQ(helper.exitStatus(), 0);
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return mainProcesses() == std::set<int>{main->pid()}; }, 20));
    EXPECT_FALSE(main->exited());
    EXPECT_EQ(ownerProcess(kMainName), main->pid());
}

TEST_F(LaunchHelperTest, AFailedLaunchIsLoggedAndEndsTheHelper) {
    // A copy of the helper with no main program beside it.
    const fs::path lonely = fs::path(g_get_tmp_dir()) / "elsewhere" / "libexec" / "parlivo-for-whatsapp" / "LaunchHelper";
    fs::create_directories(lonely.parent_path());
    fs::copy_file(launchHelper(), lonely, fs::copy_options::overwrite_existing);
    Process helper(lonely, {}, logs / "lonely.log", {"LD_LIBRARY_PATH=" + (fs::path(PARLIVO_BIN_DIR) / ".." / "lib").string()});
    ASSERT_TRUE(helper.waitForExit(10)) << helper.output();
    EXPECT_EQ(helper.exitStatus(), 1);
    EXPECT_TRUE(helper.printed("Could not launch Main App:")) << helper.output();
    EXPECT_TRUE(mainProcesses().empty());
}
