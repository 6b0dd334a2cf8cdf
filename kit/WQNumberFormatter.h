#pragma once

#include <charconv>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tovak {

// A number written for people: the locale's decimal style, with grouping and the locale's
// decimal mark ("1,234,567" in English, "1.234.567" in German), at most three fraction digits.
// `localeIdentifier` chooses the locale; empty means the user's current locale. No number
// gives "0".
class WQNumberFormatter {
public:
    static std::string decimalString(std::optional<double> number, std::string_view localeIdentifier = {});
    static std::string decimalString(double number, std::string_view localeIdentifier = {}) {
        return decimalString(std::optional<double>(number), localeIdentifier);
    }
    // Integers keep every digit (a double would round past 2^53), unsigned ones above
    // INT64_MAX included.
    template <std::integral T>
        requires(!std::same_as<T, bool>)
    static std::string decimalString(T number, std::string_view localeIdentifier = {}) {
        char digits[24];
        const auto result = std::to_chars(digits, digits + sizeof digits, number);
        return integerString(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)), localeIdentifier);
    }

private:
    // `digits`: a whole number in plain decimal ("-123").
    static std::string integerString(std::string_view digits, std::string_view localeIdentifier);
};

}  // namespace tovak
