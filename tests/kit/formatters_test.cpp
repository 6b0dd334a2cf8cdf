// Date parsing with the fixed POSIX locale, the four date styles and decimal numbers, with
// fixed locales and a fixed time zone.
#include <gtest/gtest.h>

#include <limits>

#include <chrono>
#include <cstdlib>

#include "DateExtensions.h"
#include "WQDateFormatter.h"
#include "WQNumberFormatter.h"

using namespace tovak;
using namespace std::chrono;

namespace {

// The current time zone is read once by ICU: fix it before the first test.
const bool kTimeZoneSet = [] {
    setenv("TZ", "Europe/Berlin", 1);
    return true;
}();

sys_seconds utc(int y, unsigned m, unsigned d, int h = 0, int min = 0, int s = 0) {
    return sys_days(year(y) / month(m) / day(d)) + hours(h) + minutes(min) + seconds(s);
}

}  // namespace

TEST(WQDateFormatter, ReadsBothShapesExactly) {
    ASSERT_TRUE(kTimeZoneSet);
    struct Case {
        const char* text;
        std::optional<sys_seconds> full, dateOnly, either;
    } cases[] = {
        {"2024-03-01T12:30:00GMT+01:00", utc(2024, 3, 1, 11, 30), std::nullopt, utc(2024, 3, 1, 11, 30)},
        {"2024-07-01T00:00:05GMT-05:30", utc(2024, 7, 1, 5, 30, 5), std::nullopt, utc(2024, 7, 1, 5, 30, 5)},
        // The start of the day in the current time zone (Berlin: UTC+1 in winter, +2 in summer).
        {"2024-01-15", std::nullopt, utc(2024, 1, 14, 23), utc(2024, 1, 14, 23)},
        {"2024-07-15", std::nullopt, utc(2024, 7, 14, 22), utc(2024, 7, 14, 22)},
        {"2024-02-30", std::nullopt, std::nullopt, std::nullopt},
        {"2024-03-01T25:00:00GMT+01:00", std::nullopt, std::nullopt, std::nullopt},
        {"2024-03-01 trailing", std::nullopt, std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt, std::nullopt},
        {"yesterday", std::nullopt, std::nullopt, std::nullopt},
    };
    const auto seconds = [](std::optional<WQDateFormatter::Date> date) -> std::optional<sys_seconds> {
        if (!date) return std::nullopt;
        return time_point_cast<std::chrono::seconds>(*date);
    };
    for (const auto& c : cases) {
        EXPECT_EQ(seconds(WQDateFormatter::dateISO8601Full(c.text)), c.full) << c.text;
        EXPECT_EQ(seconds(WQDateFormatter::dateISO8601NoTime(c.text)), c.dateOnly) << c.text;
        EXPECT_EQ(seconds(WQDateFormatter::dateISO8601(c.text)), c.either) << c.text;
    }
}

TEST(DateExtensions, StylesWriteTheDateWithoutATime) {
    const auto date = utc(2024, 3, 5, 15, 45);
    EXPECT_EQ(shortStyleDate(date, "en_US"), "3/5/24");
    EXPECT_EQ(mediumStyleDate(date, "en_US"), "Mar 5, 2024");
    EXPECT_EQ(longStyleDate(date, "en_US"), "March 5, 2024");
    EXPECT_EQ(fullStyleDate(date, "en_US"), "Tuesday, March 5, 2024");
    EXPECT_EQ(longStyleDate(date, "de_DE"), "5. März 2024");
    for (const auto& text : {shortStyleDate(date), mediumStyleDate(date), longStyleDate(date), fullStyleDate(date)}) {
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find("45"), std::string::npos) << text;
    }
}

TEST(WQNumberFormatter, GroupsByTheLocale) {
    EXPECT_EQ(WQNumberFormatter::decimalString(std::nullopt), "0");
    EXPECT_EQ(WQNumberFormatter::decimalString(1234567, "en_US"), "1,234,567");
    EXPECT_EQ(WQNumberFormatter::decimalString(1234567, "de_DE"), "1.234.567");
    EXPECT_EQ(WQNumberFormatter::decimalString(1234.5, "en_US"), "1,234.5");
    EXPECT_EQ(WQNumberFormatter::decimalString(1234.5, "de_DE"), "1.234,5");
    EXPECT_EQ(WQNumberFormatter::decimalString(0.12345, "en_US"), "0.123");
    EXPECT_EQ(WQNumberFormatter::decimalString(-9876543210LL, "en_US"), "-9,876,543,210");
    EXPECT_EQ(WQNumberFormatter::decimalString(18446744073709551615ULL, "en_US"), "18,446,744,073,709,551,615");
    EXPECT_EQ(WQNumberFormatter::decimalString(std::numeric_limits<std::int64_t>::min(), "en_US"),
              "-9,223,372,036,854,775,808");
}
