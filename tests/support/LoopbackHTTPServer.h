#pragma once

#include <atomic>
#include <map>
#include <string>
#include <thread>

namespace testsupport {

// A plain HTTP server on 127.0.0.1 (a free port) that answers each path with fixed bytes, one
// connection at a time; unknown paths get a 404. A reply may keep the connection open
// afterwards ("stall") until the client hangs up, to show that a client gives up by itself.
class LoopbackHTTPServer {
public:
    struct Reply {
        std::string bytes;
        bool stall = false;
    };

    explicit LoopbackHTTPServer(std::map<std::string, Reply> replies);
    ~LoopbackHTTPServer();
    LoopbackHTTPServer(const LoopbackHTTPServer&) = delete;
    LoopbackHTTPServer& operator=(const LoopbackHTTPServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path) const;
    // How many replies have been written, and how many stalled connections the client closed.
    int repliesSent() const { return repliesSent_; }
    int clientsGone() const { return clientsGone_; }

    // "HTTP/1.1 <status>" with a Content-Length for `body`, `extraHeaders` (each ending in CRLF)
    // and "Connection: close".
    static std::string response(const std::string& status, const std::string& body,
                                const std::string& extraHeaders = "");

private:
    void serve();

    std::map<std::string, Reply> replies_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> repliesSent_{0};
    std::atomic<int> clientsGone_{0};
    std::thread thread_;
};

}  // namespace testsupport
