#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace tovak {

// Reads dates in two ISO 8601 shapes, with the fixed locale "en_US_POSIX" (so the user's
// locale and calendar settings do not matter) and the current time zone. The whole text must
// match; none otherwise.
//   full:      "yyyy-MM-dd'T'HH:mm:ssZZZZ"  2024-03-01T12:30:00GMT+01:00
//   date only: "yyyy-MM-dd"                 2024-03-01 (the start of that day)
class WQDateFormatter {
public:
    using Date = std::chrono::system_clock::time_point;

    // The full shape, else the date-only shape.
    static std::optional<Date> dateISO8601(std::string_view text);
    static std::optional<Date> dateISO8601Full(std::string_view text);
    static std::optional<Date> dateISO8601NoTime(std::string_view text);
};

}  // namespace tovak
