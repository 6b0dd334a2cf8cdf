// Verifying and loading a configuration with 1 MB of scripts, beside what the three libraries
// alone take on the same bytes (AES-128-CBC in OpenSSL, zstd, libplist's binary parser).
// The two are measured round by round (VerifyAndLoadAgainstLibraries); the figure is the median
// of the per-round ratio ours/libraries, which should stay at or below 1.3. The libraries one by
// one and our own parser are measured alone for reference.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <plist/plist.h>

#include <chrono>
#include <random>
#include <string>

#include "PayloadWriter.h"
#include "RoundRatios.h"
#include "WQApplicationInfo.h"
#include "config/DynamicData.h"
#include "config/EncryptionKey.h"
#include "config/TextPatch.h"
#include "system/Compression.h"
#include "system/Crypto.h"
#include "system/URLSession.h"

using parlivo::config::Bytes;
using platform::PropertyList;

namespace {

// Half a megabyte of script-like text per script: identifiers, numbers and punctuation, so it
// compresses like real code rather than like zeros or noise.
std::string script(unsigned seed) {
    static const char* words[] = {"function", "return", "var", "const", "this", "window", "document", "wq",
                                  "if", "else", "null", "true", "false", "length", "push", "message"};
    std::mt19937 rng(seed);
    std::string out;
    while (out.size() < 512 * 1024) {
        out += words[rng() % 16];
        out += std::to_string(rng() % 1000);
        out += " (){};.,=+"[rng() % 10];
        if (rng() % 12 == 0) out += '\n';
    }
    return out;
}

struct Fixture {
    Bytes payload, compressed, plist;
    Fixture() {
        PropertyList root = PropertyList::dictionary();
        root.set("ProductId", 3200);
        root.set("Version", tovak::WQApplicationInfo::bundleVersionString());
        root.set("DynamicDataVersion", "bench");
        root.set("InjectJsStart", PropertyList::data(script(1)));
        root.set("InjectJsEnd", PropertyList::data(script(2)));
        root.set("CouldNotConnect", PropertyList::data("<html></html>"));
        root.set("UserAgent", "Mozilla/5.0");
        for (const char* key : {"AllowMessageSendingFromNotification", "AddDraggingOverlay", "CustomPageLoading", "Send"})
            root.set(key, true);
        for (const char* key : {"PageURL", "BaseURL", "SupportPageURL", "FAQURL", "PrivacyURL"})
            root.set(key, "https://example.org/");
        root.set("MovieFileMode", 1);
        root.set("MovieMaximumFileSize", 1);
        root.set("MovieTargetFileSize", 1);
        root.set("MovieMaximumLength", 1);
        root.set("MovieExportPresets", PropertyList::Array{"A"});
        root.set("MovieRecordPreset", "R");
        root.set("Patches", PropertyList(parlivo::TextPatch::archiveList({parlivo::TextPatch::make("1", "", "a", "b")})));
        payload = parlivo::config::seal(root, parlivo::EncryptionKey::key(), parlivo::EncryptionKey::iv());
        compressed = *platform::Crypto::aes128CbcDecrypt(payload, parlivo::EncryptionKey::key(), parlivo::EncryptionKey::iv());
        plist = *platform::Compression::decompress(compressed, 64 << 20);
    }
};

const Fixture& fixture() {
    static Fixture f;
    return f;
}

// One verify-and-load through DynamicData.
void verifyAndLoad(parlivo::DynamicData& client, const Fixture& f, benchmark::State& state) {
    client.resetValues();
    if (!client.processConfigurationData(f.payload, true))
        state.SkipWithError(client.errorDescription.value_or("payload refused").c_str());
}

// The same bytes through the three libraries alone.
void librariesAlone(const Fixture& f) {
    const std::string key = parlivo::EncryptionKey::key(), iv = parlivo::EncryptionKey::iv();
    auto plain = platform::Crypto::aes128CbcDecrypt(f.payload, key, iv);
    auto inflated = platform::Compression::decompress(*plain, 64 << 20);
    plist_t root = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(inflated->data()), uint32_t(inflated->size()), &root);
    benchmark::DoNotOptimize(root);
    plist_free(root);
}

double secondsOf(const auto& work) {
    const auto begin = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

// Each iteration is one round: a verify-and-load and the libraries alone on the same bytes, one
// right after the other, the side that goes first alternating from round to round. The time is
// the round's; the figure is ratio_median (with ratio_min and ratio_max) of VerifyAndLoad over
// LibrariesAlone, and each side's median in microseconds.
void VerifyAndLoadAgainstLibraries(benchmark::State& state) {
    static platform::URLSession session({"", "bench"});
    auto client = parlivo::DynamicData::create(session, {});
    const auto& f = fixture();
    bench::RoundRatios rounds;
    bool oursFirst = true;
    for (auto _ : state) {
        double ours = 0, libraries = 0;
        if (oursFirst) {
            ours = secondsOf([&] { verifyAndLoad(*client, f, state); });
            libraries = secondsOf([&] { librariesAlone(f); });
        } else {
            libraries = secondsOf([&] { librariesAlone(f); });
            ours = secondsOf([&] { verifyAndLoad(*client, f, state); });
        }
        oursFirst = !oursFirst;
        state.SetIterationTime(ours + libraries);
        rounds.add(ours * 1e6, libraries * 1e6);
    }
    rounds.report(state, "VerifyAndLoad_us", "LibrariesAlone_us");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.payload.size()) * 2);
}

void AesAlone(benchmark::State& state) {
    const auto& f = fixture();
    const std::string key = parlivo::EncryptionKey::key(), iv = parlivo::EncryptionKey::iv();
    for (auto _ : state) benchmark::DoNotOptimize(platform::Crypto::aes128CbcDecrypt(f.payload, key, iv));
}

void ZstdAlone(benchmark::State& state) {
    const auto& f = fixture();
    for (auto _ : state) benchmark::DoNotOptimize(platform::Compression::decompress(f.compressed, 64 << 20));
}

void PlistAlone(benchmark::State& state) {
    const auto& f = fixture();
    for (auto _ : state) {
        plist_t root = nullptr;
        plist_from_bin(reinterpret_cast<const char*>(f.plist.data()), uint32_t(f.plist.size()), &root);
        benchmark::DoNotOptimize(root);
        plist_free(root);
    }
}

// The platform layer's parser alone (libplist plus the conversion into PropertyList).
void OurParse(benchmark::State& state) {
    const auto& f = fixture();
    for (auto _ : state) benchmark::DoNotOptimize(PropertyList::parse(f.plist));
}

}  // namespace

BENCHMARK(VerifyAndLoadAgainstLibraries)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2);
BENCHMARK(AesAlone)->Unit(benchmark::kMicrosecond);
BENCHMARK(ZstdAlone)->Unit(benchmark::kMicrosecond);
BENCHMARK(PlistAlone)->Unit(benchmark::kMicrosecond);

BENCHMARK(OurParse)->Unit(benchmark::kMicrosecond);
int main(int argc, char** argv) {
    // Both sides allocate and free megabytes a round. Left to itself, the allocator hands freed
    // memory back to the system, and whichever side runs next pays to have it mapped and cleared
    // again, page by page: tens of milliseconds on a busy machine, which would measure the
    // kernel rather than the code. Everything stays in the process's own heap instead.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
