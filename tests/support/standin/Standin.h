#pragma once

// The end-to-end harness: the stand-in web client page (tests/fixtures/standin) served with its
// configuration by `parlivo-config serve` on a free loopback port over TLS, a program that
// hosts the page (the real one from the build tree, or the bare WebKitGTK host), and the road
// through which a test drives the page and reads what it recorded.
//
//   testsupport::StandinServer server;
//   auto program = testsupport::HostedProgram::parlivo(server);
//   ASSERT_TRUE(server.waitForEvent("didStartup"));
//   server.post("eventHandler", "toggleDoNotDisturb");
//   auto call = server.waitForCall("wqSetDoNotDisturb");
//   ASSERT_TRUE(call);
//   EXPECT_EQ(call->args()[0].asBool(), true);
//
// Every wait is bounded and ends as soon as what it waits for has come; nothing sleeps.

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ChildProcess.h"
#include "RunLoop.h"
#include "foundation/PropertyList.h"

namespace testsupport {

// Writes `text` as the whole of `path` (a harness's own files); false when it could not.
bool writeText(const std::filesystem::path& path, std::string_view text);

// The first of `records` from index `from` on that `matcher` accepts, waiting on `changed` (with
// `lock` held on the records' mutex) until one comes or the deadline for `timeoutSeconds` passes.
template <class Record, class Matcher>
std::optional<Record> waitForRecord(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
                                    const std::vector<Record>& records, const Matcher& matcher,
                                    double timeoutSeconds, size_t from) {
    std::optional<Record> found;
    size_t checked = from;
    changed.wait_until(lock, deadlineAfter(timeoutSeconds), [&] {
        for (; checked < records.size(); ++checked)
            if (matcher(records[checked])) {
                found = records[checked];
                return true;
            }
        return false;
    });
    return found;
}

// One thing the stand-in page recorded (standin.js): "ready" when a page has loaded (with the
// host's declarations the configuration's scripts saw), "call" for each page function the host
// called (name and arguments), "posted" for each message it posted, "evaluated" or "error" for a
// command, "patched" with the text a wqPatchJS answer carried, "frame" from the sub-frame, and
// the measurements "flood" and "roundTrips".
struct PageRecord {
    size_t index = 0;  // position among everything recorded on this server
    int64_t seq = 0;   // the page's own count, from 1 at each page load
    std::string type;
    std::string name;  // "call": the page function, e.g. "wqSetZoom" or "wqAlertCenter.callback"
    platform::PropertyList value;  // the whole record
    std::string json;

    const platform::PropertyList& args() const { return value["args"]; }
    const platform::PropertyList& operator[](std::string_view key) const { return value[key]; }
};

using RecordMatcher = std::function<bool(const PageRecord&)>;

class StandinServer {
public:
    struct Options {
        // The configuration: the build's stand-in payload, or, with `values`, the stand-in
        // manifest with these values put in (packed for this server).
        std::map<std::string, platform::PropertyList> values;
        // With `values`: the configuration folder whose manifest is packed (default: the
        // stand-in's; the default configuration's, tools/config/default, to run its page scripts).
        std::filesystem::path configDirectory;
        std::filesystem::path payload;
        std::vector<std::string> answers;  // parlivo-config serve --answers
        std::filesystem::path pageDirectory;  // default: the stand-in page
    };

    StandinServer();
    explicit StandinServer(Options options);
    ~StandinServer();
    StandinServer(const StandinServer&) = delete;
    StandinServer& operator=(const StandinServer&) = delete;

    // False (with the reason in error()) when the server could not start.
    bool ok() const { return port_ > 0; }
    const std::string& error() const { return error_; }
    int port() const { return port_; }
    std::string origin() const;                           // https://127.0.0.1:PORT
    std::string pageURL(std::string_view query = {}) const;  // the stand-in page, at "/"

    // --- commands to the page that is loaded (wait for its "ready" first after a load) ---
    // Posts `body` on the message handler `handler`; the page records "posted" (or "error").
    int64_t post(std::string_view handler, const platform::PropertyList& body);
    // Evaluates `script` in the page; the page records "evaluated" with its value (or "error").
    int64_t eval(std::string_view script);
    // The page's record of a command, once it has run it.
    std::optional<PageRecord> waitForCommand(int64_t command, double timeoutSeconds = 20);

    // --- what the page recorded ---
    std::vector<PageRecord> records() const;
    // How many records have come so far: a starting point for waits on what follows.
    size_t mark() const;
    std::optional<PageRecord> waitFor(const RecordMatcher& matcher, double timeoutSeconds = 30, size_t from = 0);
    std::optional<PageRecord> waitForCall(std::string_view name, double timeoutSeconds = 30, size_t from = 0);
    // The page's post of a start-up event ("didInit", "willStartup", "didStartup").
    std::optional<PageRecord> waitForEvent(std::string_view event, double timeoutSeconds = 60, size_t from = 0);
    std::optional<PageRecord> waitForReady(double timeoutSeconds = 60, size_t from = 0);
    // Calls of `name` (every call when empty), in order, from record `from` on.
    std::vector<PageRecord> calls(std::string_view name = {}, size_t from = 0) const;

    // Configuration requests the server has answered.
    int configurationRequests() const;
    // The server's log (one line per request).
    std::string log() const;

private:
    void onLine(std::string_view line, bool error);

    Options options_;
    std::filesystem::path workDirectory_;
    std::unique_ptr<ChildProcess> process_;
    int port_ = 0;
    std::string error_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<PageRecord> records_;
    std::vector<std::string> log_;
    int configurationRequests_ = 0;
    std::mutex sendMutex_;  // commands are numbered in the order the server reads them
    int64_t commandsSent_ = 0;
};

// A program that hosts the stand-in page, in its own process group, stopped (with every helper
// process it started) when this object goes.
class HostedProgram {
public:
    struct Options {
        std::vector<std::string> arguments;
        std::map<std::string, std::string> environment;
        // Entries put into the program's Info.plist over the ones parlivo() writes (for example
        // "ParlivoConfigurationHost" naming another server).
        std::map<std::string, platform::PropertyList> info;
    };

    // The real program from the build tree, configured from `server`: a private copy of its
    // resource folder whose Info.plist names the server (PARLIVO_RESOURCE_DIR). Arguments
    // default to "-de" (debug lines on standard output).
    static std::unique_ptr<HostedProgram> parlivo(const StandinServer& server, Options options = {{"-de"}, {}, {}});
    // The bare WebKitGTK host (tests/support/standin/host) on the stand-in page: it registers
    // the handlers named with --handler, injects --start-script/--end-script files, answers
    // "didInit" with wqInit.didFinishNativeInit() when given --answer-init, prints
    // "message NAME JSON" for each message and evaluates each line of its standard input
    // ("result N JSON" / "error N TEXT").
    // `page`: a path on the server with its query, e.g. "index.html?startup=manual".
    static std::unique_ptr<HostedProgram> host(const StandinServer& server, Options options = {},
                                               std::string_view page = "index.html");
    // Any program; `argv[0]` a path.
    static std::unique_ptr<HostedProgram> launch(std::vector<std::string> argv, Options options = {});

    ~HostedProgram();

    ChildProcess& process() { return *process_; }
    pid_t pid() const { return process_->pid(); }
    bool waitForOutput(std::string_view text, double timeoutSeconds = 30) { return process_->waitForLine(text, timeoutSeconds); }
    std::string output() const { return process_->output(); }
    // Ends it (SIGTERM, then SIGKILL to its group); its exit status.
    int stop(double graceSeconds = 10) { return process_->stop(graceSeconds); }

private:
    HostedProgram() = default;
    std::unique_ptr<ChildProcess> process_;
    std::filesystem::path resourceDirectory_;
};

// A fresh folder under TMPDIR, removed by its owner.
std::filesystem::path makeTemporaryDirectory(std::string_view prefix);

// The folders of one run of the program: its own settings, website data, caches and desktop
// defaults (XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME), so runs see nothing of each other.
// Removed when it goes.
class ProgramHome {
public:
    ProgramHome();
    ~ProgramHome();
    ProgramHome(const ProgramHome&) = delete;
    ProgramHome& operator=(const ProgramHome&) = delete;

    const std::filesystem::path& root() const { return root_; }
    // The XDG variables, to go into HostedProgram::Options::environment.
    std::map<std::string, std::string> environment() const;
    // `options` with the XDG variables added.
    HostedProgram::Options options(HostedProgram::Options options = {{"-de"}, {}, {}}) const;

    // The program's settings file (an XML property list) and what it holds now.
    std::filesystem::path settingsFile() const;
    void writeSettings(const platform::PropertyList& dictionary) const;
    platform::PropertyList settings() const;
    // The program writes its settings a moment after they change (changes are gathered): waits
    // until the file holds `value` under `key`; what it holds at the end.
    platform::PropertyList waitForSetting(const std::string& key, const platform::PropertyList& value,
                                          double timeoutSeconds = 30) const;
    // The folder of the user's own content (the wallpaper "wallpaper.jpg").
    std::filesystem::path userContentDirectory() const;
    // Where the program's website data lives.
    std::filesystem::path websiteDataDirectory() const;

    // Makes a recorder the desktop's default handler of these URL schemes: every URL the program
    // hands to the desktop (a browser, the mail program) becomes one entry of openedURLs().
    void recordOpenedURLs(const std::vector<std::string>& schemes = {"http", "https", "mailto"}) const;
    std::vector<std::string> openedURLs() const;
    // Waits until `count` URLs have been handed over; all of them.
    std::vector<std::string> waitForOpenedURLs(size_t count, double timeoutSeconds = 30) const;

private:
    std::filesystem::path root_;
};

// Every process below `root`, `root` first (the program and WebKit's web and network processes).
std::vector<pid_t> processTree(pid_t root);
// The command name of a process (/proc/PID/comm), empty when it is gone.
std::string processName(pid_t pid);

}  // namespace testsupport
