#include "ClosedPort.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace testsupport {

ClosedPort::ClosedPort() {
    // A dual-stack socket on the IPv6 wildcard holds the port for both families.
    socket_ = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket_ >= 0) {
        int no = 0;
        setsockopt(socket_, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof no);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_any;
        socklen_t length = sizeof address;
        if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin6_port);
            return;
        }
        ::close(socket_);
    }
    // A machine without IPv6: the IPv4 wildcard.
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t length = sizeof address;
    if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("no free loopback port to hold closed");
    port_ = ntohs(address.sin_port);
}

ClosedPort::~ClosedPort() {
    if (socket_ >= 0) ::close(socket_);
}

}  // namespace testsupport
