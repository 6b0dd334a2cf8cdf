// A converter export against the same ffmpeg command run directly on the same clip: wall time,
// the two runs alternating, medians over the repetitions. The "ratio" counter is
// converter / direct of the medians, "pair_ratio" the median of each pair's ratio; the figure
// to hold is at most 1.05.
#include <benchmark/benchmark.h>
#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "WQVideoConverter.h"
#include "system/Subprocess.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

fs::path workDir() {
    static const fs::path dir = [] {
        char pattern[] = "/tmp/parlivo-video-bench.XXXXXX";
        const char* made = mkdtemp(pattern);
        return fs::path(made ? made : "/tmp");
    }();
    return dir;
}

fs::path clip() {
    static const fs::path path = [] {
        const fs::path file = workDir() / "clip.mov";
        platform::Subprocess::run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                   "testsrc=size=1280x720:rate=25", "-f", "lavfi", "-i", "sine", "-t", "5",
                                   "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", file.string()});
        return file;
    }();
    return path;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void BM_ConverterExportAgainstDirectFfmpeg(benchmark::State& state) {
    const std::string preset(platform::AssetExportSession::preset640x480);
    const fs::path input = clip();
    const fs::path viaConverter = workDir() / "converter.mov";
    const fs::path direct = workDir() / "direct.mov";
    auto session = platform::AssetExportSession::make(input, preset);
    const auto command = session->arguments(direct);
    auto converter = tovak::WQVideoConverter::create();

    std::vector<double> converterTimes, directTimes;
    bool directFirst = true;
    for (auto _ : state) {
        auto runDirect = [&] {
            const auto start = Clock::now();
            const auto result = platform::Subprocess::run(command);
            directTimes.push_back(seconds(start));
            if (!result.succeeded()) state.SkipWithError("ffmpeg failed");
        };
        auto runConverter = [&] {
            bool done = false, completed = false;
            const auto start = Clock::now();
            converter->convertVideoToMPEG4Container(input, viaConverter, preset, [&](bool ok, auto) {
                completed = ok;
                done = true;
            });
            while (!done) g_main_context_iteration(nullptr, TRUE);
            converterTimes.push_back(seconds(start));
            if (!completed) state.SkipWithError("export failed");
        };
        // Alternating which goes first keeps warm caches and clock changes from favouring one.
        if (directFirst) {
            runDirect();
            runConverter();
        } else {
            runConverter();
            runDirect();
        }
        directFirst = !directFirst;
        state.SetIterationTime(converterTimes.back());
    }
    state.counters["direct_s"] = median(directTimes);
    state.counters["converter_s"] = median(converterTimes);
    state.counters["ratio"] = median(converterTimes) / median(directTimes);
    // Each pair ran back to back under the same load, so the median of the pairs' ratios is
    // the steadier figure on a busy machine.
    std::vector<double> pairRatios;
    for (std::size_t i = 0; i < converterTimes.size() && i < directTimes.size(); ++i)
        pairRatios.push_back(converterTimes[i] / directTimes[i]);
    state.counters["pair_ratio"] = median(pairRatios);
}

}  // namespace

BENCHMARK(BM_ConverterExportAgainstDirectFfmpeg)->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
