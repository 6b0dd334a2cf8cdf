#include "WavFile.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <vector>

namespace testsupport {

namespace {

void put16(std::vector<char>& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value & 0xff));
    out.push_back(static_cast<char>(value >> 8));
}

void put32(std::vector<char>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xff));
}

}  // namespace

bool writeWavFile(const std::filesystem::path& path, double seconds, int sampleRate) {
    const auto samples = static_cast<std::uint32_t>(std::llround(seconds * sampleRate));
    const std::uint32_t dataBytes = samples * 2;
    std::vector<char> out;
    out.reserve(44 + dataBytes);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put32(out, 36 + dataBytes);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(out, 16);
    put16(out, 1);  // PCM
    put16(out, 1);  // mono
    put32(out, static_cast<std::uint32_t>(sampleRate));
    put32(out, static_cast<std::uint32_t>(sampleRate) * 2);
    put16(out, 2);
    put16(out, 16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32(out, dataBytes);
    for (std::uint32_t i = 0; i < samples; ++i) {
        const double value = 0.2 * std::sin(2 * std::numbers::pi * 440.0 * i / sampleRate);
        put16(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(value * 32767)));
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(file);
}

}  // namespace testsupport
