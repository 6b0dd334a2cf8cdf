// The photo editor following a slider on a 12-megapixel photo: every step, the first included,
// must show its preview within 16 ms (one frame at 60 Hz).
//   EditorFirstStep     the first slider step after the editor has opened the photo, in a fresh
//                       process each iteration (nothing warm yet but what opening the photo did):
//                       from the slider's new value to the new preview in the editor's handler,
//                       through its worker and the main loop. Counters: the time to open the
//                       photo (load to first preview) and the warm steps that follow it
//                       (median and worst).
//   RecomputeFirstRun   the preview recompute alone into a fresh picture, as the first one in a
//                       fresh process: what a first step costs without the editor's preparation
//   PreviewRecompute    the warm preview recompute alone, with the vignette and an effect on
//                       (the costliest case; a first run outside the timing), worst step as max_ms
// The full-size render (only when the photo is sent) and the one-off preview scaling at load are
// measured for reference.
#include <benchmark/benchmark.h>
#include <glib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "RoundRatios.h"
#include "media/WQPhotoEditor.h"
#include "media/WQPhotoFilters.h"

namespace {

using namespace parlivo;
using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point begin) {
    return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
}

// A 4032 x 3024 photo (12.2 megapixels) with smooth gradients and some texture.
const tovak::RGBAImage& photo() {
    static const tovak::RGBAImage image = [] {
        tovak::RGBAImage made(4032, 3024);
        std::uint32_t noise = 12345;
        for (int y = 0; y < made.height; ++y) {
            for (int x = 0; x < made.width; ++x) {
                noise = noise * 1664525u + 1013904223u;
                std::uint8_t* p = &made.pixels[(std::size_t(y) * made.width + x) * 4];
                p[0] = std::uint8_t(x * 255 / made.width);
                p[1] = std::uint8_t(y * 255 / made.height);
                p[2] = std::uint8_t(noise >> 24);
                p[3] = 255;
            }
        }
        return made;
    }();
    return image;
}

const WQPhotoAdjustments kStep{0.1, 1.3, 1.2, 0.6, WQMediaEffect::instant};

// --- the measurements that need a fresh process: this program run again with --fresh=WHAT ---

// Opens the photo in an editor, then moves the brightness slider step by step, each step once the
// previous one is on show. Prints "open_ms first_ms warm_median_ms warm_max_ms".
int freshEditor() {
    tovak::RGBAImage copy = photo();
    auto editor = WQPhotoEditor::create();
    int previews = 0;
    editor->setPreviewHandler([&](const tovak::RGBAImage&) { ++previews; });
    auto until = [&](int count) {
        while (previews < count) g_main_context_iteration(nullptr, true);
    };
    editor->setVignette(kStep.vignette);
    editor->setContrast(kStep.contrast);
    editor->setSaturation(kStep.saturation);
    editor->setEffect(int(kStep.effect));
    auto begin = Clock::now();
    editor->loadImage(std::move(copy));
    until(1);
    const double openMs = millisecondsSince(begin);
    std::vector<double> steps;
    for (int i = 1; i <= 21; ++i) {
        begin = Clock::now();
        editor->setBrightness(-0.5 + i * 0.04);
        until(1 + i);
        steps.push_back(millisecondsSince(begin));
    }
    const double first = steps.front();
    steps.erase(steps.begin());
    std::printf("%f %f %f %f\n", openMs, first, bench::median(steps), *std::max_element(steps.begin(), steps.end()));
    return 0;
}

// The first recompute of the process, into a picture made for it. Prints "ms".
int freshRecompute() {
    const tovak::RGBAImage preview =
        scaledToFit(photo(), WQPhotoEditor::previewMaximumSize, WQPhotoEditor::previewMaximumSize);
    const auto begin = Clock::now();
    tovak::RGBAImage out;
    applyPhotoAdjustments(preview, kStep, out);
    benchmark::DoNotOptimize(out.pixels.data());
    std::printf("%f\n", millisecondsSince(begin));
    return 0;
}

// Runs this program with --fresh=WHAT and reads the numbers it prints.
std::vector<double> runFresh(benchmark::State& state, const char* what) {
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        state.SkipWithError("cannot find this program");
        return {};
    }
    const std::string command = "'" + std::string(self, std::size_t(length)) + "' --fresh=" + what;
    std::vector<double> numbers;
    if (FILE* child = popen(command.c_str(), "r")) {
        for (double value; std::fscanf(child, "%lf", &value) == 1;) numbers.push_back(value);
        if (pclose(child) != 0) numbers.clear();
    }
    if (numbers.empty()) state.SkipWithError("the fresh run failed");
    return numbers;
}

void EditorFirstStep(benchmark::State& state) {
    std::vector<double> open, warm, worst;
    double slowestFirst = 0;
    for (auto _ : state) {
        const auto numbers = runFresh(state, "editor");
        if (numbers.size() != 4) break;
        state.SetIterationTime(numbers[1] / 1000);
        open.push_back(numbers[0]);
        slowestFirst = std::max(slowestFirst, numbers[1]);
        warm.push_back(numbers[2]);
        worst.push_back(numbers[3]);
    }
    if (open.empty()) return;
    state.counters["first_max_ms"] = slowestFirst;
    state.counters["open_ms"] = bench::median(open);
    state.counters["warm_median_ms"] = bench::median(warm);
    state.counters["warm_max_ms"] = *std::max_element(worst.begin(), worst.end());
}
BENCHMARK(EditorFirstStep)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);

void RecomputeFirstRun(benchmark::State& state) {
    double slowest = 0;
    for (auto _ : state) {
        const auto numbers = runFresh(state, "recompute");
        if (numbers.size() != 1) break;
        state.SetIterationTime(numbers[0] / 1000);
        slowest = std::max(slowest, numbers[0]);
    }
    state.counters["max_ms"] = slowest;
}
BENCHMARK(RecomputeFirstRun)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);

void PreviewRecompute(benchmark::State& state) {
    const tovak::RGBAImage preview =
        scaledToFit(photo(), WQPhotoEditor::previewMaximumSize, WQPhotoEditor::previewMaximumSize);
    tovak::RGBAImage out;
    applyPhotoAdjustments(preview, kStep, out);  // the first run, not timed
    double brightness = -0.5, slowest = 0;
    for (auto _ : state) {
        brightness = brightness > 0.5 ? -0.5 : brightness + 0.01;
        WQPhotoAdjustments step = kStep;
        step.brightness = brightness;
        const auto begin = Clock::now();
        applyPhotoAdjustments(preview, step, out);
        benchmark::DoNotOptimize(out.pixels.data());
        const double ms = millisecondsSince(begin);
        state.SetIterationTime(ms / 1000);
        slowest = std::max(slowest, ms);
    }
    state.counters["preview_pixels"] = double(preview.width) * preview.height;
    state.counters["max_ms"] = slowest;
}
BENCHMARK(PreviewRecompute)->UseManualTime()->MinTime(2)->Unit(benchmark::kMillisecond);

void FullSizeRender(benchmark::State& state) {
    tovak::RGBAImage out;
    for (auto _ : state) {
        applyPhotoAdjustments(photo(), kStep, out);
        benchmark::DoNotOptimize(out.pixels.data());
    }
}
BENCHMARK(FullSizeRender)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

void PreviewScalingAtLoad(benchmark::State& state) {
    for (auto _ : state) {
        auto preview = scaledToFit(photo(), WQPhotoEditor::previewMaximumSize, WQPhotoEditor::previewMaximumSize);
        benchmark::DoNotOptimize(preview.pixels.data());
    }
}
BENCHMARK(PreviewScalingAtLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--fresh=editor") == 0) return freshEditor();
    if (argc == 2 && std::strcmp(argv[1], "--fresh=recompute") == 0) return freshRecompute();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
