#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "ClosedPort.h"
#include "LoopbackHTTPServer.h"
#include "RunLoop.h"
#include "foundation/MainQueue.h"
#include "web/SimpleGetHTTPRequest.h"

using namespace parlivo;

namespace {

using TinyServer = testsupport::LoopbackHTTPServer;

std::string response(const std::string& status, const std::string& body, const std::string& extraHeaders = "") {
    return TinyServer::response(status, body, extraHeaders);
}

// What a completion saw: every call, and whether it ran on the main thread.
struct Outcome {
    std::mutex mutex;
    int calls = 0;
    bool onMainThread = false;
    std::optional<SimpleGetHTTPRequest::Result> result;

    std::function<void(SimpleGetHTTPRequest::Result)> handler() {
        return [this](SimpleGetHTTPRequest::Result value) {
            std::lock_guard lock(mutex);
            ++calls;
            onMainThread = onMainThread || platform::MainQueue::isMainThread();
            result = std::move(value);
        };
    }
    int count() {
        std::lock_guard lock(mutex);
        return calls;
    }
    bool waitForCall() {
        return testsupport::runLoopUntil([this] { return count() > 0; }, 20);
    }
    std::optional<platform::Error> error() {
        std::lock_guard lock(mutex);
        if (!result || result->index() != 0) return std::nullopt;
        return std::get<platform::Error>(*result);
    }
    std::optional<std::string> body() {
        std::lock_guard lock(mutex);
        if (!result || result->index() != 1) return std::nullopt;
        const auto& bytes = std::get<1>(*result);
        return std::string(bytes.begin(), bytes.end());
    }
};

// Runs the main loop until everything posted to it so far has run.
void drainMainQueue() {
    bool reached = false;
    platform::MainQueue::async([&] { reached = true; });
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return reached; }));
}

}  // namespace

TEST(SimpleGetHTTPRequestTest, DeliversACompleteOkBodyOnceOffTheMainThread) {
    TinyServer server({{"/file.zip", {response("200 OK", "zip bytes")}},
                       {"/chunked", {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                                     "4\r\nzip \r\n5\r\nbytes\r\n0\r\n\r\n"}}});
    for (const std::string path : {"/file.zip", "/chunked"}) {
        SCOPED_TRACE(path);
        Outcome outcome;
        {
            auto request = SimpleGetHTTPRequest::create(server.url(path));
            request->setCompletionHandler(outcome.handler());
            request->start();
            EXPECT_TRUE(request->isExecuting());
        }  // the caller lets go: the running request keeps itself
        ASSERT_TRUE(outcome.waitForCall());
        EXPECT_EQ(outcome.body(), "zip bytes");
        EXPECT_FALSE(outcome.onMainThread);
        drainMainQueue();
        EXPECT_EQ(outcome.count(), 1);
    }
}

TEST(SimpleGetHTTPRequestTest, AnythingButACompleteStatus200IsAnError) {
    struct Case {
        std::string path;
        TinyServer::Reply reply;
        std::string domain;
        long code;
        std::string message;  // empty: not checked
    };
    const std::vector<Case> cases = {
        {"/partial", {response("206 Partial Content", "part")}, SimpleGetHTTPRequest::errorDomain, -4,
         "connection failed with response 206 (partial content)"},
        {"/empty", {"HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n"}, SimpleGetHTTPRequest::errorDomain, -4,
         "connection failed with response 204 (no content)"},
        {"/missing", {response("404 Not Found", "<html>gone</html>")}, SimpleGetHTTPRequest::errorDomain, -4,
         "connection failed with response 404 (not found)"},
        // The server closes after half the announced length: a cut-off file is never "saved".
        {"/short",
         {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\nonly fifty bytes........................."},
         platform::URLErrorDomain, platform::URLErrorCode::networkConnectionLost, ""},
        {"/broken-chunks",
         {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n10\r\nshort"},
         platform::URLErrorDomain, platform::URLErrorCode::networkConnectionLost, ""},
    };
    std::map<std::string, TinyServer::Reply> replies;
    for (const auto& c : cases) replies[c.path] = c.reply;
    TinyServer server(replies);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Outcome outcome;
        auto request = SimpleGetHTTPRequest::create(server.url(c.path));
        request->setCompletionHandler(outcome.handler());
        request->start();
        ASSERT_TRUE(outcome.waitForCall());
        const auto error = outcome.error();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain, c.domain);
        EXPECT_EQ(error->code, c.code);
        if (!c.message.empty()) {
            EXPECT_EQ(error->message, c.message);
        }
        EXPECT_TRUE(request->isFinished());
        EXPECT_FALSE(request->isExecuting());
    }
}

TEST(SimpleGetHTTPRequestTest, ABodyPastTheCapFails) {
    TinyServer server({{"/big", {response("200 OK", std::string(64 * 1024, 'x'))}}});
    Outcome outcome;
    auto request = SimpleGetHTTPRequest::create(server.url("/big"));
    request->setMaximumBodySize(1000);
    request->setCompletionHandler(outcome.handler());
    request->start();
    ASSERT_TRUE(outcome.waitForCall());
    ASSERT_TRUE(outcome.error());
    EXPECT_EQ(outcome.error()->domain, platform::URLErrorDomain);
}

TEST(SimpleGetHTTPRequestTest, OnlyHttpAndHttpsAreFetched) {
    struct Case {
        std::string url;
        long code;
    };
    for (const auto& c : std::vector<Case>{{"file:///etc/passwd", platform::URLErrorCode::unsupportedURL},
                                           {"ftp://127.0.0.1/file.zip", platform::URLErrorCode::unsupportedURL},
                                           {"blob:https://web.example/1234", platform::URLErrorCode::unsupportedURL},
                                           {"not a url at all", platform::URLErrorCode::badURL},
                                           {"http:///no-host", platform::URLErrorCode::badURL}}) {
        SCOPED_TRACE(c.url);
        Outcome outcome;
        auto request = SimpleGetHTTPRequest::create(c.url);
        request->setCompletionHandler(outcome.handler());
        request->start();
        ASSERT_TRUE(outcome.waitForCall());
        ASSERT_TRUE(outcome.error());
        EXPECT_EQ(outcome.error()->domain, platform::URLErrorDomain);
        EXPECT_EQ(outcome.error()->code, c.code);
    }
}

TEST(SimpleGetHTTPRequestTest, ATransportFailureIsPassedOn) {
    const testsupport::ClosedPort closed;
    Outcome outcome;
    auto request = SimpleGetHTTPRequest::create("http://" + closed.host() + "/file.zip");
    request->setCompletionHandler(outcome.handler());
    request->start();
    ASSERT_TRUE(outcome.waitForCall());
    ASSERT_TRUE(outcome.error());
    EXPECT_EQ(outcome.error()->domain, platform::URLErrorDomain);
    EXPECT_EQ(outcome.error()->code, platform::URLErrorCode::cannotConnectToHost);
}

TEST(SimpleGetHTTPRequestTest, CancelEndsOnceAndStopsTheTransfer) {
    // Headers and part of the body, then nothing: only a cancel ends this download.
    TinyServer server({{"/slow", {"HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\nfirst bytes", true}}});
    Outcome outcome;
    auto request = SimpleGetHTTPRequest::create(server.url("/slow"));
    request->setCompletionHandler(outcome.handler());
    request->start();
    ASSERT_TRUE(testsupport::runLoopUntil([&] { return server.repliesSent() == 1; }));
    // Cancel from another thread, as a download's owner may.
    std::thread([request] { request->cancel(); }).join();
    ASSERT_TRUE(outcome.waitForCall());
    ASSERT_TRUE(outcome.error());
    EXPECT_EQ(outcome.error()->domain, SimpleGetHTTPRequest::errorDomain);
    EXPECT_EQ(outcome.error()->code, -1);
    EXPECT_EQ(outcome.error()->message, "cancelled");
    EXPECT_TRUE(request->isFinished());
    // The connection is really dropped, not left running in the background.
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return server.clientsGone() == 1; }, 20));

    request->cancel();  // a finished request stays as it is
    request->start();
    drainMainQueue();
    EXPECT_EQ(outcome.count(), 1);
}

TEST(SimpleGetHTTPRequestTest, CancelBeforeStartEndsItWithoutFetching) {
    TinyServer server({{"/file.zip", {response("200 OK", "zip bytes")}}});
    Outcome outcome;
    auto request = SimpleGetHTTPRequest::create(server.url("/file.zip"));
    request->setCompletionHandler(outcome.handler());
    request->cancel();
    request->start();
    ASSERT_TRUE(outcome.waitForCall());
    ASSERT_TRUE(outcome.error());
    EXPECT_EQ(outcome.error()->code, -1);
    drainMainQueue();
    EXPECT_EQ(outcome.count(), 1);
}

TEST(SimpleGetHTTPRequestTest, StartFromAWorkerHopsToTheMainThread) {
    TinyServer server({{"/file.zip", {response("200 OK", "zip bytes")}}});
    Outcome outcome;
    auto request = SimpleGetHTTPRequest::create(server.url("/file.zip"));
    request->setCompletionHandler(outcome.handler());
    std::thread([request] { request->start(); }).join();
    EXPECT_FALSE(request->isExecuting());  // nothing has happened off the main thread
    ASSERT_TRUE(outcome.waitForCall());
    EXPECT_EQ(outcome.body(), "zip bytes");
}
