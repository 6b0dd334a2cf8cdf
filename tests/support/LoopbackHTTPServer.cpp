#include "LoopbackHTTPServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

LoopbackHTTPServer::LoopbackHTTPServer(std::map<std::string, Reply> replies) : replies_(std::move(replies)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    ::listen(listener_, 8);
    thread_ = std::thread([this] { serve(); });
}

LoopbackHTTPServer::~LoopbackHTTPServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);  // ends the accept
    thread_.join();
    ::close(listener_);
}

std::string LoopbackHTTPServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string LoopbackHTTPServer::response(const std::string& status, const std::string& body,
                                         const std::string& extraHeaders) {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extraHeaders +
           "Connection: close\r\n\r\n" + body;
}

void LoopbackHTTPServer::serve() {
    while (!stopping_) {
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = ::read(client, buffer, sizeof buffer);
            if (n <= 0) break;
            request.append(buffer, size_t(n));
        }
        const size_t start = request.find(' ') + 1;
        const std::string path = request.substr(start, request.find(' ', start) - start);
        const auto found = replies_.find(path);
        const Reply reply = found != replies_.end() ? found->second : Reply{"HTTP/1.1 404 Not Found\r\n\r\n"};
        (void)::write(client, reply.bytes.data(), reply.bytes.size());
        ++repliesSent_;
        if (reply.stall) {
            pollfd watch{client, POLLIN, 0};
            while (!stopping_) {
                if (::poll(&watch, 1, 100) > 0 && ::read(client, buffer, sizeof buffer) <= 0) {
                    ++clientsGone_;
                    break;
                }
            }
        }
        ::close(client);
    }
}

}  // namespace testsupport
