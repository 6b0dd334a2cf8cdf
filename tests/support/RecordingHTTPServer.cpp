#include "RecordingHTTPServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <stdexcept>

namespace testsupport {

namespace {

std::string reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

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

RecordingHTTPServer::RecordingHTTPServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 || ::pipe(stopPipe_) != 0)
        throw std::runtime_error("loopback server: cannot listen");
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

RecordingHTTPServer::~RecordingHTTPServer() {
    const char stop = 1;
    (void)::write(stopPipe_[1], &stop, 1);
    thread_.join();
    for (int fd : hanging_) ::close(fd);
    ::close(listener_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

void RecordingHTTPServer::route(const std::string& path, Response response) {
    std::lock_guard lock(mutex_);
    routes_[path] = std::move(response);
}

std::string RecordingHTTPServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string RecordingHTTPServer::lastUserAgent() const {
    std::lock_guard lock(mutex_);
    return lastUserAgent_;
}

void RecordingHTTPServer::serve() {
    while (true) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) answer(connection);
    }
}

void RecordingHTTPServer::answer(int connection) {
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
    const std::string lowered = lower(request);
    if (const auto at = lowered.find("\r\nuser-agent:"); at != std::string::npos) {
        const auto start = request.find_first_not_of(' ', at + 13);
        userAgent = request.substr(start, request.find("\r\n", start) - start);
    }

    Response response{404, "not found", false};
    {
        std::lock_guard lock(mutex_);
        lastUserAgent_ = userAgent;
        if (auto it = routes_.find(path); it != routes_.end()) response = it->second;
    }
    if (response.hang) {
        hanging_.push_back(connection);
        return;
    }
    writeAll(connection, "HTTP/1.1 " + std::to_string(response.status) + " " + reason(response.status) +
                             "\r\nContent-Length: " + std::to_string(response.body.size()) +
                             "\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n" +
                             response.body);
    ::shutdown(connection, SHUT_WR);
    ::close(connection);
}

}  // namespace testsupport
