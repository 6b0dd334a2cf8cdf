#pragma once

#include <concepts>
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
    // Integers keep every digit (a double would round past 2^53).
    template <std::integral T>
        requires(!std::same_as<T, bool>)
    static std::string decimalString(T number, std::string_view localeIdentifier = {}) {
        return integerString(static_cast<std::int64_t>(number), localeIdentifier);
    }

private:
    static std::string integerString(std::int64_t number, std::string_view localeIdentifier);
};

}  // namespace tovak
