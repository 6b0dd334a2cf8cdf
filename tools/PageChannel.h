#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace httplib {
class Server;
}

namespace parlivo::config {

// A test road between a test and the stand-in web client page, over the server the page comes
// from (so the page needs no other origin):
//   GET  /__standin/commands?after=N&wait=S  {"last":L,"commands":[{"seq":n,"command":C},...]}
//        with every command whose seq > N, in order; waits up to S seconds (at most 30) for
//        the first one. after=-1 answers at once with no commands: where a new page starts.
//   POST /__standin/records  what the page recorded, one JSON text a line, in the page's order.
// Commands and records are JSON texts the channel passes on without reading them.
class PageChannel {
public:
    using RecordSink = std::function<void(std::string_view line)>;

    // `sink` gets every record line, on the server's threads, one call at a time.
    explicit PageChannel(RecordSink sink);

    // Queues a command for the page; returns its sequence number (from 1).
    int64_t send(std::string commandJSON);
    // Answers every waiting and every later poll at once: the server is stopping.
    void close();

    // Serves the two paths on `server`, which must outlive neither this channel nor its use.
    void attach(httplib::Server& server);

private:
    std::string commandsAfter(int64_t after, double waitSeconds);

    RecordSink sink_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> commands_;  // commands_[i] has the sequence number i + 1
    bool closed_ = false;
    std::mutex sinkMutex_;
};

}  // namespace parlivo::config
