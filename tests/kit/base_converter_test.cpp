// Base conversion of whole numbers of any length, and its refusal of bases without digits.
#include <gtest/gtest.h>

#include <string>

#include "BaseConverter.h"
#include "StringExtensions.h"

using tovak::BaseConverter;

TEST(BaseConverter, ConvertsBetweenBases) {
    struct Case {
        std::string number;
        int from, to;
        std::string result;
    } cases[] = {
        {"FF", 16, 10, "255"},
        {"ff", 16, 10, "255"},
        {"255", 10, 16, "FF"},
        {"0", 10, 16, ""},
        {"000", 16, 58, ""},
        {"", 16, 58, ""},
        {"00ff", 16, 58, "5Q"},
        {"ff", 16, 58, "5Q"},
        {"39", 16, 58, "z"},
        {"3a", 16, 58, "21"},
        {"1x2", 10, 16, "C"},
        {"1\u0301" "2", 10, 10, "2"},  // "1" with a combining accent is no digit
        {"12 34", 10, 10, "1234"},
        {"101", 2, 10, "5"},
        {"9", 2, 10, "9"},         // a 9 counts as 9 even in base 2
        {"19", 2, 10, "11"},       // 1*2 + 9
        {"255", 10, 2, "11111111"},
        {"255", 10, 8, "377"},
        {"18446744073709551616", 10, 16, "10000000000000000"},  // 2^64, past any machine integer
        // Bases without characters.
        {"12", 11, 10, ""},
        {"12", 10, 12, ""},
        {"12", 10, 59, ""},
        {"12", 10, 1000000000, ""},
        // Bases below 2: would divide by zero or never end.
        {"12", 10, 1, ""},
        {"12", 10, 0, ""},
        {"12", 10, -16, ""},
        {"12", 1, 10, ""},
        {"12", 0, 10, ""},
        {"12", -10, 16, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BaseConverter::convertBase(c.number, c.from, c.to), c.result)
            << c.number << " " << c.from << "->" << c.to;
}

TEST(BaseConverter, FixedConversions) {
    EXPECT_EQ(BaseConverter::hexToDec("FF"), "255");
    EXPECT_EQ(BaseConverter::decToHex("255"), "FF");
    EXPECT_EQ(BaseConverter::hexToAlphabet("39"), "z");
    EXPECT_EQ(BaseConverter::decToHex("0"), "");
}

TEST(BaseConverter, ASha256DigestSurvivesTheRoundTrip) {
    const std::string digest = "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855";
    const std::string base58 = BaseConverter::hexToAlphabet(digest);
    EXPECT_LE(base58.size(), 44u);
    EXPECT_GE(base58.size(), 43u);
    EXPECT_EQ(base58.find_first_not_of("123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz"), std::string::npos);
    const std::string decimal = BaseConverter::hexToDec(digest);
    EXPECT_EQ(BaseConverter::decToHex(decimal), digest);
    // The device serial: five blocks of five characters.
    const std::string serial = tovak::toSerial(base58, 5, 5);
    EXPECT_EQ(serial.size(), 29u);
    EXPECT_EQ(serial.substr(0, 5), base58.substr(0, 5));
    EXPECT_EQ(serial[5], '-');
}
