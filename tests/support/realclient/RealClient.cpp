#include "RealClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "Json.h"
#include "RunLoop.h"
#include "Standin.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {

using platform::PropertyList;

// A port nobody listens on now. Prosody binds fixed ports from its configuration, so the port is
// let go before Prosody takes it; a rare loser of that race is seen in Prosody's log (below).
int freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

// A Lua string literal.
std::string lua(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

fs::path converseDirectory() { return fs::path(PARLIVO_TEST_PEER_DIR) / "converse.js-14.0.0"; }

StandinServer::Options defaultConfigurationFor(const std::string& pageURL) {
    StandinServer::Options options;
    options.configDirectory = fs::path(PARLIVO_SOURCE_DIR) / "tools" / "config" / "default";
    options.values = {{"PageURL", pageURL}, {"BaseURL", pageURL}};
    return options;
}

// --- ChatServer ---------------------------------------------------------------------------

ChatServer::ChatServer(std::vector<std::string> accounts) : accounts_(std::move(accounts)) {
    folder_ = makeTemporaryDirectory("chat-server");
    if (!fs::is_regular_file(converseDirectory() / "converse.min.js")) {
        error_ = "the web client is not in " + converseDirectory().string() + " (scripts/fetch-test-peers fetches it)";
        return;
    }
    // The page's folder: our wrapper page beside the client's files.
    std::error_code status;
    fs::create_directories(folder_ / "www", status);
    fs::create_symlink(fs::path(PARLIVO_FIXTURES_DIR) / "realclient" / "index.html", folder_ / "www" / "index.html", status);
    fs::create_directory_symlink(converseDirectory(), folder_ / "www" / "dist", status);
    std::string groups = "[Contacts]\n";
    for (const auto& name : accounts_) groups += jid(name) + "=" + name + "\n";
    writeText(folder_ / "groups.txt", groups);
    // Another suite may take a port between our look and Prosody's bind: a few tries.
    for (int attempt = 0; attempt < 3 && !ok(); ++attempt) {
        error_.clear();
        if (!start(&error_)) process_.reset();
    }
}

bool ChatServer::start(std::string* error) {
    clientPort_ = 0;
    const int client = freePort(), http = freePort();
    if (!client || !http || client == http) {
        *error = "no free ports";
        return false;
    }
    const fs::path data = folder_ / "data";
    fs::create_directories(data);
    const fs::path config = folder_ / "prosody.cfg.lua";
    writeText(config,
              "-- Written by the real-client test harness: everything on loopback, in this folder.\n"
              "data_path = " + lua(data.string()) + "\n"
              "certificates = " + lua(data.string()) + "\n"
              "pidfile = " + lua((folder_ / "prosody.pid").string()) + "\n"
              // CI runs as root; the server needs no privilege and stays in the test's folder.
              "run_as_root = true\n"
              "log = { { levels = { min = \"info\" }, to = \"console\" } }\n"
              "modules_enabled = { \"roster\", \"saslauth\", \"disco\", \"ping\", \"carbons\", \"groups\",\n"
              "                    \"websocket\", \"http_files\" }\n"
              "modules_disabled = { \"s2s\", \"tls\" }\n"
              "interfaces = { \"127.0.0.1\" }\n"
              "c2s_ports = { " + std::to_string(client) + " }\n"
              "c2s_direct_tls_ports = { }\n"
              "s2s_ports = { }\n"
              "http_ports = { " + std::to_string(http) + " }\n"
              "http_interfaces = { \"127.0.0.1\" }\n"
              "https_ports = { }\n"
              "http_default_host = " + lua(kDomain) + "\n"
              "http_paths = { files = \"/\" }\n"
              "http_files_dir = " + lua((folder_ / "www").string()) + "\n"
              "http_index_files = { \"index.html\" }\n"
              "c2s_require_encryption = false\n"
              "consider_websocket_secure = true\n"
              // Hashed storage keeps one salt per account, so the client's saved SCRAM keys sign
              // it in again after a restart (plain storage salts anew at each login).
              "authentication = \"internal_hashed\"\n"
              "storage = \"internal\"\n"
              "groups_file = " + lua((folder_ / "groups.txt").string()) + "\n"
              "VirtualHost " + lua(kDomain) + "\n");
    for (const auto& name : accounts_) {
        ChildProcess add({{"/usr/bin/prosodyctl", "--config", config.string(), "register", name, kDomain, kPassword}, {}, {}, {}});
        if (!add.waitForExit(60 * timeScale()) || add.exitStatus() != 0) {
            *error = "prosodyctl register " + name + " failed: " + add.output();
            return false;
        }
    }
    process_ = std::make_unique<ChildProcess>(
        ChildProcess::Options{{"/usr/bin/prosody", "--config", config.string(), "-F"}, {}, folder_.string(), {}});
    if (!process_->started()) {
        *error = "prosody did not start: " + process_->startError();
        return false;
    }
    const auto deadline = deadlineAfter(60);
    for (;;) {
        const std::string output = process_->output();
        if (output.find("Failed to open server port") != std::string::npos || !process_->running()) {
            *error = "prosody did not start:\n" + output;
            process_->stop(5);
            return false;
        }
        if (output.find("Activated service 'c2s'") != std::string::npos &&
            output.find("Serving 'websocket'") != std::string::npos)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            *error = "prosody did not come up in time:\n" + output;
            return false;
        }
        process_->waitForLineAfter(process_->lines().size(), "", 1);
    }
    clientPort_ = client;
    httpPort_ = http;
    return true;
}

ChatServer::~ChatServer() {
    if (process_) process_->stop(5);
    std::error_code ignored;
    if (!folder_.empty()) fs::remove_all(folder_, ignored);
}

std::string ChatServer::pageURL(int observerPort, std::string_view query) const {
    std::string url = "http://127.0.0.1:" + std::to_string(httpPort_) + "/", separator = "?";
    if (observerPort > 0) {
        url += "?observer=" + std::to_string(observerPort);
        separator = "&";
    }
    if (!query.empty()) url += separator + std::string(query);
    return url;
}

// --- Peers --------------------------------------------------------------------------------

Peers::Peers(const ChatServer& server, std::vector<std::string> contacts) {
    // Debian's own Python, which has Debian's slixmpp (another python may come first on PATH).
    std::vector<std::string> argv{"/usr/bin/python3", PARLIVO_SOURCE_DIR "/tests/support/realclient/peers.py",
                                  "--port", std::to_string(server.clientPort()), "--domain", ChatServer::kDomain};
    for (const auto& name : contacts) argv.insert(argv.end(), {"--contact", name + ":" + ChatServer::kPassword});
    process_ = std::make_unique<ChildProcess>(ChildProcess::Options{
        argv, {{"PYTHONUNBUFFERED", "1"}}, {}, [this](std::string_view line, bool error) { onLine(line, error); }});
    auto ready = waitFor([](const PeerRecord& record) {
        return record.source == "peers" && (record.type == "ready" || record.type == "error");
    }, 60);
    if (ready && ready->type == "ready")
        observerPort_ = int(ready->value["observer"].asInt().value_or(0));
    else
        error_ = "the contacts did not come online: " + process_->output();
}

Peers::~Peers() {
    if (process_) process_->stop(5);
}

void Peers::onLine(std::string_view line, bool error) {
    if (error) return;  // its standard error stays in output() for failure messages
    PeerRecord record;
    record.json = std::string(line);
    if (auto value = parseJSON(line)) {
        record.value = std::move(*value);
        record.source = record.value["source"].stringOr();
        record.type = record.value["type"].stringOr();
        record.time = record.value["t"].asReal().value_or(0);
    } else {
        record.source = "peers";
        record.type = "unreadable";
    }
    std::lock_guard lock(mutex_);
    record.index = records_.size();
    records_.push_back(std::move(record));
    changed_.notify_all();
}

void Peers::send(std::string_view contact, std::string_view body, std::string_view to) {
    PropertyList command = PropertyList::dictionary();
    command.set("send", std::string(contact));
    command.set("to", std::string(to));
    command.set("body", std::string(body));
    process_->writeLine(toJSON(command));
}

size_t Peers::mark() const {
    std::lock_guard lock(mutex_);
    return records_.size();
}

std::vector<PeerRecord> Peers::records(size_t from) const {
    std::lock_guard lock(mutex_);
    return {records_.begin() + std::ptrdiff_t(std::min(from, records_.size())), records_.end()};
}

std::optional<PeerRecord> Peers::waitFor(const std::function<bool(const PeerRecord&)>& matcher, double timeoutSeconds,
                                         size_t from) {
    std::unique_lock lock(mutex_);
    return waitForRecord(lock, changed_, records_, matcher, timeoutSeconds, from);
}

std::optional<PeerRecord> Peers::waitForPage(std::string_view type, std::string_view key, std::string_view value,
                                             double timeoutSeconds, size_t from) {
    return waitFor(
        [&](const PeerRecord& record) {
            return record.source == "page" && record.type == type && (key.empty() || record.text(key) == value);
        },
        timeoutSeconds, from);
}

std::optional<PeerRecord> Peers::waitForReceived(std::string_view contact, double timeoutSeconds, size_t from) {
    return waitFor(
        [&](const PeerRecord& record) {
            return record.source == "contact" && record.type == "received" && record.text("contact") == contact;
        },
        timeoutSeconds, from);
}

std::vector<std::string> Peers::received(std::string_view contact, size_t from) const {
    std::vector<std::string> texts;
    for (const auto& record : records(from))
        if (record.source == "contact" && record.type == "received" && record.text("contact") == contact)
            texts.push_back(record.text("body"));
    return texts;
}

std::string Peers::openChat() const {
    std::string jid;
    for (const auto& record : records())
        if (record.source == "page" && record.type == "open-chat") jid = record.text("jid");
    return jid;
}

std::string Peers::describe(size_t from) const {
    std::string text;
    for (const auto& record : records(from)) text += record.json + "\n";
    return text;
}

}  // namespace testsupport
