// The end of the process: transfers under way stop, later ones never start, and the wait returns
// once none is left. A program of its own, because the end is for good.
#include <gtest/gtest.h>

#include <future>

#include "LoopbackHTTPServer.h"
#include "RunLoop.h"
#include "system/URLSession.h"

using testsupport::LoopbackHTTPServer;

TEST(URLSessionEndTest, EndingStopsEveryTransferAndRefusesNewOnes) {
    // Half a body, then silence: without the end only the hour-long time-out would stop it.
    LoopbackHTTPServer server({{"/slow", {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nhalf", true}}});
    platform::URLSession first({"", "first"});
    platform::URLRequest request;
    request.url = server.url("/slow");
    request.timeoutSeconds = 3600;
    std::promise<std::optional<platform::Error>> running;
    first.dataTask(request, [&](auto, auto, auto error) { running.set_value(error); });
    EXPECT_TRUE(testsupport::runLoopUntil([&] { return server.repliesSent() == 1; }));

    EXPECT_TRUE(platform::URLSession::endAllTransfers(10));
    auto stopped = running.get_future().get();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->code, platform::URLErrorCode::cancelled);

    std::promise<std::optional<platform::Error>> late;
    first.dataTask(request, [&](auto, auto, auto error) { late.set_value(error); });
    auto error = late.get_future().get();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, platform::URLErrorCode::cancelled);
    EXPECT_EQ(server.repliesSent(), 1) << "a task after the end connects nowhere";
}
