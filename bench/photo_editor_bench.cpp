// The photo editor following a slider on a 12-megapixel photo: the preview recompute must stay
// under 16 ms (one frame at 60 Hz). The full-size render (only when the photo is sent) and the
// one-off preview scaling at load are measured for reference.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "media/WQPhotoEditor.h"
#include "media/WQPhotoFilters.h"

namespace {

using namespace parlivo;

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

// Every iteration is a slider step with the vignette and an effect on, the costliest case.
void BM_PreviewRecompute(benchmark::State& state) {
    const tovak::RGBAImage preview =
        scaledToFit(photo(), WQPhotoEditor::previewMaximumSize, WQPhotoEditor::previewMaximumSize);
    tovak::RGBAImage out;
    double brightness = -0.5;
    for (auto _ : state) {
        brightness = brightness > 0.5 ? -0.5 : brightness + 0.01;
        applyPhotoAdjustments(preview, {brightness, 1.3, 1.2, 0.6, WQMediaEffect::instant}, out);
        benchmark::DoNotOptimize(out.pixels.data());
    }
    state.counters["preview_pixels"] = double(preview.width) * preview.height;
}
BENCHMARK(BM_PreviewRecompute)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FullSizeRender(benchmark::State& state) {
    tovak::RGBAImage out;
    for (auto _ : state) {
        applyPhotoAdjustments(photo(), {0.1, 1.3, 1.2, 0.6, WQMediaEffect::instant}, out);
        benchmark::DoNotOptimize(out.pixels.data());
    }
}
BENCHMARK(BM_FullSizeRender)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PreviewScalingAtLoad(benchmark::State& state) {
    for (auto _ : state) {
        auto preview = scaledToFit(photo(), WQPhotoEditor::previewMaximumSize, WQPhotoEditor::previewMaximumSize);
        benchmark::DoNotOptimize(preview.pixels.data());
    }
}
BENCHMARK(BM_PreviewScalingAtLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
