#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// A plain HTTP server on 127.0.0.1 (a free port), on a thread of its own, that answers each path
// with fixed bytes (unknown paths get a 404) and records what reached it. A reply may keep the
// connection open afterwards ("stall") until the client hangs up: with bytes, a body that stops
// half way; without, a request that is never answered. Either shows that a client gives up by
// itself. Stalled connections are watched while the next ones are served. A reply may also reset
// the connection (TCP RST, nothing written) for its first `resets` requests, as a server under
// load does. Stops when destroyed.
class LoopbackHTTPServer {
public:
    struct Reply {
        std::string bytes;
        bool stall = false;
        int resets = 0;
    };

    explicit LoopbackHTTPServer(std::map<std::string, Reply> replies = {});
    ~LoopbackHTTPServer();
    LoopbackHTTPServer(const LoopbackHTTPServer&) = delete;
    LoopbackHTTPServer& operator=(const LoopbackHTTPServer&) = delete;

    // Adds or replaces the reply for `path`; safe while the server runs.
    void route(const std::string& path, Reply reply);

    int port() const { return port_; }
    // "http://127.0.0.1:<port><path>".
    std::string url(const std::string& path) const;
    // How many requests arrived, how many replies have been written, and how many stalled
    // connections the client closed.
    int requestCount() const { return requests_; }
    int repliesSent() const { return repliesSent_; }
    int clientsGone() const { return clientsGone_; }
    // The User-Agent header of the latest request ("" when it had none).
    std::string lastUserAgent() const;

    // "HTTP/1.1 <status>" with a Content-Length for `body`, `extraHeaders` (each ending in CRLF)
    // and "Connection: close".
    static std::string response(const std::string& status, const std::string& body,
                                const std::string& extraHeaders = "");

private:
    void serve();
    void answer(int connection);

    int listener_ = -1;
    int stopPipe_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<int> requests_{0};
    std::atomic<int> repliesSent_{0};
    std::atomic<int> clientsGone_{0};
    mutable std::mutex mutex_;
    std::map<std::string, Reply> replies_;
    std::string lastUserAgent_;
    std::vector<int> stalled_;  // the serving thread's own
    std::thread thread_;
};

}  // namespace testsupport
