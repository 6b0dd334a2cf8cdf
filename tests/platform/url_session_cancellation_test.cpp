#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "LoopbackHTTPServer.h"
#include "RunLoop.h"
#include "URLTask.h"
#include "system/URLSession.h"

using testsupport::LoopbackHTTPServer;
using testsupport::runTask;
using Outcome = testsupport::TaskOutcome;

namespace {

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
    const Outcome outcome = runTask(session, request, [&] {
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
    const Outcome early = runTask(session, request);
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
    const Outcome outcome = runTask(session, request);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->code, platform::URLErrorCode::timedOut);
}

// A download that stalls does not hold up the requests started after it, and destroying the
// session still ends it with its completion.
TEST(URLSessionTest, AStalledTransferDoesNotHoldUpTheNextOne) {
    LoopbackHTTPServer server({{"/slow", stalled},
                               {"/hello", {LoopbackHTTPServer::response("200 OK", "hello"), false}}});
    auto cancellation = std::make_shared<std::atomic<bool>>(false);
    std::atomic<bool> slowEnded{false};
    {
        platform::URLSession session({"", "test"});
        platform::URLRequest slow;
        slow.url = server.url("/slow");
        slow.cancellation = cancellation;
        session.dataTask(slow, [&](auto, auto, std::optional<platform::Error> error) {
            EXPECT_TRUE(error && error->code == platform::URLErrorCode::cancelled);
            slowEnded = true;
        });
        ASSERT_TRUE(testsupport::runLoopUntil([&] { return server.repliesSent() == 1; }));

        platform::URLRequest quick;
        quick.url = server.url("/hello");
        const Outcome outcome = runTask(session, quick);
        EXPECT_EQ(outcome.text(), "hello");
        EXPECT_FALSE(slowEnded);
        cancellation->store(true);
    }
    EXPECT_TRUE(slowEnded);
}
