#include "web/SimpleGetHTTPRequest.h"

// Placeholder until downloads are built: every request fails as "no connection".
namespace parlivo {

namespace {
struct Placeholder : SimpleGetHTTPRequest {
    std::string url;
    std::function<void(Result)> handler;
    bool finished = false;
};
Placeholder& self(SimpleGetHTTPRequest* request) { return *static_cast<Placeholder*>(request); }
const Placeholder& self(const SimpleGetHTTPRequest* request) { return *static_cast<const Placeholder*>(request); }
}  // namespace

std::shared_ptr<SimpleGetHTTPRequest> SimpleGetHTTPRequest::create(std::string url) {
    auto request = std::make_shared<Placeholder>();
    request->url = std::move(url);
    return request;
}

void SimpleGetHTTPRequest::setCompletionHandler(std::function<void(Result)> handler) {
    self(this).handler = std::move(handler);
}

void SimpleGetHTTPRequest::start() {
    auto& request = self(this);
    if (request.finished) return;
    request.finished = true;
    if (auto handler = std::move(request.handler))
        handler(platform::Error{errorDomain, -2, "Couldn't create NSURLConnection"});
}

void SimpleGetHTTPRequest::cancel() {}
bool SimpleGetHTTPRequest::isExecuting() const { return false; }
bool SimpleGetHTTPRequest::isFinished() const { return self(this).finished; }
const std::string& SimpleGetHTTPRequest::url() const { return self(this).url; }

}  // namespace parlivo
