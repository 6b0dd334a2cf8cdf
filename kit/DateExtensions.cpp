#include "DateExtensions.h"

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>

namespace tovak {

namespace {

std::string styledDate(std::chrono::system_clock::time_point date, icu::DateFormat::EStyle style,
                       std::string_view localeIdentifier) {
    const icu::Locale locale =
        localeIdentifier.empty() ? icu::Locale::getDefault() : icu::Locale(std::string(localeIdentifier).c_str());
    std::unique_ptr<icu::DateFormat> formatter(icu::DateFormat::createDateInstance(style, locale));
    if (!formatter) return {};
    const double milliseconds =
        std::chrono::duration<double, std::milli>(date.time_since_epoch()).count();
    icu::UnicodeString text;
    formatter->format(milliseconds, text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

}  // namespace

std::string shortStyleDate(std::chrono::system_clock::time_point date, std::string_view localeIdentifier) {
    return styledDate(date, icu::DateFormat::kShort, localeIdentifier);
}

std::string mediumStyleDate(std::chrono::system_clock::time_point date, std::string_view localeIdentifier) {
    return styledDate(date, icu::DateFormat::kMedium, localeIdentifier);
}

std::string longStyleDate(std::chrono::system_clock::time_point date, std::string_view localeIdentifier) {
    return styledDate(date, icu::DateFormat::kLong, localeIdentifier);
}

std::string fullStyleDate(std::chrono::system_clock::time_point date, std::string_view localeIdentifier) {
    return styledDate(date, icu::DateFormat::kFull, localeIdentifier);
}

}  // namespace tovak
