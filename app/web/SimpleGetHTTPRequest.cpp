#include "web/SimpleGetHTTPRequest.h"

#include <glib.h>

#include <utility>

#include "foundation/MainQueue.h"
#include "foundation/WorkQueue.h"
#include "system/URLSession.h"

namespace parlivo {

namespace {

// The URL-loading error for a text that is not an http or https URL, or none.
std::optional<platform::Error> unsupportedURLError(const std::string& url) {
    GError* error = nullptr;
    GUri* uri = g_uri_parse(url.c_str(), G_URI_FLAGS_NONE, &error);
    if (!uri) {
        std::string message = error ? error->message : "bad URL";
        g_clear_error(&error);
        return platform::Error{platform::URLErrorDomain, platform::URLErrorCode::badURL, message};
    }
    const std::string scheme = g_uri_get_scheme(uri);  // always lower case
    const char* host = g_uri_get_host(uri);
    const bool hasHost = host && *host;
    g_uri_unref(uri);
    if (scheme != "http" && scheme != "https")
        return platform::Error{platform::URLErrorDomain, platform::URLErrorCode::unsupportedURL, "unsupported URL"};
    if (!hasHost) return platform::Error{platform::URLErrorDomain, platform::URLErrorCode::badURL, "bad URL"};
    return std::nullopt;
}

}  // namespace

std::shared_ptr<SimpleGetHTTPRequest> SimpleGetHTTPRequest::create(std::string url) {
    std::shared_ptr<SimpleGetHTTPRequest> request(new SimpleGetHTTPRequest());
    request->url_ = std::move(url);
    request->cancellation_ = std::make_shared<std::atomic<bool>>(false);
    return request;
}

SimpleGetHTTPRequest::~SimpleGetHTTPRequest() = default;

void SimpleGetHTTPRequest::setCompletionHandler(std::function<void(Result)> handler) {
    completionHandler_ = std::move(handler);
}

bool SimpleGetHTTPRequest::isExecuting() const { return executing_; }
bool SimpleGetHTTPRequest::isFinished() const { return finished_; }
const std::string& SimpleGetHTTPRequest::url() const { return url_; }

void SimpleGetHTTPRequest::start() {
    if (!platform::MainQueue::isMainThread()) {
        platform::MainQueue::async([self = shared_from_this()] { self->start(); });
        return;
    }
    if (executing_ || finished_) return;
    executing_ = true;
    if (auto refused = unsupportedURLError(url_)) {
        error_ = std::move(refused);
        terminate();
        return;
    }

    // A session of its own: a long download must not hold up the shared session's queue
    // (the configuration download runs there). Same trust as the shared one.
    platform::URLSession::Configuration configuration{platform::URLSession::shared().configuration().extraCAFile,
                                                      "SimpleGetHTTPRequest"};
    session_ = std::make_shared<platform::URLSession>(std::move(configuration));
    keepAlive_ = shared_from_this();

    platform::URLRequest request;
    request.url = url_;
    request.timeoutSeconds = 0;
    request.stallTimeoutSeconds = stallTimeoutSeconds;
    request.maximumBodySize = maximumBodySize_;
    request.cancellation = cancellation_;
    // The transfer's thread only hands the outcome over: every field is touched on the main
    // thread, and the request is never released on the session's own thread.
    std::weak_ptr<SimpleGetHTTPRequest> weak = weak_from_this();
    session_->dataTask(std::move(request), [weak](std::optional<std::vector<std::uint8_t>> data,
                                                  std::optional<platform::URLResponse> response,
                                                  std::optional<platform::Error> error) {
        auto outcome = std::make_shared<std::tuple<decltype(data), decltype(response), decltype(error)>>(
            std::move(data), std::move(response), std::move(error));
        platform::MainQueue::async([weak, outcome] {
            if (auto self = weak.lock())
                self->didFinishTransfer(std::move(std::get<0>(*outcome)), std::move(std::get<1>(*outcome)),
                                        std::move(std::get<2>(*outcome)));
        });
    });
}

void SimpleGetHTTPRequest::didFinishTransfer(std::optional<std::vector<std::uint8_t>> data,
                                             std::optional<platform::URLResponse> response,
                                             std::optional<platform::Error> error) {
    if (finished_) return;  // cancelled meanwhile: the late outcome is dropped
    if (error) {
        error_ = std::move(error);
    } else if (!response) {
        error_ = platform::Error{errorDomain, noConnectionCode, "Couldn't create NSURLConnection"};
    } else if (response->statusCode != 200) {
        const long status = response->statusCode;
        error_ = platform::Error{errorDomain, badStatusCode,
                                 "connection failed with response " + std::to_string(status) + " (" +
                                     localizedStringForStatusCode(status) + ")"};
    } else {
        responseData_ = data ? std::move(data) : std::vector<std::uint8_t>();
    }
    terminate();
}

void SimpleGetHTTPRequest::cancel() {
    cancelWithReason(platform::Error{errorDomain, cancelledCode, "cancelled"});
}

void SimpleGetHTTPRequest::cancelWithReason(platform::Error reason) {
    // The transfer stops at once, whatever thread asks; the rest is main-thread work.
    cancellation_->store(true);
    platform::MainQueue::async([self = shared_from_this(), reason = std::move(reason)]() mutable {
        if (self->finished_) return;
        self->error_ = std::move(reason);
        self->terminate();
    });
}

void SimpleGetHTTPRequest::terminate() {
    if (finished_) return;
    auto handler = std::exchange(completionHandler_, nullptr);
    std::optional<Result> result;
    if (error_)
        result = Result(*error_);
    else if (responseData_)
        result = Result(std::move(*responseData_));
    else  // ended without an outcome: no byte of a response arrived
        result = Result(platform::Error{errorDomain, noConnectionCode, "Couldn't create NSURLConnection"});
    responseData_.reset();
    executing_ = false;
    finished_ = true;

    // The completion runs on a worker; the session is released there too, after its transfer
    // has stopped (its destructor waits for its thread, which the main thread never does).
    auto session = std::exchange(session_, nullptr);
    auto shared = std::make_shared<Result>(std::move(*result));
    if (handler || session) {
        platform::WorkQueue::global().async([handler = std::move(handler), shared, session]() mutable {
            if (handler) handler(std::move(*shared));
            session.reset();
        });
    }
    keepAlive_.reset();  // may release this object: nothing after this line touches it
}

std::string SimpleGetHTTPRequest::localizedStringForStatusCode(long statusCode) {
    switch (statusCode) {
    case 100: return "continue";
    case 101: return "switching protocols";
    case 200: return "no error";
    case 201: return "created";
    case 202: return "accepted";
    case 203: return "non-authoritative information";
    case 204: return "no content";
    case 205: return "reset content";
    case 206: return "partial content";
    case 300: return "multiple choices";
    case 301: return "moved permanently";
    case 302: return "found";
    case 303: return "see other";
    case 304: return "not modified";
    case 305: return "needs proxy";
    case 307: return "temporarily redirected";
    case 308: return "permanently redirected";
    case 400: return "bad request";
    case 401: return "unauthorized";
    case 402: return "payment required";
    case 403: return "forbidden";
    case 404: return "not found";
    case 405: return "method not allowed";
    case 406: return "unacceptable";
    case 407: return "proxy authentication required";
    case 408: return "request timed out";
    case 409: return "conflict";
    case 410: return "no longer exists";
    case 411: return "length required";
    case 412: return "precondition failed";
    case 413: return "request too large";
    case 414: return "requested URL too long";
    case 415: return "unsupported media type";
    case 416: return "requested range not satisfiable";
    case 417: return "expectation failed";
    case 429: return "too many requests";
    case 500: return "internal server error";
    case 501: return "unimplemented";
    case 502: return "bad gateway";
    case 503: return "service unavailable";
    case 504: return "gateway timed out";
    case 505: return "unsupported version";
    default: break;
    }
    if (statusCode >= 100 && statusCode < 200) return "informational";
    if (statusCode >= 200 && statusCode < 300) return "success";
    if (statusCode >= 300 && statusCode < 400) return "redirected";
    if (statusCode >= 400 && statusCode < 500) return "client error";
    if (statusCode >= 500 && statusCode < 600) return "server error";
    return "unknown";
}

}  // namespace parlivo
