// The web host against a bare WebKitGTK window (bench/bare_webkit.cpp), both loading the
// stand-in page (tests/fixtures/standin) from the same loopback server:
//   StartToDidStartup   process start to the page's "didStartup"        (ours <= 1.10x bare)
//   ProcessTreePSS      PSS of the program and every process it started (ours <= 1.10x bare)
//   LogHandlerMessages  page->native messages a second on "logHandler"  (ours >= 50,000/s)
//   CommandRoundTrip    "didInit" out, wqInit.didFinishNativeInit() back (ours within 1 ms of bare)
// Each iteration is one round that measures both hosts, one after the other, each started afresh
// and stopped before the other starts; the host that goes first alternates from round to round.
// Load drifting on the machine so moves both sides of a round alike: the figure is the median of
// the per-round ratio parlivo/bare (ratio_median, with ratio_min and ratio_max), and each host's
// median. The last lines printed put them side by side.
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
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "RoundRatios.h"
#include "Standin.h"
#include "StandinHosts.h"

namespace fs = std::filesystem;
using testsupport::HostedProgram;
using testsupport::StandinServer;

namespace {

using bench::bare;
using bench::parlivo;
using bench::server;


// Each figure's rounds, by the figure's name, for the summary printed at the end.
std::map<std::string, bench::RoundRatios> summary;

std::unique_ptr<HostedProgram> start(int host) { return bench::start(bench::Host(host), "web-host-bench"); }

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

// Starts the host and waits for its page to start up: null (and the benchmark ends with an
// error) when it does not.
std::unique_ptr<HostedProgram> startedPage(benchmark::State& state, int host) {
    const size_t from = server().mark();
    auto program = start(host);
    if (!waitForStartup(state, from)) return nullptr;
    return program;
}

// One host's figure in a round, or nothing when it could not be measured (the benchmark then
// ends with an error).
using Measure = std::function<std::optional<double>(benchmark::State&, int host)>;

// Every iteration measures both hosts, the first of them alternating; the iteration's time is
// the two together. `name` is the figure's line in the summary printed at the end.
void interleaved(benchmark::State& state, const std::string& name, const Measure& measure) {
    if (!server().ok()) return state.SkipWithError(server().error().c_str());
    bench::RoundRatios rounds;
    int first = bare;
    for (auto _ : state) {
        std::optional<double> value[2];
        const auto begin = std::chrono::steady_clock::now();
        for (int host : {first, 1 - first})
            if (!(value[host] = measure(state, host))) break;
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
        if (!value[bare] || !value[parlivo]) break;
        rounds.add(*value[parlivo], *value[bare]);
        first = 1 - first;
    }
    rounds.report(state, "parlivo", "bare");
    if (!rounds.empty()) summary[name] = rounds;
}

std::optional<double> startMilliseconds(benchmark::State& state, int host) {
    const auto begin = std::chrono::steady_clock::now();
    auto program = startedPage(state, host);
    if (!program) return std::nullopt;
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - begin;
    program->stop();
    return elapsed.count();
}

std::optional<double> treePssMiB(benchmark::State& state, int host) {
    auto program = startedPage(state, host);
    if (!program) return std::nullopt;
    // The page answers a command: it has settled after its start-up.
    server().waitForCommand(server().eval("document.readyState"), 30);
    double kilobytes = 0;
    for (pid_t pid : testsupport::processTree(program->pid())) kilobytes += pssKilobytes(pid);
    program->stop();
    return kilobytes / 1024;
}

std::optional<double> logHandlerRate(benchmark::State& state, int host) {
    constexpr int count = 50000;
    auto program = startedPage(state, host);
    if (!program) return std::nullopt;
    const size_t from = server().mark();
    server().eval("Standin.flood('logHandler', 'a log line from the page', " + std::to_string(count) + ")");
    auto flood = server().waitFor([](const auto& r) { return r.type == "flood"; }, 120, from);
    program->stop();
    const double seconds = flood ? flood->value["ms"].asReal().value_or(0) / 1000 : 0;
    if (seconds <= 0) {
        state.SkipWithError("the flood did not finish");
        return std::nullopt;
    }
    return count / seconds;
}

std::optional<double> roundTripMicroseconds(benchmark::State& state, int host) {
    constexpr int count = 1000;
    auto program = startedPage(state, host);
    if (!program) return std::nullopt;
    const size_t from = server().mark();
    server().eval("Standin.roundTrips(" + std::to_string(count) + ")");
    auto trips = server().waitFor([](const auto& r) { return r.type == "roundTrips"; }, 120, from);
    program->stop();
    if (!trips) {
        state.SkipWithError("the round trips did not finish");
        return std::nullopt;
    }
    return trips->value["meanMs"].asReal().value_or(0) * 1000;
}

void StartToDidStartup(benchmark::State& state) {
    interleaved(state, "start to didStartup (ms)", startMilliseconds);
}
void ProcessTreePSS(benchmark::State& state) {
    interleaved(state, "PSS (MiB)", treePssMiB);
}
void LogHandlerMessages(benchmark::State& state) {
    interleaved(state, "messages/s", logHandlerRate);
}
void CommandRoundTrip(benchmark::State& state) {
    interleaved(state, "round trip (us)", roundTripMicroseconds);
}

}  // namespace

// Rounds per figure: every round starts each host once.
BENCHMARK(StartToDidStartup)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(ProcessTreePSS)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);
BENCHMARK(LogHandlerMessages)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);
BENCHMARK(CommandRoundTrip)->UseManualTime()->Iterations(6)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\n%-26s %12s %12s   %s\n", "figure (medians)", "bare", "parlivo",
                "ratio parlivo/bare per round: median (min-max)");
    for (const auto& [name, rounds] : summary)
        std::printf("%-26s %12.2f %12.2f   %.3f (%.3f-%.3f) over %zu rounds\n", name.c_str(),
                    bench::median(rounds.reference), bench::median(rounds.ours), rounds.ratioMedian(),
                    rounds.ratioMin(), rounds.ratioMax(), rounds.ratios.size());
    return 0;
}
