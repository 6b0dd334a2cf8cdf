#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace httplib {
class SSLServer;
}

namespace parlivo::config {

class PageChannel;

// What the server answers to one configuration request.
struct Answer {
    enum class Kind { payload, text, empty, wrongKey, slow, drop };
    Kind kind = Kind::payload;
    std::string text;        // text: the body
    double seconds = 0;      // slow: the delay before the payload

    // "payload", "text:BODY", "empty", "wrong-key", "slow:SECONDS", "drop"; none when unknown.
    static std::optional<Answer> parse(const std::string& word);
};

// The configuration server on loopback over HTTPS. It answers the configuration requests
// (POST /ParlivoForWhatsApp/<version>/Data/GetDynamicData[Alternate].php) for the payload's
// version, and serves static files from a folder. A payload text whose origin is `selfOrigin`
// (https://127.0.0.1:0) is served with the server's own origin in its place, so a configuration
// can name a page this same server serves on whatever port it got.
class ConfigServer {
public:
    struct Options {
        std::vector<uint8_t> payload;
        std::optional<std::vector<uint8_t>> alternatePayload;  // for the "Alternate" path
        std::string version;  // the version the server answers for
        // Request n (from 0) gets answers[min(n, last)]; empty means the payload every time.
        std::vector<Answer> answers;
        std::filesystem::path staticDirectory;
        // The test road to the stand-in page (/__standin/...), when set.
        std::shared_ptr<PageChannel> pageChannel;
        std::filesystem::path certificate, privateKey;
        std::string host = "127.0.0.1";
        int port = 0;  // 0: any free port
    };

    explicit ConfigServer(Options options);
    ~ConfigServer();

    // Binds the socket; the port it listens on, or none (with `error`). The payloads are
    // rebased onto that port here.
    std::optional<int> bind(std::string* error);
    // Serves until stop(); call after bind().
    void run();
    // Safe from any thread.
    void stop();

    int requestCount() const { return requests_.load(); }

private:
    Answer answerFor(int requestIndex) const;

    Options options_;
    std::vector<uint8_t> wrongKeyPayload_;
    std::unique_ptr<httplib::SSLServer> server_;
    std::atomic<int> requests_{0};
};

}  // namespace parlivo::config
