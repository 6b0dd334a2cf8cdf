#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace parlivo {

// Collects microphone samples into the page's batches: each full batch becomes one script,
// "wqSendAudio([s1,s2,...]);", with every sample written in fixed notation with six decimals
// ("0.500000", "-0.250000"), independent of the process locale. Not thread-safe: the recorder
// guards it.
class WQAudioBatcher {
public:
    // Called for each full batch with its script and the position, in the samples given to
    // append(), of the batch's last sample.
    using Emit = std::function<void(std::string script, std::size_t lastSampleIndex)>;

    explicit WQAudioBatcher(std::uint32_t batchSize = 1) { reset(batchSize); }

    // Drops the samples held and takes a new batch size (at least 1).
    void reset(std::uint32_t batchSize);
    void append(const float* samples, std::size_t count, const Emit& emit);

    std::uint32_t batchSize() const { return batchSize_; }
    std::uint32_t heldSamples() const { return held_; }

    // One sample as the page receives it; a sample that is not a number is sent as 0.
    static void appendSample(std::string& text, float sample);

private:
    std::string text_;
    std::uint32_t held_ = 0;
    std::uint32_t batchSize_ = 1;
};

}  // namespace parlivo
