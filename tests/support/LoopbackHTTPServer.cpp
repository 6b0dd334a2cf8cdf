#include "LoopbackHTTPServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace testsupport {

namespace {

void writeAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;  // the client went away
        sent += std::size_t(n);
    }
}

std::string lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

LoopbackHTTPServer::LoopbackHTTPServer(std::map<std::string, Reply> replies) : replies_(std::move(replies)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 || ::pipe2(stopPipe_, O_CLOEXEC) != 0)
        throw std::runtime_error("loopback server: cannot listen");
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

LoopbackHTTPServer::~LoopbackHTTPServer() {
    const char stop = 1;
    (void)::write(stopPipe_[1], &stop, 1);
    thread_.join();
    for (int fd : stalled_) ::close(fd);
    ::close(listener_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

void LoopbackHTTPServer::route(const std::string& path, Reply reply) {
    std::lock_guard lock(mutex_);
    replies_[path] = std::move(reply);
}

std::string LoopbackHTTPServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string LoopbackHTTPServer::lastUserAgent() const {
    std::lock_guard lock(mutex_);
    return lastUserAgent_;
}

std::string LoopbackHTTPServer::response(const std::string& status, const std::string& body,
                                         const std::string& extraHeaders) {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extraHeaders +
           "Connection: close\r\n\r\n" + body;
}

void LoopbackHTTPServer::serve() {
    while (true) {
        std::vector<pollfd> fds{{stopPipe_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        for (int fd : stalled_) fds.push_back({fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) continue;
        if (fds[0].revents) return;
        // A stalled connection that becomes readable is one the client closed (or one it sends
        // more on, which a stalled reply ignores).
        char buffer[4096];
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents || ::recv(fds[i].fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) continue;
            ::close(fds[i].fd);
            stalled_.erase(std::find(stalled_.begin(), stalled_.end(), fds[i].fd));
            ++clientsGone_;
        }
        if (!(fds[1].revents & POLLIN)) continue;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) answer(connection);
    }
}

void LoopbackHTTPServer::answer(int connection) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        pollfd fd{connection, POLLIN, 0};
        if (::poll(&fd, 1, 5000) <= 0) break;
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, std::size_t(n));
    }
    ++requests_;
    // "GET /path HTTP/1.1"
    const auto firstSpace = request.find(' ');
    const auto secondSpace = request.find(' ', firstSpace + 1);
    const std::string path = firstSpace == std::string::npos || secondSpace == std::string::npos
                                 ? std::string()
                                 : request.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    std::string userAgent;
    if (const auto at = lower(request).find("\r\nuser-agent:"); at != std::string::npos) {
        const auto start = std::min(request.find_first_not_of(' ', at + 13), request.size());
        userAgent = request.substr(start, request.find("\r\n", start) - start);
    }

    Reply reply{response("404 Not Found", "not found")};
    {
        std::lock_guard lock(mutex_);
        lastUserAgent_ = userAgent;
        if (auto it = replies_.find(path); it != replies_.end()) {
            reply = it->second;
            if (it->second.resets > 0) --it->second.resets;
        }
    }
    if (reply.resets > 0) {
        // Closing with a zero linger time sends a reset instead of the orderly end.
        const linger abort{1, 0};
        ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        ::close(connection);
        return;
    }
    writeAll(connection, reply.bytes);
    ++repliesSent_;
    if (reply.stall) {
        stalled_.push_back(connection);
        return;
    }
    ::shutdown(connection, SHUT_WR);
    ::close(connection);
}

}  // namespace testsupport
