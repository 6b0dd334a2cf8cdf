// Voice recording: how long after its last sample was captured a batch reaches the page (the
// web view's evaluateJavaScript), with the test tone as the microphone. The figure: within 50 ms.
// Each iteration is one batch; the time is the batch's own latency (manual time), and the worst
// batch is reported as max_ms.
#include <benchmark/benchmark.h>
#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "media/WQAudioRecorder.h"

namespace {

using namespace parlivo;

struct Page : platform::JavaScriptEvaluator {
    std::size_t characters = 0;
    void evaluateJavaScript(const std::string& script, Completion) override { characters += script.size(); }
};

std::int64_t now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void BM_VoiceBatchLatency(benchmark::State& state) {
    setenv("PARLIVO_MICROPHONE_SOURCE", "test", 1);
    auto page = std::make_shared<Page>();
    auto recorder = WQAudioRecorder::create();
    recorder->setWebView(page);
    bool delivered = false;
    double latency = 0, worst = 0;
    recorder->setBatchDeliveryObserver([&](std::int64_t lastSample) {
        latency = double(now() - lastSample) / 1e9;
        delivered = true;
    });
    recorder->recordWithSampleRate(double(state.range(0)), double(state.range(1)));
    if (!recorder->isRecording()) {
        state.SkipWithError("the test tone did not start");
        return;
    }
    for (auto _ : state) {
        delivered = false;
        while (!delivered) g_main_context_iteration(nullptr, TRUE);
        state.SetIterationTime(latency);
        worst = std::max(worst, latency);
    }
    recorder->stopRecording();
    state.counters["max_ms"] = worst * 1000;
    state.counters["batch_ms"] = 1000.0 * double(state.range(1)) / double(state.range(0));
}
BENCHMARK(BM_VoiceBatchLatency)
    ->Args({48000, 4096})
    ->Args({44100, 2048})
    ->Args({48000, 16384})
    ->Args({16000, 512})
    ->Iterations(40)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
