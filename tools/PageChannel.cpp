#include "PageChannel.h"

#include <httplib.h>

#include <algorithm>
#include <charconv>
#include <chrono>

namespace parlivo::config {

namespace {

template <class T>
T numberParameter(const httplib::Request& request, const char* name, T fallback) {
    if (!request.has_param(name)) return fallback;
    const std::string text = request.get_param_value(name);
    T value = fallback;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() ? value : fallback;
}

}  // namespace

PageChannel::PageChannel(RecordSink sink) : sink_(std::move(sink)) {}

int64_t PageChannel::send(std::string commandJSON) {
    int64_t seq;
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(std::move(commandJSON));
        seq = int64_t(commands_.size());
    }
    changed_.notify_all();
    return seq;
}

void PageChannel::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

std::string PageChannel::commandsAfter(int64_t after, double waitSeconds) {
    std::unique_lock lock(mutex_);
    const int64_t last = int64_t(commands_.size());
    // A page that has just loaded asks where the queue stands, so it never replays the
    // commands an earlier page (before a reload) has run.
    if (after < 0) return "{\"last\":" + std::to_string(last) + ",\"commands\":[]}";
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(std::clamp(waitSeconds, 0.0, 30.0));
    changed_.wait_until(lock, deadline, [&] { return closed_ || int64_t(commands_.size()) > after; });
    std::string list;
    for (int64_t seq = after + 1; seq <= int64_t(commands_.size()); ++seq) {
        if (!list.empty()) list += ',';
        list += "{\"seq\":" + std::to_string(seq) + ",\"command\":" + commands_[size_t(seq - 1)] + "}";
    }
    return "{\"last\":" + std::to_string(commands_.size()) + ",\"commands\":[" + list + "]}";
}

void PageChannel::attach(httplib::Server& server) {
    server.Get("/__standin/commands", [this](const httplib::Request& request, httplib::Response& response) {
        const auto after = numberParameter<int64_t>(request, "after", 0);
        const auto wait = numberParameter<double>(request, "wait", 10.0);
        response.set_header("Cache-Control", "no-store");
        response.set_content(commandsAfter(after, wait), "application/json");
    });
    server.Post("/__standin/records", [this](const httplib::Request& request, httplib::Response& response) {
        {
            std::lock_guard lock(sinkMutex_);
            std::string_view body = request.body;
            while (!body.empty()) {
                const size_t end = std::min(body.find('\n'), body.size());
                if (end > 0 && sink_) sink_(body.substr(0, end));
                body.remove_prefix(std::min(end + 1, body.size()));
            }
        }
        response.status = 204;
    });
}

}  // namespace parlivo::config
