#pragma once

#include <string>

namespace testsupport {

// A loopback port that refuses every connection at once: bound by this test for as long as the
// object lives, on every address (IPv4 and IPv6, so "localhost" refuses too), and never listened
// on. No other program can take it meanwhile, unlike a free port noted and let go, which another
// test may be listening on by the time a connection is tried.
class ClosedPort {
public:
    ClosedPort();
    ~ClosedPort();
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:PORT"
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int socket_ = -1;
    int port_ = 0;
};

}  // namespace testsupport
