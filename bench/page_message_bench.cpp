// The main loop's worst stall while the stand-in page sends page messages: the program against a
// bare WebKitGTK window (bench/bare_message_window.cpp, its handlers read nothing) on the same page
// from the same loopback server.
//   OversizedMessage/N   one oversized message of each kind the hostile-page run used
//   SteadyLoad           20 messages a second (a notification and a log line each), a local-store
//                        write every second, a remove-notifications every 5 s
// A thread of the bench calls the host's main loop over D-Bus (org.gtk.Actions.List on its
// GApplication, answered there) every 5 ms; the slowest answer is the stall (counter
// worst_stall_ms; target: at most 50 ms). The steady run lasts PAGE_MESSAGE_BENCH_SECONDS (default
// 30; 300 for the full measure). Run under a display and a session bus:
//   xvfb-run -a dbus-run-session -- build/bench/page_message_bench
#include <benchmark/benchmark.h>
#include <gio/gio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "FakeNotificationServer.h"
#include "Standin.h"

namespace fs = std::filesystem;
using testsupport::HostedProgram;
using testsupport::StandinServer;
using Clock = std::chrono::steady_clock;

namespace {

enum Host { bare = 0, parlivo = 1 };

std::map<std::string, double> figures[2];

StandinServer& server() {
    static StandinServer* instance = new StandinServer();
    return *instance;
}

HostedProgram::Options environment() {
    static const fs::path base = testsupport::makeTemporaryDirectory("page-message-bench");
    HostedProgram::Options options;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        fs::create_directories(base / name);
        options.environment[name] = (base / name).string();
    }
    return options;
}

struct Target {
    const char* busName;
    const char* objectPath;
};
Target target(int host) {
    if (host == parlivo) return {"net.vantreo.mac.WhatsApp", "/net/vantreo/mac/WhatsApp"};
    return {"net.vantreo.BareMessageWindow", "/net/vantreo/BareMessageWindow"};
}

std::unique_ptr<HostedProgram> start(benchmark::State& state, int host) {
    const size_t from = server().mark();
    auto program = host == parlivo
                       ? HostedProgram::parlivo(server(), environment())  // debug off
                       : HostedProgram::launch({PARLIVO_BUILD_DIR "/bench/bare_message_window",
                                                PARLIVO_BUILD_DIR "/config-tls/server.pem", server().pageURL()},
                                               environment());
    if (!server().waitForEvent("didStartup", 60, from)) {
        state.SkipWithError("the page did not start up");
        return nullptr;
    }
    return program;
}

// Calls the host's main loop every 5 ms from its own thread; the slowest answer since reset().
class StallProbe {
public:
    explicit StallProbe(Target target) : target_(target) {
        connection_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        thread_ = std::thread([this] { run(); });
    }
    ~StallProbe() {
        stop_ = true;
        thread_.join();
        if (connection_) g_object_unref(connection_);
    }
    void reset() { worstMicroseconds_ = 0; }
    double worstMilliseconds() const { return worstMicroseconds_ / 1000.0; }
    bool answering() const { return answered_ > 0; }

private:
    void run() {
        while (!stop_ && connection_) {
            const auto begin = Clock::now();
            GVariant* reply = g_dbus_connection_call_sync(connection_, target_.busName, target_.objectPath,
                                                          "org.gtk.Actions", "List", nullptr, nullptr,
                                                          G_DBUS_CALL_FLAGS_NONE, 120'000, nullptr, nullptr);
            const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - begin).count();
            if (reply) {
                g_variant_unref(reply);
                ++answered_;
                long long worst = worstMicroseconds_;
                while (elapsed > worst && !worstMicroseconds_.compare_exchange_weak(worst, elapsed)) {}
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    Target target_;
    GDBusConnection* connection_ = nullptr;
    std::atomic<bool> stop_{false};
    std::atomic<long long> worstMicroseconds_{0};
    std::atomic<long long> answered_{0};
    std::thread thread_;
};

// The oversized messages of the hostile-page run, as page scripts.
struct Oversized {
    const char* name;
    const char* script;
};
const Oversized kOversized[] = {
    {"nothing (the machine's own noise)", "0"},
    {"100 MB string (logHandler)", "Standin.post('logHandler', 'x'.repeat(100 * 1024 * 1024))"},
    {"300,000 numbers (eventHandler)", "Standin.post('eventHandler', Array.from({length: 300000}, (_, i) => i))"},
    {"50 MB title and body", "Standin.post('incomingMessageHandler', {title: 't'.repeat(25 * 1024 * 1024), "
                             "body: 'b'.repeat(25 * 1024 * 1024), id: 'c'})"},
    {"100 MB download data URL", "Standin.post('eventHandler', {action: 'download', mimeType: 'text/plain', "
                                 "fileName: 'big.txt', download: 'data:text/plain;base64,' + "
                                 "'QUJD'.repeat(25 * 1024 * 1024)})"},
    {"10 MB mail message", "Standin.post('eventHandler', {action: 'sendMail', address: 'a@b.example', "
                           "subject: 's', message: 'm'.repeat(10 * 1024 * 1024)})"},
};

// Watches for `seconds` after the page has posted: the host's share of the work follows the post.
double observe(StallProbe& probe, const std::string& script, double seconds) {
    probe.reset();
    server().waitForCommand(server().eval(script + "; 'sent'"), 120);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return probe.worstMilliseconds();
}

void OversizedMessage(benchmark::State& state) {
    const int host = int(state.range(0));
    const Oversized& message = kOversized[state.range(1)];
    if (!server().ok()) return state.SkipWithError(server().error().c_str());
    auto program = start(state, host);
    if (!program) return;
    StallProbe probe(target(host));
    double worst = 0;
    for (auto _ : state) {
        worst = std::max(worst, observe(probe, message.script, 4));
        state.SetIterationTime(worst / 1000);
    }
    if (!probe.answering()) return state.SkipWithError("the host's main loop never answered on the bus");
    state.SetLabel(message.name);
    state.counters["worst_stall_ms"] = worst;
    figures[host][message.name] = worst;
    program->stop();
}

double steadySeconds() {
    const char* text = std::getenv("PAGE_MESSAGE_BENCH_SECONDS");
    const double seconds = text ? std::atof(text) : 0;
    return seconds > 0 ? seconds : 30;
}

void SteadyLoad(benchmark::State& state) {
    const int host = int(state.range(0));
    if (!server().ok()) return state.SkipWithError(server().error().c_str());
    auto notifications =
        testsupport::FakeNotificationServer::start(testsupport::FakeNotificationServer::capabilitiesWithInlineReply());
    auto program = start(state, host);
    if (!program) return;
    StallProbe probe(target(host));
    const double seconds = steadySeconds();
    double worst = 0;
    for (auto _ : state) {
        probe.reset();
        server().eval(R"JS(
            Standin.steadyTicks = 0;
            Standin.steady = setInterval(function () {
                var tick = ++Standin.steadyTicks;
                Standin.post('incomingMessageHandler', {title: 'Contact ' + (tick % 7), body: 'Message number ' + tick +
                    ' with some text in it', id: 'chat' + (tick % 7) + '@c.example'});
                Standin.post('logHandler', 'a log line from the page, number ' + tick);
                if (tick % 20 == 0) Standin.post('localWebStore', JSON.stringify({tick: tick, chats: new Array(50).fill('x')}));
                if (tick % 100 == 0) Standin.post('eventHandler', 'removeNotifications');
            }, 50); 'started')JS");
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        server().waitForCommand(server().eval("clearInterval(Standin.steady); Standin.steadyTicks"), 60);
        worst = probe.worstMilliseconds();
        state.SetIterationTime(worst / 1000);
    }
    if (!probe.answering()) return state.SkipWithError("the host's main loop never answered on the bus");
    state.counters["worst_stall_ms"] = worst;
    state.counters["seconds"] = seconds;
    figures[host]["steady load, 20 messages/s"] = worst;
    program->stop();
}

void oversizedArguments(benchmark::internal::Benchmark* bench) {
    for (int host : {bare, parlivo})
        for (int message = 0; message < int(std::size(kOversized)); ++message) bench->Args({host, message});
}

}  // namespace

BENCHMARK(OversizedMessage)->ArgNames({"ours", "message"})->Apply(oversizedArguments)->UseManualTime()
    ->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(SteadyLoad)->ArgName("ours")->Arg(bare)->Arg(parlivo)->UseManualTime()->Iterations(1)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\nworst main-loop stall (ms)          %10s %10s\n", "bare", "parlivo");
    for (const auto& [name, value] : figures[parlivo]) {
        const auto other = figures[bare].find(name);
        std::printf("%-36s %10.1f %10.1f\n", name.c_str(), other == figures[bare].end() ? -1.0 : other->second, value);
    }
    return 0;
}
