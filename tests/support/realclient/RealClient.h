#pragma once

// The real-client harness: a real open-source web chat client (Converse.js, fetched pinned by
// scripts/fetch-test-peers) on a real chat server (Prosody from Debian, on loopback ports of its
// own with its data in the test's folder), scripted contacts on the same server, and the
// configuration that points the program at the client: the default configuration with only its
// page address changed.
//
//   testsupport::ChatServer chat({"me", "ann", "bob"});
//   testsupport::Peers peers(chat, {"ann", "bob"});
//   testsupport::StandinServer configuration(
//       testsupport::defaultConfigurationFor(chat.pageURL(peers.observerPort())));
//   auto program = testsupport::HostedProgram::parlivo(configuration, home.options());
//   ASSERT_TRUE(peers.waitForPage("login-form"));
//
// The page's observer (tests/fixtures/realclient/index.html) and the contacts report on one
// stream (Peers), in the order things happened. Every wait is bounded; nothing sleeps.

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ChildProcess.h"
#include "Standin.h"
#include "foundation/PropertyList.h"

namespace testsupport {

// The client's files (Converse's dist/ folder) in the test-peer cache.
std::filesystem::path converseDirectory();

// The configuration server's options for the default configuration (tools/config/default) with
// only its page address (PageURL and BaseURL) changed to `pageURL`.
StandinServer::Options defaultConfigurationFor(const std::string& pageURL);

// Prosody on 127.0.0.1 with a configuration of our own: the virtual host "localhost", one
// account per name (password "secret"), everyone in one shared roster group (so each is the
// others' contact), client connections on a free port, and on a free HTTP port the client's page
// at "/" (the wrapper page and Converse's files) and the WebSocket at "/xmpp-websocket". No TLS,
// no server-to-server, nothing outside the test's folder. Stopped (with its process group) when
// it goes.
class ChatServer {
public:
    static constexpr const char* kDomain = "localhost";
    static constexpr const char* kPassword = "secret";

    explicit ChatServer(std::vector<std::string> accounts);
    ~ChatServer();
    ChatServer(const ChatServer&) = delete;
    ChatServer& operator=(const ChatServer&) = delete;

    bool ok() const { return process_ && clientPort_ > 0; }
    const std::string& error() const { return error_; }
    int clientPort() const { return clientPort_; }
    int httpPort() const { return httpPort_; }
    static std::string jid(std::string_view name) { return std::string(name) + "@" + kDomain; }
    // The client's page; with an observer port, the page reports to it. `query` is added to the
    // page's query ("notification_delay=5000").
    std::string pageURL(int observerPort = 0, std::string_view query = {}) const;
    std::string log() const { return process_ ? process_->output() : std::string(); }

private:
    bool start(std::string* error);

    std::vector<std::string> accounts_;
    std::filesystem::path folder_;
    std::unique_ptr<ChildProcess> process_;
    int clientPort_ = 0, httpPort_ = 0;
    std::string error_;
};

// One line of the peers' stream (tests/support/realclient/peers.py).
struct PeerRecord {
    size_t index = 0;
    std::string source;  // "contact", "page" or "peers"
    std::string type;    // contact: "sent", "received"; page: the report's type
    double time = 0;     // CLOCK_MONOTONIC seconds, when the peers' process wrote it
    platform::PropertyList value;
    std::string json;

    std::string text(std::string_view key) const { return value[key].stringOr(); }
};

// The scripted contacts and the page's observer, in one process of their own.
class Peers {
public:
    Peers(const ChatServer& server, std::vector<std::string> contacts);
    ~Peers();
    Peers(const Peers&) = delete;
    Peers& operator=(const Peers&) = delete;

    bool ok() const { return observerPort_ > 0; }
    const std::string& error() const { return error_; }
    int observerPort() const { return observerPort_; }

    // `contact` writes `body` to the user.
    void send(std::string_view contact, std::string_view body, std::string_view to = "me@localhost");

    size_t mark() const;
    std::vector<PeerRecord> records(size_t from = 0) const;
    std::optional<PeerRecord> waitFor(const std::function<bool(const PeerRecord&)>& matcher,
                                      double timeoutSeconds = 30, size_t from = 0);
    // The page's report of `type` (and, when given, `key` holding `value`).
    std::optional<PeerRecord> waitForPage(std::string_view type, std::string_view key = {},
                                          std::string_view value = {}, double timeoutSeconds = 30, size_t from = 0);
    // The first message `contact` received from record `from` on.
    std::optional<PeerRecord> waitForReceived(std::string_view contact, double timeoutSeconds = 30, size_t from = 0);
    // The texts `contact` received from record `from` on, in order.
    std::vector<std::string> received(std::string_view contact, size_t from = 0) const;
    // The jid of the chat the page showed last ("" for none, or when it has not said yet).
    std::string openChat() const;
    std::string describe(size_t from = 0) const;

private:
    void onLine(std::string_view line, bool error);

    std::unique_ptr<ChildProcess> process_;
    int observerPort_ = 0;
    std::string error_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<PeerRecord> records_;
};

}  // namespace testsupport
