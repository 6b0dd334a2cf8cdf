#include "ConfigServer.h"

// CPPHTTPLIB_OPENSSL_SUPPORT comes from the library's pkg-config flags, so the declarations
// match the shared library's build.
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "PageChannel.h"
#include "foundation/ProcessInfo.h"
#include "PayloadWriter.h"

namespace parlivo::config {

std::optional<Answer> Answer::parse(const std::string& word) {
    Answer answer;
    if (word == "payload") return answer;
    if (word == "empty") return Answer{Answer::Kind::empty, {}, 0};
    if (word == "wrong-key") return Answer{Answer::Kind::wrongKey, {}, 0};
    if (word == "drop") return Answer{Answer::Kind::drop, {}, 0};
    if (word.rfind("text:", 0) == 0) return Answer{Answer::Kind::text, word.substr(5), 0};
    if (word.rfind("slow:", 0) == 0) {
        char* end = nullptr;
        const double seconds = std::strtod(word.c_str() + 5, &end);
        if (end == word.c_str() + 5 || *end != '\0' || !(seconds >= 0 && seconds <= 600)) return std::nullopt;
        return Answer{Answer::Kind::slow, {}, seconds};
    }
    return std::nullopt;
}

ConfigServer::ConfigServer(Options options) : options_(std::move(options)) {
    wrongKeyPayload_ = resealWithWrongKey(options_.payload).value_or(std::vector<uint8_t>{0xff});
}

ConfigServer::~ConfigServer() = default;

Answer ConfigServer::answerFor(int requestIndex) const {
    if (options_.answers.empty()) return Answer{};
    return options_.answers[std::min<size_t>(size_t(requestIndex), options_.answers.size() - 1)];
}

std::optional<int> ConfigServer::bind(std::string* error) {
    server_ = std::make_unique<httplib::SSLServer>(options_.certificate.c_str(), options_.privateKey.c_str());
    if (!server_->is_valid()) {
        if (error) *error = "cannot load the certificate or key";
        return std::nullopt;
    }
    // The library's default is SO_REUSEPORT, which lets a second server (a stale one, another
    // run's) share the port and take a share of the requests. Only SO_REUSEADDR: quick restarts
    // still bind, a port in use is refused.
    server_->set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Idle keep-alive connections hold up stop(); a short wait keeps SIGTERM prompt.
    server_->set_keep_alive_timeout(1);
    // A client on a busy machine (a web process just started, loading its TLS back-end) may take
    // longer than the library's 5 s between connecting and its first handshake bytes: the server
    // would close the connection under it ("Connection terminated unexpectedly"). The same time
    // scale as the tests' own deadlines.
    const auto patience = std::chrono::duration<double>(5 * platform::ProcessInfo::testTimeScale());
    server_->set_read_timeout(std::chrono::duration_cast<std::chrono::microseconds>(patience));
    server_->set_write_timeout(std::chrono::duration_cast<std::chrono::microseconds>(patience));
    server_->set_logger([](const httplib::Request& request, const httplib::Response& response) {
        std::fprintf(stderr, "%s %s -> %d (%zu bytes)\n", request.method.c_str(), request.path.c_str(),
                     response.status, response.body.size());
    });
    server_->Post(R"(/ParlivoForWhatsApp/([^/]+)/Data/GetDynamicData(Alternate)?\.php)",
                  [this](const httplib::Request& request, httplib::Response& response) {
                      const int index = requests_.fetch_add(1);
                      if (request.matches[1] != options_.version) {
                          response.status = 404;
                          response.set_content("No configuration for this version", "text/plain");
                          return;
                      }
                      const bool alternate = request.matches[2].matched;
                      const auto& payload =
                          alternate && options_.alternatePayload ? *options_.alternatePayload : options_.payload;
                      const Answer answer = answerFor(index);
                      switch (answer.kind) {
                      case Answer::Kind::slow:
                          std::this_thread::sleep_for(std::chrono::duration<double>(answer.seconds));
                          [[fallthrough]];
                      case Answer::Kind::payload:
                          response.set_content(reinterpret_cast<const char*>(payload.data()), payload.size(),
                                               "application/octet-stream");
                          break;
                      case Answer::Kind::text:
                          response.set_content(answer.text, "text/html");
                          break;
                      case Answer::Kind::empty:
                          response.set_content("", "text/plain");
                          break;
                      case Answer::Kind::wrongKey:
                          response.set_content(reinterpret_cast<const char*>(wrongKeyPayload_.data()),
                                               wrongKeyPayload_.size(), "application/octet-stream");
                          break;
                      case Answer::Kind::drop:
                          // The headers promise a body that never comes: the connection closes.
                          response.set_content_provider(
                              payload.size() + 1, "application/octet-stream",
                              [](size_t, size_t, httplib::DataSink&) { return false; });
                          break;
                      }
                  });
    if (options_.pageChannel) {
        // Every page that polls holds a thread while it waits; a reloaded page's last poll
        // lingers until its wait ends.
        server_->new_task_queue = [] { return new httplib::ThreadPool(32); };
        options_.pageChannel->attach(*server_);
    }
    if (!options_.staticDirectory.empty() && !server_->set_mount_point("/", options_.staticDirectory.string())) {
        if (error) *error = "cannot serve the folder " + options_.staticDirectory.string();
        return std::nullopt;
    }
    int port = options_.port;
    if (port == 0) {
        port = server_->bind_to_any_port(options_.host);
        if (port < 0) {
            if (error) *error = "cannot bind to " + options_.host;
            return std::nullopt;
        }
    } else if (!server_->bind_to_port(options_.host, port)) {
        if (error) *error = "cannot bind to " + options_.host + ":" + std::to_string(port);
        return std::nullopt;
    }
    const std::string origin = "https://" + options_.host + ":" + std::to_string(port);
    if (auto rebased = rebaseOrigin(options_.payload, selfOrigin, origin)) options_.payload = std::move(*rebased);
    if (options_.alternatePayload)
        if (auto rebased = rebaseOrigin(*options_.alternatePayload, selfOrigin, origin))
            options_.alternatePayload = std::move(*rebased);
    wrongKeyPayload_ = resealWithWrongKey(options_.payload).value_or(std::vector<uint8_t>{0xff});
    return port;
}

void ConfigServer::run() {
    if (server_) server_->listen_after_bind();
}

void ConfigServer::stop() {
    // Waiting polls would hold up the server's threads, and with them stop().
    if (options_.pageChannel) options_.pageChannel->close();
    if (server_) server_->stop();
}

}  // namespace parlivo::config
