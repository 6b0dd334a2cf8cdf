#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace tovak {

// A date written in one of the locale's four standard date styles, without a time of day, in
// the current time zone. `localeIdentifier` ("en_US", "de_DE") chooses the locale; empty means
// the user's current locale.
std::string shortStyleDate(std::chrono::system_clock::time_point date, std::string_view localeIdentifier = {});
std::string mediumStyleDate(std::chrono::system_clock::time_point date, std::string_view localeIdentifier = {});
std::string longStyleDate(std::chrono::system_clock::time_point date, std::string_view localeIdentifier = {});
std::string fullStyleDate(std::chrono::system_clock::time_point date, std::string_view localeIdentifier = {});

}  // namespace tovak
