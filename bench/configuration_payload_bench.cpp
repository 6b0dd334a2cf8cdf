// Verifying and loading a configuration with 1 MB of scripts, beside what the three libraries
// alone take on the same bytes (AES-128-CBC in OpenSSL, zstd, libplist's binary parser).
// The figure: VerifyAndLoad / LibrariesAlone, which should stay at or below 1.3.
#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <random>
#include <string>

#include "PayloadWriter.h"
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

void VerifyAndLoad(benchmark::State& state) {
    static platform::URLSession session({"", "bench"});
    auto client = parlivo::DynamicData::create(session, {});
    const auto& f = fixture();
    for (auto _ : state) {
        client->resetValues();
        if (!client->processConfigurationData(f.payload, true))
            state.SkipWithError(client->errorDescription.value_or("payload refused").c_str());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.payload.size()));
}

void LibrariesAlone(benchmark::State& state) {
    const auto& f = fixture();
    const std::string key = parlivo::EncryptionKey::key(), iv = parlivo::EncryptionKey::iv();
    for (auto _ : state) {
        auto plain = platform::Crypto::aes128CbcDecrypt(f.payload, key, iv);
        auto inflated = platform::Compression::decompress(*plain, 64 << 20);
        plist_t root = nullptr;
        plist_from_bin(reinterpret_cast<const char*>(inflated->data()), uint32_t(inflated->size()), &root);
        benchmark::DoNotOptimize(root);
        plist_free(root);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.payload.size()));
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

BENCHMARK(VerifyAndLoad)->Unit(benchmark::kMicrosecond);
BENCHMARK(LibrariesAlone)->Unit(benchmark::kMicrosecond);
BENCHMARK(AesAlone)->Unit(benchmark::kMicrosecond);
BENCHMARK(ZstdAlone)->Unit(benchmark::kMicrosecond);
BENCHMARK(PlistAlone)->Unit(benchmark::kMicrosecond);

BENCHMARK(OurParse)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
