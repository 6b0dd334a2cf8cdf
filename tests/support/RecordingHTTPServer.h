#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// A plain-HTTP server on 127.0.0.1 (a free port) for tests of downloads that also records what
// reached it (how many requests, the latest User-Agent): each path answers with a fixed status
// and body, or never answers (to run a client into its time-out). One connection at a time, on
// its own thread; stops when destroyed.
class RecordingHTTPServer {
public:
    struct Response {
        int status = 200;
        std::string body;
        bool hang = false;  // read the request, then keep the connection open without an answer
    };

    RecordingHTTPServer();
    ~RecordingHTTPServer();
    RecordingHTTPServer(const RecordingHTTPServer&) = delete;
    RecordingHTTPServer& operator=(const RecordingHTTPServer&) = delete;

    // Unknown paths answer 404.
    void route(const std::string& path, Response response);
    // "http://127.0.0.1:<port><path>".
    std::string url(const std::string& path) const;
    int requestCount() const { return requests_.load(); }
    // The User-Agent header of the latest request ("" when it had none).
    std::string lastUserAgent() const;

private:
    void serve();
    void answer(int connection);

    int listener_ = -1;
    int stopPipe_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<int> requests_{0};
    mutable std::mutex mutex_;
    std::map<std::string, Response> routes_;
    std::string lastUserAgent_;
    std::vector<int> hanging_;
    std::thread thread_;
};

}  // namespace testsupport
