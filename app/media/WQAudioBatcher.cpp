#include "media/WQAudioBatcher.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace parlivo {
namespace {

constexpr std::string_view kOpen = "wqSendAudio([";
constexpr std::string_view kClose = "]);";

}  // namespace

void WQAudioBatcher::reset(std::uint32_t batchSize) {
    batchSize_ = std::max<std::uint32_t>(batchSize, 1);
    held_ = 0;
    text_.clear();
    text_.reserve(kOpen.size() + std::size_t(batchSize_) * 10 + kClose.size());
    text_ += kOpen;
}

void WQAudioBatcher::appendSample(std::string& text, float sample) {
    // std::to_chars ignores the locale, so the page never sees "0,5".
    char buffer[64];
    const double value = std::isfinite(sample) ? double(sample) : 0.0;
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    text.append(buffer, result.ptr);
}

void WQAudioBatcher::append(const float* samples, std::size_t count, const Emit& emit) {
    for (std::size_t i = 0; i < count; ++i) {
        if (held_ > 0) text_ += ',';
        appendSample(text_, samples[i]);
        ++held_;
        if (held_ >= batchSize_) {
            text_ += kClose;
            std::string script;
            script.swap(text_);
            reset(batchSize_);
            if (emit) emit(std::move(script), i);
        }
    }
}

}  // namespace parlivo
