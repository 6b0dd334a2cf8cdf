// Figures of the media conversion chain, each against the same work done directly, the two
// alternating, medians over the repetitions ("ratio" = ours / direct of the medians of wall
// time, "pair_ratio" = the median of each pair's ratio, "cpu_ratio" the same for the processor
// time of this process and its children, which a busy machine disturbs least):
//
// - BM_JPEGEncode12MP: a decoded 12-megapixel photo to JPEG through Tovak's encoder, as the
//   HEIF conversion does it, against tjCompress2 alone on the same pixels. Figure: <= 1.2.
// - BM_HEIFToJPEG12MP: the whole HEIF-to-JPEG conversion of that photo against libheif's decode
//   plus tjCompress2 written out directly (for information; the decode dominates).
// - BM_HEIFPeakMemory: the peak memory of one HEIF-to-JPEG conversion: the decoder process's
//   peak RSS ("decoder_MiB", run as the conversion runs it) and how much the calling process's
//   peak RSS grew ("caller_growth_MiB", over "caller_base_MiB" before it), each in a fresh process. On /0
//   the 972-byte HEIF whose grid composes 59250x26980 (refused: "converted" 0), on /1 the
//   12-megapixel photo above, on /2 the 972-byte file with its grid at 30000x26980 (refused by
//   the decoder's memory limit). Figure: bounded (the decoder's limits, HEIFConversion.h).
// - BM_ChainMovie20MB: a 20 MB movie through the chain (transcode, read, Base64, page call)
//   against the same ffmpeg command alone. Figure: <= 1.05.
#include <benchmark/benchmark.h>
#include <glib.h>
#include <sys/resource.h>
#include <libheif/heif.h>
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>
#include <vector>

#include "JPEGEncoding.h"
#include "media/AssetExportSession.h"
#include "media/HEIFConversion.h"
#include "media/WQMediaConversionChain.h"
#include "system/Subprocess.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 4032, kHeight = 3024;  // 12.2 megapixels, a phone camera's photo

fs::path workDir() {
    static const fs::path dir = [] {
        char pattern[] = "/tmp/parlivo-media-bench.XXXXXX";
        const char* made = mkdtemp(pattern);
        return fs::path(made ? made : "/tmp");
    }();
    return dir;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Processor time (user and system) of this process and of its children that have ended.
double processorSeconds() {
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

double pairMedian(const std::vector<double>& ours, const std::vector<double>& direct) {
    std::vector<double> pairs;
    for (std::size_t i = 0; i < ours.size() && i < direct.size(); ++i) pairs.push_back(ours[i] / direct[i]);
    return median(pairs);
}

void report(benchmark::State& state, const std::vector<double>& ours, const std::vector<double>& direct,
            const std::vector<double>& oursCPU, const std::vector<double>& directCPU) {
    state.counters["direct_s"] = median(direct);
    state.counters["ours_s"] = median(ours);
    state.counters["ratio"] = median(ours) / median(direct);
    state.counters["pair_ratio"] = pairMedian(ours, direct);
    state.counters["cpu_ratio"] = median(oursCPU) / median(directCPU);
}

// Runs `ours` and `direct` in turn, alternating which goes first.
template <class Ours, class Direct>
void alternate(benchmark::State& state, Ours ours, Direct direct) {
    std::vector<double> oursTimes, directTimes, oursCPU, directCPU;
    bool directFirst = true;
    for (auto _ : state) {
        auto timeDirect = [&] {
            const double cpu = processorSeconds();
            const auto start = Clock::now();
            direct();
            directTimes.push_back(seconds(start));
            directCPU.push_back(processorSeconds() - cpu);
        };
        auto timeOurs = [&] {
            const double cpu = processorSeconds();
            const auto start = Clock::now();
            ours();
            oursTimes.push_back(seconds(start));
            oursCPU.push_back(processorSeconds() - cpu);
        };
        if (directFirst) {
            timeDirect();
            timeOurs();
        } else {
            timeOurs();
            timeDirect();
        }
        directFirst = !directFirst;
        state.SetIterationTime(oursTimes.back());
    }
    report(state, oursTimes, directTimes, oursCPU, directCPU);
}

// A detailed picture as packed RGB: a Mandelbrot render (edges and gradients) with some grain,
// as a camera's sensor gives it.
const std::vector<std::uint8_t>& photoPixels() {
    static const std::vector<std::uint8_t> pixels = [] {
        const fs::path raw = workDir() / "photo.rgb";
        platform::Subprocess::run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                   "mandelbrot=size=" + std::to_string(kWidth) + "x" + std::to_string(kHeight),
                                   "-vf", "noise=alls=8", "-frames:v", "1", "-pix_fmt", "rgb24", "-f", "rawvideo", raw.string()});
        std::ifstream in(raw, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    return pixels;
}

// The photo as a HEIC file, encoded once.
const std::vector<std::uint8_t>& photoHEIF() {
    static const std::vector<std::uint8_t> file = [] {
        const auto& pixels = photoPixels();
        heif_image* image = nullptr;
        heif_image_create(kWidth, kHeight, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
        heif_image_add_plane(image, heif_channel_interleaved, kWidth, kHeight, 8);
        int stride = 0;
        std::uint8_t* rows = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < kHeight; ++y)
            std::copy_n(pixels.data() + std::size_t(y) * kWidth * 3, kWidth * 3, rows + std::size_t(y) * stride);
        heif_context* context = heif_context_alloc();
        heif_encoder* encoder = nullptr;
        heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
        heif_encoder_set_lossy_quality(encoder, 80);
        heif_context_encode_image(context, image, encoder, nullptr, nullptr);
        const fs::path path = workDir() / "photo.heic";
        heif_context_write_to_file(context, path.c_str());
        heif_encoder_release(encoder);
        heif_context_free(context);
        heif_image_release(image);
        std::ifstream in(path, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    return file;
}

std::size_t tjEncode(const std::uint8_t* rgb, int width, int height, int stride) {
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb, width, stride, height, TJPF_RGB, &jpeg, &size, TJSAMP_420, 75, TJFLAG_ACCURATEDCT);
    tjFree(jpeg);
    tjDestroy(handle);
    return size;
}

void BM_JPEGEncode12MP(benchmark::State& state) {
    const auto& pixels = photoPixels();
    if (pixels.size() != std::size_t(kWidth) * kHeight * 3) return state.SkipWithError("no photo");
    alternate(
        state,
        [&] {
            auto jpeg = tovak::getJPEGDataWithQuality(pixels.data(), kWidth, kHeight, kWidth * 3,
                                                      parlivo::WQMediaConversionChain::heifJPEGQuality);
            benchmark::DoNotOptimize(jpeg);
        },
        [&] { benchmark::DoNotOptimize(tjEncode(pixels.data(), kWidth, kHeight, kWidth * 3)); });
}

void BM_HEIFToJPEG12MP(benchmark::State& state) {
    const auto& file = photoHEIF();
    alternate(
        state,
        [&] {
            auto jpeg = parlivo::HEIFConversion::jpegData(file, parlivo::WQMediaConversionChain::heifJPEGQuality);
            if (!jpeg) state.SkipWithError("conversion failed");
        },
        [&] {
            heif_context* context = heif_context_alloc();
            heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr);
            heif_image_handle* handle = nullptr;
            heif_context_get_primary_image_handle(context, &handle);
            heif_image* image = nullptr;
            heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr);
            int stride = 0;
            const std::uint8_t* rows = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
            benchmark::DoNotOptimize(tjEncode(rows, kWidth, kHeight, stride));
            heif_image_release(image);
            heif_image_handle_release(handle);
            heif_context_free(context);
        });
}

class CollectingPage : public platform::JavaScriptEvaluator {
public:
    std::size_t scripts = 0;
    std::size_t lastLength = 0;
    void evaluateJavaScript(const std::string& script, Completion) override {
        ++scripts;
        lastLength = script.size();
    }
};

void BM_ChainMovie20MB(benchmark::State& state) {
    // 20 s of 720p at 8 Mbit/s: about 20 MB, over a 10 MB target, so the chain transcodes it.
    const fs::path movie = workDir() / "movie.mov";
    if (!fs::exists(movie))
        platform::Subprocess::run({"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                                   "testsrc2=size=1280x720:rate=30", "-f", "lavfi", "-i", "sine", "-t", "20", "-vf",
                                   "noise=alls=12:allf=t", "-c:v", "libx264", "-preset", "veryfast", "-b:v", "8M",
                                   "-maxrate", "8M", "-bufsize", "8M", "-c:a", "aac", movie.string()});
    state.counters["movie_MB"] = double(fs::file_size(movie)) / 1e6;
    constexpr std::int64_t target = 10'000'000;

    // The preset the converter will pick, and its command run directly.
    std::string chosen;
    for (const auto& preset : tovak::WQVideoConverter::defaultPresets()) {
        auto session = platform::AssetExportSession::make(movie, preset);
        if (session->estimatedOutputFileLength() < std::uint64_t(target)) {
            chosen = preset;
            break;
        }
    }
    if (chosen.empty()) return state.SkipWithError("no preset fits");
    auto session = platform::AssetExportSession::make(movie, chosen);
    const auto command = session->arguments(workDir() / "direct.mov");

    auto page = std::make_shared<CollectingPage>();
    auto chain = parlivo::WQMediaConversionChain::create(tovak::WQVideoConverter::create());
    chain->setWebView(page);
    chain->movieSettings = [] {
        return parlivo::WQMediaConversionChain::MovieSettings{parlivo::MovieFileMode::avFoundation, target,
                                                              std::nullopt};
    };
    alternate(
        state,
        [&] {
            const std::size_t before = page->scripts;
            chain->convertNextFile({movie}, std::nullopt);
            while (page->scripts == before) g_main_context_iteration(nullptr, TRUE);
        },
        [&] {
            if (!platform::Subprocess::run(command).succeeded()) state.SkipWithError("ffmpeg failed");
        });
    state.counters["script_MB"] = double(page->lastLength) / 1e6;
}

}  // namespace

// A process's own peak resident size (VmHWM, its address space's high-water mark, which
// starts afresh at exec; getrusage's figure counts the parent's size at the spawn).
long peakKiB() {
    long peak = -1;
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "VmHWM: %ld kB", &peak) == 1) break;
        std::fclose(status);
    }
    return peak;
}

// One conversion in a fresh process of this program (`--convert-heif FILE`), so that its peak
// is the conversion's and not the benchmarks' before it: prints its peak before and after
// converting, in KiB, and 1 when a JPEG came out.
int convertOnce(const char* path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const long before = peakKiB();
    const bool converted =
        parlivo::HEIFConversion::jpegData(file, parlivo::WQMediaConversionChain::heifJPEGQuality).has_value();
    std::printf("%ld %ld %d\n", before, peakKiB(), converted ? 1 : 0);
    return 0;
}

// The decoder run as the conversion runs it, with its limits, reporting its own peak.
long decoderPeakKiB(const fs::path& file) {
    const fs::path decoder = fs::path(PARLIVO_BUILD_DIR) / "libexec/parlivo-for-whatsapp/parlivo-heif-decoder";
    const std::string command = "exec '" + decoder.string() + "' " +
                                std::to_string(parlivo::WQMediaConversionChain::heifJPEGQuality) + " " +
                                std::to_string(parlivo::HEIFConversion::decoderMemoryLimit) + " " +
                                std::to_string(parlivo::HEIFConversion::decoderCPUSeconds) + " < '" +
                                file.string() + "' > /dev/null";
    const auto result = platform::Subprocess::run({"/bin/sh", "-c", command});
    const auto at = result.standardError.rfind("peak RSS ");
    return at == std::string::npos ? -1 : std::atol(result.standardError.c_str() + at + 9);
}

void BM_HEIFPeakMemory(benchmark::State& state) {
    const fs::path sample = fs::path(PARLIVO_SOURCE_DIR) / "tests/fixtures/media/grid-59250x26980.heic";
    fs::path file = sample;
    if (state.range(0) == 1) {
        photoHEIF();
        file = workDir() / "photo.heic";
    } else if (state.range(0) == 2) {
        // The same file with its grid composing 30000x26980: under libheif's side limit, so only
        // the decoder's memory limit stops it.
        std::ifstream in(sample, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t at = 0x63;  // the grid's output width, 16 bits
        if (bytes.size() < at + 2 || std::uint8_t(bytes[at]) != 0xE7 || std::uint8_t(bytes[at + 1]) != 0x72) {
            state.SkipWithError("unexpected sample");
            return;
        }
        bytes[at] = char(30000 >> 8);
        bytes[at + 1] = char(30000 & 0xFF);
        file = workDir() / "grid-30000x26980.heic";
        std::ofstream(file, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    }
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    double decoder = 0, base = 0, growth = 0;
    int converted = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto result = platform::Subprocess::run({self, "--convert-heif", file.string()});
        state.SetIterationTime(seconds(start));
        long beforeKiB = 0, afterKiB = 0;
        const long decoderKiB = decoderPeakKiB(file);
        if (!result.succeeded() || decoderKiB < 0 ||
            std::sscanf(result.standardOutput.c_str(), "%ld %ld %d", &beforeKiB, &afterKiB, &converted) != 3) {
            state.SkipWithError("the conversion process failed");
            return;
        }
        decoder = std::max(decoder, decoderKiB / 1024.0);
        base = std::max(base, beforeKiB / 1024.0);
        growth = std::max(growth, (afterKiB - beforeKiB) / 1024.0);
    }
    state.counters["decoder_MiB"] = decoder;
    state.counters["caller_base_MiB"] = base;
    state.counters["caller_growth_MiB"] = growth;
    state.counters["converted"] = converted;
}

BENCHMARK(BM_JPEGEncode12MP)->Iterations(15)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HEIFToJPEG12MP)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HEIFPeakMemory)->Arg(0)->Arg(1)->Arg(2)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChainMovie20MB)->Iterations(11)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--convert-heif") return convertOnce(argv[2]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
