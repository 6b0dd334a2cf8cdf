#pragma once

#include <filesystem>

namespace testsupport {

// Writes a mono 16-bit PCM WAV file of a soft tone, exactly `seconds` long (rounded to whole
// samples at `sampleRate`). Returns false when the file could not be written.
bool writeWavFile(const std::filesystem::path& path, double seconds, int sampleRate = 8000);

}  // namespace testsupport
