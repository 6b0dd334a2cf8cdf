#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Error.h"
#include "foundation/WorkQueue.h"

namespace platform {

// Header values must not hold CR, LF or NUL, and method and header names must be tokens: a task
// that breaks this fails (badURL) without sending anything.
struct URLRequest {
    std::string url;
    std::string method = "GET";
    std::vector<std::pair<std::string, std::string>> headers;
    std::vector<uint8_t> body;
    // The limit for the whole transfer (and for connecting); 0 sets none (connecting then has
    // libcurl's own limit), for downloads of any length that use stallTimeoutSeconds instead.
    double timeoutSeconds = 60.0;
    // When above 0: fails as timed out once no byte has arrived for this long.
    double stallTimeoutSeconds = 0;
    // A larger answer fails as a lost connection rather than filling memory.
    size_t maximumBodySize = size_t(256) << 20;
    // Set to true from any thread to stop the transfer; it then fails as cancelled.
    std::shared_ptr<const std::atomic<bool>> cancellation;
    // Reads a file: URL (and nothing else) instead of talking HTTP(S): for payloads installed
    // with the program. Off by default, so no URL from outside can read local files.
    bool fileURL = false;
};

struct URLResponse {
    long statusCode = 0;
    std::string url;  // the final URL, after redirects
};

// Data tasks over libcurl. Transfers run side by side on a few threads of the session's own (so
// a long download does not hold up a short request behind it); completions run one at a time on
// the session's serial queue, in the order the transfers end. Certificates are always checked against the system's store plus an optional
// extra certificate-authority file (the development build's own loopback CA).
class URLSession {
public:
    struct Configuration {
        std::string extraCAFile;  // PEM; empty for the system store only
        std::string label = "URLSession";
    };

    // A transport failure gives an error in URLErrorDomain and no data or response. Any HTTP
    // answer, whatever its status, gives data (possibly empty) and the response.
    using Completion = std::function<void(std::optional<std::vector<uint8_t>> data,
                                          std::optional<URLResponse> response, std::optional<Error> error)>;

    explicit URLSession(Configuration configuration);
    ~URLSession();
    URLSession(const URLSession&) = delete;
    URLSession& operator=(const URLSession&) = delete;

    // The process-wide session; its extra CA comes from the main bundle's configuration.
    static URLSession& shared();

    // Starts the task at once; the completion runs on this session's queue. Destroying the
    // session waits for the transfers under way and runs their completions.
    void dataTask(URLRequest request, Completion completion);

    // The serial queue completions run on.
    WorkQueue& delegateQueue() { return *queue_; }
    const Configuration& configuration() const { return configuration_; }

    // For the end of the process: every transfer under way stops (failing as cancelled), later
    // tasks fail at once, and the call waits up to `seconds` for the transfers to wind down; true
    // when none is left. Exit handlers may then tear down libcurl and OpenSSL safely.
    static bool endAllTransfers(double seconds);

    // Maps a libcurl result (and the socket's errno) to the URL-loading error it stands for.
    static Error errorForCurlCode(int curlCode, long osErrno, const std::string& detail);
    // Why a request cannot be sent as it is (a method or header name that is not a token, a
    // header value holding a line break); none when it can. Such a task fails with badURL.
    static std::optional<std::string> requestProblem(const URLRequest& request);

private:
    void perform(const URLRequest& request, const Completion& completion);

    Configuration configuration_;
    std::unique_ptr<WorkQueue> queue_;
    // After the completion queue, so that it goes first: its transfers end and post their
    // completions before that queue drains.
    std::unique_ptr<WorkQueue> transfers_;
};

}  // namespace platform
