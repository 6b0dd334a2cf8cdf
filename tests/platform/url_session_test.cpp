// The HTTP client on its own: against a plain HTTP server in this process and against the
// configuration server (parlivo-config serve, real TLS on loopback).
#include "system/URLSession.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>

#include "ClosedPort.h"
#include "LoopbackHTTPServer.h"
#include "ServeProcess.h"
#include "URLTask.h"

namespace URLErrorCode = platform::URLErrorCode;
using platform::URLRequest;
using platform::URLSession;
using testsupport::runTask;

namespace {

URLRequest get(std::string url, double timeout = 10) {
    URLRequest request;
    request.url = std::move(url);
    request.timeoutSeconds = timeout;
    return request;
}

// A plain HTTP server on loopback, on a thread of its own, that records what it was sent.
class PlainServer {
public:
    PlainServer() {
        server_.Get("/hello", [](const httplib::Request&, httplib::Response& res) { res.set_content("hello", "text/plain"); });
        server_.Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(10000, 'x'), "application/octet-stream");
        });
        server_.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("not here", "text/plain");
        });
        server_.Get("/to-plain-http", [this](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("http://127.0.0.1:" + std::to_string(port_) + "/hello");
        });
        server_.Get("/to-https", [this](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(httpsTarget_);
        });
        server_.Post("/echo", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(mutex_);
            lastHeaders_ = req.headers;
            res.set_content(req.body, "application/octet-stream");
        });
        server_.set_logger([this](const httplib::Request&, const httplib::Response&) { ++requests_; });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::yield();
    }
    ~PlainServer() {
        server_.stop();
        thread_.join();
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    void redirectToHttps(std::string target) { httpsTarget_ = std::move(target); }
    int requests() const { return requests_; }
    httplib::Headers lastHeaders() {
        std::lock_guard lock(mutex_);
        return lastHeaders_;
    }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::string httpsTarget_;
    std::atomic<int> requests_{0};
    std::mutex mutex_;
    httplib::Headers lastHeaders_;
};

URLSession& trustingSession() {
    static URLSession* session = new URLSession({PARLIVO_BUILD_DIR "/config-tls/ca.pem", "test.trusting"});
    return *session;
}

}  // namespace

TEST(URLSessionTest, AnyHTTPAnswerIsABodyAndTheRequestCarriesNoHeaderOfItsOwn) {
    PlainServer server;
    auto hello = runTask(trustingSession(), get(server.url("/hello")));
    ASSERT_FALSE(hello.error) << hello.error->description();
    EXPECT_EQ(hello.text(), "hello");
    EXPECT_EQ(hello.response->statusCode, 200);

    auto missing = runTask(trustingSession(), get(server.url("/missing")));
    ASSERT_FALSE(missing.error);
    EXPECT_EQ(missing.response->statusCode, 404);
    EXPECT_EQ(missing.text(), "not here");

    URLRequest post = get(server.url("/echo"));
    post.method = "POST";
    const std::string json = R"({"receipt-data":""})";
    post.body.assign(json.begin(), json.end());
    auto echoed = runTask(trustingSession(), post);
    ASSERT_FALSE(echoed.error);
    EXPECT_EQ(echoed.text(), json);
    const auto headers = server.lastHeaders();
    EXPECT_EQ(headers.count("Content-Type"), 0u) << "no form type the caller did not ask for";
    EXPECT_EQ(headers.count("Expect"), 0u);
}

// Redirects are followed only to https: a plain-http hop would undo the certificate check.
TEST(URLSessionTest, RedirectsAreFollowedOnlyToHttps) {
    ServeProcess serve({"--payload", PARLIVO_BUILD_DIR "/config/default.payload"});
    ASSERT_GT(serve.port(), 0);
    PlainServer server;
    const std::string https = "https://" + serve.host() + "/anything";
    server.redirectToHttps(https);

    auto toHttps = runTask(trustingSession(), get(server.url("/to-https")));
    ASSERT_FALSE(toHttps.error) << toHttps.error->description();
    EXPECT_EQ(toHttps.response->url, https);
    EXPECT_EQ(toHttps.response->statusCode, 404) << "the configuration server's answer to another path";

    auto toHttp = runTask(trustingSession(), get(server.url("/to-plain-http")));
    ASSERT_TRUE(toHttp.error);
    EXPECT_EQ(toHttp.error->code, URLErrorCode::unsupportedURL);
    EXPECT_FALSE(toHttp.data);
}

TEST(URLSessionTest, AnAnswerAboveTheSizeCapIsALostConnection) {
    PlainServer server;
    URLRequest exact = get(server.url("/big"));
    exact.maximumBodySize = 10000;
    auto fits = runTask(trustingSession(), exact);
    ASSERT_FALSE(fits.error);
    EXPECT_EQ(fits.data->size(), 10000u);

    URLRequest small = get(server.url("/big"));
    small.maximumBodySize = 9999;
    auto cut = runTask(trustingSession(), small);
    ASSERT_TRUE(cut.error);
    EXPECT_EQ(cut.error->code, URLErrorCode::networkConnectionLost);
    EXPECT_FALSE(cut.data) << "no partial body";
}

// A line break in a header would start a header of the sender's choosing: nothing is sent.
TEST(URLSessionTest, RequestsThatWouldSmuggleHeadersAreRefusedUnsent) {
    PlainServer server;
    const struct {
        const char* what;
        std::string method, name, value;
    } cases[] = {
        {"CR LF in a value", "GET", "X-Note", "a\r\nInjected: yes"},
        {"LF alone", "GET", "X-Note", "a\nInjected: yes"},
        {"NUL", "GET", "X-Note", std::string("a\0b", 3)},
        {"a name with a space", "GET", "X Note", "a"},
        {"a name with a colon", "GET", "X-Note:", "a"},
        {"a method with a line break", "GET\r\nX-Injected: yes", "X-Note", "a"},
    };
    for (const auto& c : cases) {
        URLRequest request = get(server.url("/hello"));
        request.method = c.method;
        request.headers = {{c.name, c.value}};
        auto refused = runTask(trustingSession(), request);
        ASSERT_TRUE(refused.error) << c.what;
        EXPECT_EQ(refused.error->code, URLErrorCode::badURL) << c.what;
    }
    EXPECT_EQ(server.requests(), 0);
    URLRequest fine = get(server.url("/hello"));
    fine.headers = {{"X-Note", "a: b; c=\"d\""}};
    EXPECT_FALSE(runTask(trustingSession(), fine).error);
}

// Transport failures become the platform's URL-loading errors, by which the connection-error
// screen words its text.
TEST(URLSessionTest, TransportFailuresMapToTheirURLErrors) {
    // The server answers the configuration path of version "x" as told.
    ServeProcess slow({"--payload", PARLIVO_BUILD_DIR "/config/default.payload", "--version", "x", "--answers", "slow:5"});
    ServeProcess drop({"--payload", PARLIVO_BUILD_DIR "/config/default.payload", "--version", "x", "--answers", "drop"});
    ASSERT_GT(slow.port(), 0);
    ASSERT_GT(drop.port(), 0);
    URLSession untrusting({"", "test.untrusting"});
    auto configuration = [](const ServeProcess& serve) {
        URLRequest request = get("https://" + serve.host() + "/ParlivoForWhatsApp/" + "x/Data/GetDynamicData.php", 10);
        request.method = "POST";
        return request;
    };
    const testsupport::ClosedPort closed;
    URLRequest timedOut = configuration(slow);
    timedOut.timeoutSeconds = 0.5;

    const struct {
        const char* what;
        URLSession& session;
        URLRequest request;
        long code;
    } cases[] = {
        {"time-out", trustingSession(), timedOut, URLErrorCode::timedOut},
        {"connection cut after the headers", trustingSession(), configuration(drop), URLErrorCode::networkConnectionLost},
        {"nobody listening", trustingSession(), get("http://" + closed.host() + "/"),
         URLErrorCode::cannotConnectToHost},
        {"untrusted certificate", untrusting, configuration(drop), URLErrorCode::secureConnectionFailed},
        {"malformed URL", trustingSession(), get("http://[::1/"), URLErrorCode::badURL},
        {"another scheme", trustingSession(), get("ftp://127.0.0.1/file"), URLErrorCode::unsupportedURL},
        {"a file", trustingSession(), get("file:///etc/hostname"), URLErrorCode::unsupportedURL},
    };
    for (const auto& c : cases) {
        auto outcome = runTask(c.session, c.request);
        ASSERT_TRUE(outcome.error) << c.what;
        EXPECT_EQ(outcome.error->domain, platform::URLErrorDomain) << c.what;
        EXPECT_EQ(outcome.error->code, c.code) << c.what << ": " << outcome.error->description();
        EXPECT_FALSE(outcome.data) << c.what;
    }
}

// A connection reset before any answer came back is tried once more, on a new connection, when
// sending the request again cannot do anything twice; a POST the server has read is not.
TEST(URLSessionTest, AResetBeforeTheAnswerIsTriedOnceMoreOnlyWhereThatIsSafe) {
    using testsupport::LoopbackHTTPServer;
    const struct {
        const char* what;
        const char* method;
        int resets;
        bool answered;
        int requests;
    } cases[] = {
        {"GET, reset once", "GET", 1, true, 2},
        {"GET, reset twice", "GET", 2, false, 2},
        {"POST, reset after the server read it", "POST", 1, false, 1},
    };
    for (const auto& c : cases) {
        LoopbackHTTPServer server({{"/file", {LoopbackHTTPServer::response("200 OK", "ok"), false, c.resets}}});
        URLRequest request = get(server.url("/file"));
        request.method = c.method;
        auto outcome = runTask(trustingSession(), request);
        EXPECT_EQ(server.requestCount(), c.requests) << c.what;
        if (c.answered) {
            ASSERT_TRUE(outcome.data) << c.what << ": " << (outcome.error ? outcome.error->description() : "");
            EXPECT_EQ(std::string(outcome.data->begin(), outcome.data->end()), "ok") << c.what;
        } else {
            ASSERT_TRUE(outcome.error) << c.what;
            EXPECT_EQ(outcome.error->code, URLErrorCode::networkConnectionLost) << c.what << ": " << outcome.error->description();
        }
    }
}

// The failures a loopback server cannot stage, straight through the mapping.
TEST(URLSessionTest, TheRestOfTheCurlResultsMapToo) {
    const struct {
        CURLcode result;
        long osErrno;
        long code;
    } cases[] = {
        {CURLE_COULDNT_RESOLVE_HOST, 0, URLErrorCode::cannotFindHost},
        {CURLE_COULDNT_CONNECT, ENETUNREACH, URLErrorCode::notConnectedToInternet},
        {CURLE_COULDNT_CONNECT, ENETDOWN, URLErrorCode::notConnectedToInternet},
        {CURLE_COULDNT_CONNECT, ECONNREFUSED, URLErrorCode::cannotConnectToHost},
        {CURLE_GOT_NOTHING, 0, URLErrorCode::networkConnectionLost},
        {CURLE_RECV_ERROR, 0, URLErrorCode::networkConnectionLost},
        {CURLE_SEND_ERROR, 0, URLErrorCode::networkConnectionLost},
        {CURLE_PARTIAL_FILE, 0, URLErrorCode::networkConnectionLost},
        {CURLE_WRITE_ERROR, 0, URLErrorCode::networkConnectionLost},
        {CURLE_PEER_FAILED_VERIFICATION, 0, URLErrorCode::secureConnectionFailed},
        {CURLE_SSL_CONNECT_ERROR, 0, URLErrorCode::secureConnectionFailed},
        {CURLE_SSL_CACERT_BADFILE, 0, URLErrorCode::secureConnectionFailed},
        {CURLE_OPERATION_TIMEDOUT, 0, URLErrorCode::timedOut},
        {CURLE_URL_MALFORMAT, 0, URLErrorCode::badURL},
        {CURLE_UNSUPPORTED_PROTOCOL, 0, URLErrorCode::unsupportedURL},
        {CURLE_TOO_MANY_REDIRECTS, 0, URLErrorCode::unknown},
        {CURLE_OUT_OF_MEMORY, 0, URLErrorCode::unknown},
    };
    for (const auto& c : cases) {
        const auto error = URLSession::errorForCurlCode(c.result, c.osErrno, "");
        EXPECT_EQ(error.code, c.code) << curl_easy_strerror(c.result);
        EXPECT_FALSE(error.message.empty()) << "the message falls back to libcurl's own";
    }
    EXPECT_EQ(URLSession::errorForCurlCode(CURLE_RECV_ERROR, 0, "detail").message, "detail");
}
