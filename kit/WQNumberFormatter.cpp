#include "WQNumberFormatter.h"

#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/unistr.h>

#include <memory>

namespace tovak {

namespace {

std::unique_ptr<icu::NumberFormat> decimalFormatter(std::string_view localeIdentifier) {
    const icu::Locale locale =
        localeIdentifier.empty() ? icu::Locale::getDefault() : icu::Locale(std::string(localeIdentifier).c_str());
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> formatter(icu::NumberFormat::createInstance(locale, UNUM_DECIMAL, status));
    if (U_FAILURE(status)) return nullptr;
    return formatter;
}

std::string utf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

}  // namespace

std::string WQNumberFormatter::decimalString(std::optional<double> number, std::string_view localeIdentifier) {
    if (!number) return "0";
    auto formatter = decimalFormatter(localeIdentifier);
    if (!formatter) return "0";
    icu::UnicodeString text;
    formatter->format(*number, text);
    return text.isEmpty() ? "0" : utf8(text);
}

std::string WQNumberFormatter::integerString(std::string_view digits, std::string_view localeIdentifier) {
    auto formatter = decimalFormatter(localeIdentifier);
    if (!formatter) return "0";
    icu::UnicodeString text;
    UErrorCode status = U_ZERO_ERROR;
    formatter->format(icu::StringPiece(digits.data(), static_cast<int32_t>(digits.size())), text, nullptr, status);
    return U_FAILURE(status) || text.isEmpty() ? "0" : utf8(text);
}

}  // namespace tovak
