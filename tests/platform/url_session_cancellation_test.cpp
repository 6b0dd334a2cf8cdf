#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>

#include "LoopbackHTTPServer.h"
#include "RunLoop.h"
#include "system/URLSession.h"

using testsupport::LoopbackHTTPServer;

namespace {

struct Outcome {
    std::optional<std::vector<uint8_t>> data;
    std::optional<platform::URLResponse> response;
    std::optional<platform::Error> error;
};

Outcome fetch(platform::URLSession& session, platform::URLRequest request,
              const std::function<void()>& whileRunning = {}) {
    std::promise<Outcome> promise;
    session.dataTask(std::move(request), [&](auto data, auto response, auto error) {
        promise.set_value(Outcome{std::move(data), std::move(response), std::move(error)});
    });
    if (whileRunning) whileRunning();
    return promise.get_future().get();
}

// A body that stops half way, with the connection kept open.
const LoopbackHTTPServer::Reply stalled{"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nhalf", true};

}  // namespace

TEST(URLSessionTest, ACancelledTransferStopsAndFailsAsCancelled) {
    LoopbackHTTPServer server({{"/slow", stalled}});
    platform::URLSession session({"", "test"});
    auto cancellation = std::make_shared<std::atomic<bool>>(false);
    platform::URLRequest request;
    request.url = server.url("/slow");
    request.cancellation = cancellation;
    const Outcome outcome = fetch(session, request, [&] {
        // Half the body is in: without the cancel, only the time-out would end this.
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return server.repliesSent() == 1; }));
        cancellation->store(true);
    });
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain, platform::URLErrorDomain);
    EXPECT_EQ(outcome.error->code, platform::URLErrorCode::cancelled);
    EXPECT_FALSE(outcome.data);

    EXPECT_TRUE(testsupport::runLoopUntil([&] { return server.clientsGone() == 1; }));

    // A request cancelled before it starts fails without connecting.
    const Outcome early = fetch(session, request);
    ASSERT_TRUE(early.error);
    EXPECT_EQ(early.error->code, platform::URLErrorCode::cancelled);
    EXPECT_EQ(server.repliesSent(), 1);
}

TEST(URLSessionTest, AStalledTransferTimesOutWithoutAnOverallLimit) {
    LoopbackHTTPServer server({{"/slow", stalled}});
    platform::URLSession session({"", "test"});
    platform::URLRequest request;
    request.url = server.url("/slow");
    request.timeoutSeconds = 0;  // no limit for the whole transfer ...
    request.stallTimeoutSeconds = 1;  // ... but one for silence (libcurl judges over a few seconds)
    const Outcome outcome = fetch(session, request);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->code, platform::URLErrorCode::timedOut);
}
