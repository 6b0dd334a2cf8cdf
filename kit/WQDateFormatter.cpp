#include "WQDateFormatter.h"

#include <unicode/locid.h>
#include <unicode/parsepos.h>
#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

#include <cmath>

namespace tovak {

namespace {

std::optional<WQDateFormatter::Date> parse(std::string_view text, const char* pattern) {
    if (text.size() > 256) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    icu::SimpleDateFormat formatter(icu::UnicodeString(pattern, -1, US_INV), icu::Locale("en_US_POSIX"), status);
    if (U_FAILURE(status)) return std::nullopt;
    formatter.setLenient(false);
    const icu::UnicodeString input =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    icu::ParsePosition position(0);
    const UDate milliseconds = formatter.parse(input, position);
    if (position.getErrorIndex() >= 0 || position.getIndex() != input.length() || !std::isfinite(milliseconds))
        return std::nullopt;
    return WQDateFormatter::Date(std::chrono::duration_cast<WQDateFormatter::Date::duration>(
        std::chrono::duration<double, std::milli>(milliseconds)));
}

constexpr const char* kFullPattern = "yyyy-MM-dd'T'HH:mm:ssZZZZ";
constexpr const char* kDateOnlyPattern = "yyyy-MM-dd";

}  // namespace

std::optional<WQDateFormatter::Date> WQDateFormatter::dateISO8601(std::string_view text) {
    if (auto date = dateISO8601Full(text)) return date;
    return dateISO8601NoTime(text);
}

std::optional<WQDateFormatter::Date> WQDateFormatter::dateISO8601Full(std::string_view text) {
    return parse(text, kFullPattern);
}

std::optional<WQDateFormatter::Date> WQDateFormatter::dateISO8601NoTime(std::string_view text) {
    return parse(text, kDateOnlyPattern);
}

}  // namespace tovak
