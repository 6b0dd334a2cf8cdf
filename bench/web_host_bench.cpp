// The web host against a bare WebKitGTK window (bench/bare_webkit.cpp), both loading the
// stand-in page (tests/fixtures/standin) from the same loopback server, side by side:
//   StartToDidStartup   process start to the page's "didStartup"        (ours <= 1.10x bare)
//   ProcessTreePSS      PSS of the program and every process it started (ours <= 1.10x bare)
//   LogHandlerMessages  page->native messages a second on "logHandler"  (ours >= 50,000/s)
//   CommandRoundTrip    "didInit" out, wqInit.didFinishNativeInit() back (ours within 1 ms of bare)
// The last lines printed put the two side by side with their ratio.
// Run under a display and a session bus:
//   xvfb-run -a dbus-run-session -- build/bench/web_host_bench
// The program's own figures need the web host; without it those benchmarks end with an error.
#include <benchmark/benchmark.h>

#include <sys/types.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "Standin.h"

namespace fs = std::filesystem;
using testsupport::HostedProgram;
using testsupport::StandinServer;

namespace {

enum Host { bare = 0, parlivo = 1 };
const char* hostName(int host) { return host == bare ? "bare" : "parlivo"; }

// Figures by name and host, for the ratios printed at the end.
std::map<std::string, double> figures[2];

StandinServer& server() {
    static StandinServer* instance = new StandinServer();
    return *instance;
}

// Both programs get the same fresh XDG folders, kept for the whole run.
HostedProgram::Options environment() {
    static const fs::path base = testsupport::makeTemporaryDirectory("web-host-bench");
    HostedProgram::Options options;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        fs::create_directories(base / name);
        options.environment[name] = (base / name).string();
    }
    return options;
}

std::unique_ptr<HostedProgram> start(int host) {
    if (host == parlivo) return HostedProgram::parlivo(server(), environment());  // no "-de": debug off
    return HostedProgram::launch(
        {PARLIVO_BUILD_DIR "/bench/bare_webkit", PARLIVO_BUILD_DIR "/config-tls/server.pem", server().pageURL()},
        environment());
}

bool waitForStartup(benchmark::State& state, size_t from) {
    if (server().waitForEvent("didStartup", 60, from)) return true;
    state.SkipWithError("the page did not start up (no web host in the program yet?)");
    return false;
}

double pssKilobytes(pid_t pid) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    for (std::string key; rollup >> key;) {
        if (key == "Pss:") {
            double kilobytes = 0;
            rollup >> kilobytes;
            return kilobytes;
        }
        rollup.ignore(1 << 16, '\n');
    }
    return 0;
}

void StartToDidStartup(benchmark::State& state) {
    const int host = int(state.range(0));
    if (!server().ok()) return state.SkipWithError(server().error().c_str());
    double total = 0;
    int runs = 0;
    for (auto _ : state) {
        const size_t from = server().mark();
        const auto begin = std::chrono::steady_clock::now();
        auto program = start(host);
        if (!waitForStartup(state, from)) break;
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - begin;
        state.SetIterationTime(elapsed.count());
        total += elapsed.count();
        ++runs;
        program->stop();
    }
    if (runs) figures[host]["start to didStartup (ms)"] = total / runs * 1000;
}

void ProcessTreePSS(benchmark::State& state) {
    const int host = int(state.range(0));
    if (!server().ok()) return state.SkipWithError(server().error().c_str());
    double total = 0;
    int runs = 0;
    for (auto _ : state) {
        const size_t from = server().mark();
        auto program = start(host);
        if (!waitForStartup(state, from)) break;
        // The page answers a command: it has settled after its start-up.
        server().waitForCommand(server().eval("document.readyState"), 30);
        double kilobytes = 0;
        for (pid_t pid : testsupport::processTree(program->pid())) kilobytes += pssKilobytes(pid);
        state.SetIterationTime(1e-3);
        total += kilobytes;
        ++runs;
        program->stop();
    }
    if (runs) {
        state.counters["PSS_MiB"] = total / runs / 1024;
        figures[host]["PSS (MiB)"] = total / runs / 1024;
    }
}

// Starts the program once for a benchmark and waits for the page.
std::unique_ptr<HostedProgram> startedPage(benchmark::State& state, int host) {
    const size_t from = server().mark();
    auto program = start(host);
    if (!waitForStartup(state, from)) return nullptr;
    return program;
}

void LogHandlerMessages(benchmark::State& state) {
    const int host = int(state.range(0));
    constexpr int count = 50000;
    if (!server().ok()) return state.SkipWithError(server().error().c_str());
    auto program = startedPage(state, host);
    if (!program) return;
    double best = 0;
    for (auto _ : state) {
        const size_t from = server().mark();
        server().eval("Standin.flood('logHandler', 'a log line from the page', " + std::to_string(count) + ")");
        auto flood = server().waitFor([](const auto& r) { return r.type == "flood"; }, 120, from);
        if (!flood) {
            state.SkipWithError("the flood did not finish");
            break;
        }
        const double seconds = flood->value["ms"].asReal().value_or(0) / 1000;
        state.SetIterationTime(seconds);
        best = std::max(best, count / seconds);
    }
    state.counters["messages_per_s"] = best;
    figures[host]["messages/s (best)"] = best;
}

void CommandRoundTrip(benchmark::State& state) {
    const int host = int(state.range(0));
    constexpr int count = 1000;
    if (!server().ok()) return state.SkipWithError(server().error().c_str());
    auto program = startedPage(state, host);
    if (!program) return;
    double mean = 0;
    int runs = 0;
    for (auto _ : state) {
        const size_t from = server().mark();
        server().eval("Standin.roundTrips(" + std::to_string(count) + ")");
        auto trips = server().waitFor([](const auto& r) { return r.type == "roundTrips"; }, 120, from);
        if (!trips) {
            state.SkipWithError("the round trips did not finish");
            break;
        }
        mean += trips->value["meanMs"].asReal().value_or(0);
        state.SetIterationTime(trips->value["meanMs"].asReal().value_or(0) * count / 1000);
        ++runs;
    }
    if (runs) {
        state.counters["round_trip_us"] = mean / runs * 1000;
        figures[host]["round trip (us)"] = mean / runs * 1000;
    }
}

}  // namespace

BENCHMARK(StartToDidStartup)->ArgName("ours")->Arg(bare)->Arg(parlivo)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(ProcessTreePSS)->ArgName("ours")->Arg(bare)->Arg(parlivo)->UseManualTime()->Iterations(3);
BENCHMARK(LogHandlerMessages)->ArgName("ours")->Arg(bare)->Arg(parlivo)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(CommandRoundTrip)->ArgName("ours")->Arg(bare)->Arg(parlivo)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\n%-28s %14s %14s %8s\n", "figure", "bare", "parlivo", "ratio");
    for (const auto& [name, value] : figures[bare]) {
        const auto ours = figures[parlivo].find(name);
        if (ours == figures[parlivo].end() || value == 0) {
            std::printf("%-28s %14.2f %14s %8s\n", name.c_str(), value, "-", "-");
            continue;
        }
        std::printf("%-28s %14.2f %14.2f %8.3f\n", name.c_str(), value, ours->second, ours->second / value);
    }
    return 0;
}
