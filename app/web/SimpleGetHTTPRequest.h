#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "system/Error.h"

namespace platform {
class URLSession;
struct URLResponse;
}  // namespace platform

namespace parlivo {

// One HTTP GET of a file download into memory. Start on the main thread; the completion runs
// exactly once, off the main thread, with the body (status 200 and complete) or an error
// (domain "SimpleGetHTTPRequest": -1 cancelled, -2 no connection, -4 status other than 200;
// transport errors as the URL-loading domain reports them). The running request keeps itself
// alive until it has completed.
//
// Only http and https are fetched (another scheme fails as the URL-loading domain's
// unsupportedURL, a text that is no URL as badURL). A body that ends before its Content-Length
// fails as a lost connection, and so does one larger than maximumBodySize(). A download may
// take as long as it needs while bytes keep arriving; stallTimeoutSeconds without a byte
// fails it as timed out.
class SimpleGetHTTPRequest : public std::enable_shared_from_this<SimpleGetHTTPRequest> {
public:
    static constexpr const char* errorDomain = "SimpleGetHTTPRequest";
    using Result = std::variant<platform::Error, std::vector<std::uint8_t>>;

    static constexpr long cancelledCode = -1;
    static constexpr long noConnectionCode = -2;
    static constexpr long badStatusCode = -4;
    static constexpr std::size_t defaultMaximumBodySize = std::size_t(512) << 20;
    static constexpr double stallTimeoutSeconds = 60.0;

    static std::shared_ptr<SimpleGetHTTPRequest> create(std::string url);
    virtual ~SimpleGetHTTPRequest();

    void setCompletionHandler(std::function<void(Result)> handler);
    void start();
    // Ends a request that has not finished with the error -1 "cancelled" and stops its
    // transfer. Any thread; the work is done on the main thread.
    void cancel();

    bool isExecuting() const;
    bool isFinished() const;
    const std::string& url() const;

    // Set before start.
    void setMaximumBodySize(std::size_t bytes) { maximumBodySize_ = bytes; }
    std::size_t maximumBodySize() const { return maximumBodySize_; }

    // The reason phrase of an HTTP status code, in lower case ("not found"), as the error text
    // of a status other than 200 names it.
    static std::string localizedStringForStatusCode(long statusCode);

protected:
    SimpleGetHTTPRequest() = default;

private:
    void cancelWithReason(platform::Error reason);
    void didFinishTransfer(std::optional<std::vector<std::uint8_t>> data,
                           std::optional<platform::URLResponse> response, std::optional<platform::Error> error);
    void terminate();

    std::string url_;
    std::function<void(Result)> completionHandler_;
    bool executing_ = false;
    bool finished_ = false;
    std::optional<platform::Error> error_;
    std::optional<std::vector<std::uint8_t>> responseData_;
    std::size_t maximumBodySize_ = defaultMaximumBodySize;
    // Held while the transfer runs, so a caller may drop its reference after start.
    std::shared_ptr<SimpleGetHTTPRequest> keepAlive_;
    std::shared_ptr<platform::URLSession> session_;
    // Made with the object and never replaced, so cancel() may read it from any thread.
    std::shared_ptr<std::atomic<bool>> cancellation_;
};

}  // namespace parlivo
