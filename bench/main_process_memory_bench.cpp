// The program's memory against a bare WebKitGTK window (bench/bare_webkit.cpp), both on the
// stand-in page (tests/fixtures/standin) from the same loopback server, in interleaved rounds:
// each round starts one of each (the order alternating from round to round), waits until the
// page has started and answers a command, and reads /proc of every process:
//   tree PSS, tree anonymous   the program and the web and network processes it started
//   main PSS, main anonymous   the UI process alone
//   main libraries             shared objects mapped by the UI process
// Reported: the median of each figure per host and the median (min-max) of the per-round ratio.
// The libraries the program maps beyond the bare window's are listed at the end.
// Run under a display and a session bus:
//   xvfb-run -a -s "-screen 0 1600x1000x24" dbus-run-session -- build/bench/main_process_memory_bench [ROUNDS]
#include <benchmark/benchmark.h>

#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Standin.h"
#include "StandinHosts.h"

namespace fs = std::filesystem;
using testsupport::HostedProgram;
using testsupport::StandinServer;

namespace {

using bench::bare;
using bench::parlivo;
using bench::server;

const char* const kHostNames[] = {"bare WebKitGTK", "parlivo-for-whatsapp"};
int rounds = 10;

std::unique_ptr<HostedProgram> start(int host) { return bench::start(bench::Host(host), "memory-bench"); }

// Kilobytes of the given smaps_rollup fields of one process.
std::map<std::string, double> rollup(pid_t pid) {
    std::map<std::string, double> fields;
    std::ifstream file("/proc/" + std::to_string(pid) + "/smaps_rollup");
    for (std::string key; file >> key;) {
        if (key == "Pss:" || key == "Anonymous:") file >> fields[key];
        file.ignore(1 << 16, '\n');
    }
    return fields;
}

std::set<std::string> sharedObjects(pid_t pid) {
    std::set<std::string> names;
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    for (std::string line; std::getline(maps, line);) {
        const auto slash = line.find('/');
        if (slash == std::string::npos) continue;
        const std::string path = line.substr(slash);
        if (path.find(".so") == std::string::npos) continue;
        names.insert(fs::path(path).filename().string());
    }
    return names;
}

const char* const kFigures[] = {"tree PSS (MiB)", "tree anonymous (MiB)", "main PSS (MiB)", "main anonymous (MiB)",
                                "main libraries"};
constexpr int kFigureCount = 5;

struct Round {
    double figure[2][kFigureCount] = {};
};
std::vector<Round> results;
std::set<std::string> libraries[2];

bool measure(benchmark::State& state, int host, Round& round) {
    const size_t from = server().mark();
    auto program = start(host);
    if (!server().waitForEvent("didStartup", 60, from)) {
        state.SkipWithError("the page did not start up");
        return false;
    }
    // The page answers a command: it has settled after its start-up.
    server().waitForCommand(server().eval("document.readyState"), 30);
    double* figure = round.figure[host];
    for (pid_t pid : testsupport::processTree(program->pid())) {
        const auto fields = rollup(pid);
        const double pss = fields.count("Pss:") ? fields.at("Pss:") / 1024 : 0;
        const double anonymous = fields.count("Anonymous:") ? fields.at("Anonymous:") / 1024 : 0;
        figure[0] += pss;
        figure[1] += anonymous;
        if (pid == program->pid()) {
            figure[2] = pss;
            figure[3] = anonymous;
            libraries[host] = sharedObjects(pid);
            figure[4] = double(libraries[host].size());
        }
    }
    program->stop();
    return true;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void InterleavedRounds(benchmark::State& state) {
    if (!server().ok()) return state.SkipWithError(server().error().c_str());
    for (auto _ : state) {
        for (int i = 0; i < rounds; ++i) {
            Round round;
            // The order alternates, so neither host always meets the machine after the other.
            const int first = i % 2 ? parlivo : bare;
            if (!measure(state, first, round) || !measure(state, 1 - first, round)) return;
            results.push_back(round);
        }
    }
}
BENCHMARK(InterleavedRounds)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc > 1) rounds = std::max(1, std::atoi(argv[1]));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (results.empty()) return 1;
    std::printf("\n%zu interleaved rounds; median per host, and the per-round ratio: median (min-max)\n",
                results.size());
    std::printf("%-22s %16s %22s %24s\n", "figure", kHostNames[bare], kHostNames[parlivo], "ratio");
    for (int f = 0; f < kFigureCount; ++f) {
        std::vector<double> values[2], ratios;
        for (const auto& round : results) {
            for (int host : {bare, parlivo}) values[host].push_back(round.figure[host][f]);
            if (round.figure[bare][f] > 0) ratios.push_back(round.figure[parlivo][f] / round.figure[bare][f]);
        }
        const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
        std::printf("%-22s %16.1f %22.1f %10.3f (%.3f-%.3f)\n", kFigures[f], median(values[bare]),
                    median(values[parlivo]), median(ratios), ratios.empty() ? 0 : *low, ratios.empty() ? 0 : *high);
    }
    std::printf("\nlibraries the program maps beyond the bare window's:\n");
    for (const auto& name : libraries[parlivo])
        if (!libraries[bare].count(name)) std::printf("  %s\n", name.c_str());
    return 0;
}
