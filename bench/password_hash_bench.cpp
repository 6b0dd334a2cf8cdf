// What one password record costs: PBKDF2-HMAC-SHA256 at the store's iteration count, which is
// chosen to take about 100 ms of one core (slow for someone guessing, unnoticed by a user whose
// check runs on a worker), and the check of a record against a typed password.
#include <benchmark/benchmark.h>

#include "privacy/WQPasswordHandler.h"

using parlivo::WQPasswordHandler;

static void BM_MakeRecord(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(WQPasswordHandler::makeRecord("correct horse battery staple"));
}
BENCHMARK(BM_MakeRecord)->Unit(benchmark::kMillisecond)->Iterations(20);

static void BM_VerifyRecord(benchmark::State& state) {
    const auto record = WQPasswordHandler::makeRecord("correct horse battery staple").value();
    for (auto _ : state) benchmark::DoNotOptimize(WQPasswordHandler::verify("correct horse battery staple", record));
}
BENCHMARK(BM_VerifyRecord)->Unit(benchmark::kMillisecond)->Iterations(20);

BENCHMARK_MAIN();
