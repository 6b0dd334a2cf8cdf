// Runs a fuzz target without libFuzzer: every file of the corpus folder, then deterministic
// mutations of each (bit flips, truncations, splices, byte runs). The mutations share one budget,
// so a corpus that grows with what fuzzing campaigns find keeps the run at a few seconds; it
// gives the same inputs every time.
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void run(const std::vector<uint8_t>& input) {
    LLVMFuzzerTestOneInput(input.data(), input.size());
}

std::vector<uint8_t> mutate(const std::vector<uint8_t>& seed, const std::vector<uint8_t>& other,
                            std::mt19937& rng) {
    std::vector<uint8_t> out = seed;
    auto pick = [&](size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    switch (pick(6)) {
    case 0:  // flip a few bits
        for (int i = 0; i < 4 && !out.empty(); ++i) out[pick(out.size())] ^= uint8_t(1u << pick(8));
        break;
    case 1:  // truncate
        out.resize(pick(out.size() + 1));
        break;
    case 2:  // overwrite with an interesting byte
        if (!out.empty()) {
            static const uint8_t interesting[] = {0x00, 0xff, 0x7f, 0x80, 0x10, 0xd0, 0xa0, 0x80 | 0x0f};
            out[pick(out.size())] = interesting[pick(sizeof interesting)];
        }
        break;
    case 3:  // splice with another corpus entry
        if (!other.empty()) {
            size_t cut = pick(out.size() + 1);
            out.resize(cut);
            out.insert(out.end(), other.begin() + pick(other.size()), other.end());
        }
        break;
    case 4:  // duplicate a run
        if (!out.empty()) {
            size_t at = pick(out.size()), len = std::min<size_t>(pick(64) + 1, out.size() - at);
            out.insert(out.begin() + at, out.begin() + at, out.begin() + at + len);
        }
        break;
    default:  // random bytes in place
        for (int i = 0; i < 8 && !out.empty(); ++i) out[pick(out.size())] = uint8_t(rng());
        break;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [MUTATIONS]\n", argv[0]);
        return 2;
    }
    const int budget = argc > 2 ? std::atoi(argv[2]) : 1500;
    std::vector<std::vector<uint8_t>> corpus;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1], ec))
        if (entry.is_regular_file()) corpus.push_back(readFile(entry.path()));
    if (ec || corpus.empty()) {
        std::fprintf(stderr, "no corpus in %s\n", argv[1]);
        return 2;
    }
    // Sorted, so the same corpus gives the same inputs whatever order the folder lists.
    std::sort(corpus.begin(), corpus.end());
    const int mutations = std::max(3, budget / int(corpus.size()));
    run({});
    std::mt19937 rng(20261210);
    size_t runs = 1;
    for (size_t i = 0; i < corpus.size(); ++i) {
        run(corpus[i]);
        ++runs;
        for (int m = 0; m < mutations; ++m, ++runs)
            run(mutate(corpus[i], corpus[(i + 1) % corpus.size()], rng));
    }
    std::printf("%zu inputs ran without a crash\n", runs);
    return 0;
}
