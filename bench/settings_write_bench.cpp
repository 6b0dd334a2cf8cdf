// The main loop's worst stall from the settings store while the page's local store (kept in the
// settings) changes several times a second: the store's own write, on its thread, against the
// same write made on the main loop once a second (how it was written before: the change's timer
// ran the durable write, fsync included, on the main thread). Each turn changes the value and
// runs one main-loop iteration; the slowest turn is the stall. The file lives under the build
// folder, on a real disk (not tmpfs, where fsync costs nothing).
//
//   BM_SettingsStall/<bytes>/0   written by the store's thread
//   BM_SettingsStall/<bytes>/1   written on the main loop once a second
#include <benchmark/benchmark.h>

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>

#include "foundation/UserDefaults.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

static void BM_SettingsStall(benchmark::State& state) {
    const auto bytes = static_cast<std::size_t>(state.range(0));
    const bool onTheMainLoop = state.range(1) != 0;
    const fs::path folder = fs::path(PARLIVO_BUILD_DIR) / "bench" / "settings-write";
    fs::remove_all(folder);
    fs::create_directories(folder);
    double worst = 0;
    int turns = 0;
    for (auto _ : state) {
        platform::UserDefaults defaults(folder / "defaults.plist");
        const auto end = Clock::now() + std::chrono::seconds(5);
        auto nextWrite = Clock::now() + std::chrono::seconds(1);
        for (int turn = 0; Clock::now() < end; ++turn, ++turns) {
            const auto start = Clock::now();
            // A local-store write: the whole store again, one character different.
            std::string store(bytes, 'a');
            store[static_cast<std::size_t>(turn) % bytes] = 'b';
            defaults.set("WebLocalStore", std::move(store));
            if (onTheMainLoop && start >= nextWrite) {
                defaults.synchronize();
                nextWrite = start + std::chrono::seconds(1);
            }
            g_main_context_iteration(nullptr, FALSE);
            worst = std::max(worst, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            g_usleep(50'000);  // 20 changes a second, as the page sends them under steady load
        }
    }
    state.counters["worst_stall_ms"] = worst;
    state.counters["turns"] = turns;
    fs::remove_all(folder);
}
BENCHMARK(BM_SettingsStall)
    ->ArgsProduct({{64 << 10, 1 << 20}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
