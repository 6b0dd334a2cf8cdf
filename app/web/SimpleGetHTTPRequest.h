#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "system/Error.h"

namespace parlivo {

// One HTTP GET of a file download into memory. Start on the main thread; the completion runs
// exactly once, off the main thread, with the body (status 200 and complete) or an error
// (domain "SimpleGetHTTPRequest": -1 cancelled, -2 no connection, -4 status other than 200;
// transport errors as the URL-loading domain reports them). The running request keeps itself
// alive until it has completed.
class SimpleGetHTTPRequest : public std::enable_shared_from_this<SimpleGetHTTPRequest> {
public:
    static constexpr const char* errorDomain = "SimpleGetHTTPRequest";
    using Result = std::variant<platform::Error, std::vector<std::uint8_t>>;

    static std::shared_ptr<SimpleGetHTTPRequest> create(std::string url);
    virtual ~SimpleGetHTTPRequest() = default;

    void setCompletionHandler(std::function<void(Result)> handler);
    void start();
    void cancel();

    bool isExecuting() const;
    bool isFinished() const;
    const std::string& url() const;

protected:
    SimpleGetHTTPRequest() = default;
};

}  // namespace parlivo
