// Script strings: the JavaScript escaper against hostile texts, booleans and numbers for
// scripts, serials, check states and Base64 payloads of data URLs.
#include <gtest/gtest.h>

#include <gdkmm/pixbuf.h>
#include <gio/gio.h>

#include <clocale>
#include <string>

#include "ButtonState.h"
#include "StringExtensions.h"
#include "WQBase64DataConverter.h"

using namespace tovak;
using namespace std::string_literals;

TEST(StringEscapedForJavascript, MakesASafeLiteralOfAnyText) {
    struct Case {
        std::string input;
        std::string escaped;
    } cases[] = {
        {"", ""},
        {"hello", "hello"},
        {"\"", "\\\""},
        {"'", "\\u0027"},
        {"\\", "\\\\"},
        {"/", "\\/"},
        {"a\nb", "a\\nb"},
        {"\r\t\b\f", "\\r\\t\\b\\f"},
        {"\x01\x1f\x7f", "\\u0001\\u001f\\u007f"},
        {"nul\0byte"s, "nul\\u0000byte"},
        {"\u2028\u2029", "\\u2028\\u2029"},
        {"\u0085", "\\u0085"},  // NEL, a C1 control
        {"</script><script>alert(1)</script>", "\\u003c\\/script>\\u003cscript>alert(1)\\u003c\\/script>"},
        {"<!-- x", "\\u003c!-- x"},
        {"\"); evil(); (\"", "\\\"); evil(); (\\\""},
        {"'); evil(); ('", "\\u0027); evil(); (\\u0027"},
        {"\\\"", "\\\\\\\""},
        {"Grüße, Zoë – 😀 👩‍👩‍👧", "Grüße, Zoë – 😀 👩‍👩‍👧"},
        {"\xff", "\xEF\xBF\xBD"},                   // invalid byte
        {"a\xc3", "a\xEF\xBF\xBD"},                 // truncated sequence
        {"\xc0\xaf", "\xEF\xBF\xBD\xEF\xBF\xBD"},   // overlong "/"
        {"\xed\xa0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a UTF-16 surrogate
    };
    for (const auto& c : cases) {
        EXPECT_EQ(stringEscapedForJavascript(c.input), c.escaped) << testing::PrintToString(c.input);
        EXPECT_EQ(javascriptStringLiteral(c.input), "\"" + c.escaped + "\"");
    }
}

TEST(StringEscapedForJavascript, OutputHasNoRawQuoteLineBreakOrControl) {
    std::string everyByte;
    for (int i = 0; i < 256; ++i) everyByte += static_cast<char>(i);
    everyByte += "\u2028\u2029";
    const std::string escaped = stringEscapedForJavascript(everyByte);
    for (size_t i = 0; i < escaped.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(escaped[i]);
        EXPECT_GE(c, 0x20) << i;
        EXPECT_NE(c, 0x7f) << i;
        EXPECT_NE(c, '"') << i;
        EXPECT_NE(c, '\'') << i;
        EXPECT_NE(c, '<') << i;
        if (c == '\\') ++i;  // the escaped character
    }
    EXPECT_EQ(escaped.find("\u2028"), std::string::npos);
    EXPECT_EQ(escaped.find("\u2029"), std::string::npos);
}

TEST(ScriptValues, BooleansAndNumbersIgnoreTheLocale) {
    EXPECT_EQ(jsString(true), "true");
    EXPECT_EQ(jsString(false), "false");

    // A locale with a decimal comma, when the machine has one.
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    const bool haveComma = std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "fr_FR.UTF-8");
    struct Case {
        double value;
        const char* text;
    } cases[] = {{0.5, "0.5"}, {-2.25, "-2.25"}, {1.0, "1"}, {1e21, "1e+21"}, {0.1 + 0.2, "0.30000000000000004"}};
    for (const auto& c : cases) EXPECT_EQ(jsNumber(c.value), c.text) << (haveComma ? "comma locale" : "C locale");
    EXPECT_EQ(jsNumber(1234567), "1234567");
    EXPECT_EQ(jsNumber(-42LL), "-42");
    EXPECT_EQ(jsNumber(std::numeric_limits<double>::quiet_NaN()), "NaN");
    EXPECT_EQ(jsNumber(-std::numeric_limits<double>::infinity()), "-Infinity");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(ToSerial, PadsCutsAndGroups) {
    struct Case {
        std::string text;
        int blocks, chars;
        std::string separator, fill;
        std::string serial;
    } cases[] = {
        {"ABC", 2, 3, "-", "X", "ABC-XXX"},
        {"ABCDEFGH", 2, 3, "-", "X", "ABC-DEF"},
        {"", 1, 4, "-", "X", "XXXX"},
        {"A", 1, 4, "-", "xy", "Axyx"},
        {"ABCDEF", 3, 2, "", "X", "ABCDEF"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", 5, 5, "-", "X", "ABCDE-FGHIJ-KLMNO-PQRST-UVWXY"},
        {"ABCD", 2, 2, " :: ", "X", "AB :: CD"},
        {"e\u0301e\u0301e\u0301", 1, 2, "-", "X", "e\u0301e\u0301"},   // combined characters count once
        {"🇩🇪🇫🇷", 2, 1, "-", "X", "🇩🇪-🇫🇷"},
        {"A", 1, 3, "-", "\u0301", "A\u0301\u0301"},  // a lone combining fill still ends
        // Arguments without a serial.
        {"ABC", 0, 5, "-", "X", ""},
        {"ABC", 2, 0, "-", "X", ""},
        {"ABC", -1, 3, "-", "X", ""},
        {"ABC", 3, -1, "-", "X", ""},
        {"AB", 1, 4, "-", "", ""},
        {"ABCD", 1, 4, "-", "", "ABCD"},  // no fill needed
        {"A", 100000, 100000, "-", "X", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(toSerial(c.text, c.blocks, c.chars, c.separator, c.fill), c.serial)
            << c.text << " " << c.blocks << "x" << c.chars;
    EXPECT_EQ(toSerial("ABCDEFG", 2, 2), "AB-CD");
    EXPECT_EQ(toSerial("A", 1, 2), "AX");
}

TEST(ButtonState, OnlyOnIsTrue) {
    EXPECT_TRUE(boolButtonState(ButtonState::on));
    EXPECT_FALSE(boolButtonState(ButtonState::off));
    EXPECT_FALSE(boolButtonState(ButtonState::mixed));
    EXPECT_EQ(buttonState(true), ButtonState::on);
    EXPECT_EQ(buttonState(false), ButtonState::off);
    EXPECT_EQ(static_cast<int>(ButtonState::mixed), -1);
}

namespace {

std::string bytes(const std::optional<std::vector<std::uint8_t>>& data) {
    return data ? std::string(data->begin(), data->end()) : "<none>";
}

std::uint32_t crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

std::string bigEndian(std::uint32_t value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

std::string pngChunk(const std::string& type, const std::string& data) {
    return bigEndian(static_cast<std::uint32_t>(data.size())) + type + data + bigEndian(crc32(type + data));
}

// A black 1-bit PNG of the given size: a few kilobytes that decode to width x height pixels.
std::string blackPngBase64(std::uint32_t width, std::uint32_t height) {
    const std::string raw(static_cast<size_t>(height) * (1 + (width + 7) / 8), '\0');
    GZlibCompressor* compressor = g_zlib_compressor_new(G_ZLIB_COMPRESSOR_FORMAT_ZLIB, 9);
    std::string compressed(raw.size() / 100 + 4096, '\0');
    gsize read = 0, written = 0;
    const GConverterResult result =
        g_converter_convert(G_CONVERTER(compressor), raw.data(), raw.size(), compressed.data(), compressed.size(),
                            G_CONVERTER_INPUT_AT_END, &read, &written, nullptr);
    g_object_unref(compressor);
    EXPECT_EQ(result, G_CONVERTER_FINISHED);
    compressed.resize(written);
    const std::string png = "\x89PNG\r\n\x1a\n"s +
                            pngChunk("IHDR", bigEndian(width) + bigEndian(height) + "\x01\x00\x00\x00\x00"s) +
                            pngChunk("IDAT", compressed) + pngChunk("IEND", "");
    gchar* encoded = g_base64_encode(reinterpret_cast<const guchar*>(png.data()), png.size());
    std::string text(encoded);
    g_free(encoded);
    return text;
}

// A 1x1 red PNG.
const std::string kPngBase64 =
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==";

}  // namespace

TEST(WQBase64DataConverter, DecodesThePayloadOfADataURL) {
    const WQBase64DataConverter converter;
    struct Case {
        std::string text;
        std::string decoded;
    } cases[] = {
        {"data:text/plain;base64,aGVsbG8=", "hello"},
        {"data:text/plain;base64,aGVs\nbG8=\r\n", "hello"},       // line breaks skipped
        {"data:text/plain;base64, aGVs bG8 = ", "hello"},        // spaces too
        {"data:text/plain;base64,aGVsbG8", "hello"},              // missing padding
        {"data:x;base64,aGk=base64,aGVsbG8=", "hi"},              // only up to the second marker
        {"data:text/plain;base64,", ""},
        {"aGVsbG8=", "<none>"},                                   // no marker
        {"data:text/plain;BASE64,aGVsbG8=", "<none>"},            // the marker is case-sensitive
        {"data:x;base64,a", "<none>"},                            // a lone sextet
        {"data:x;base64,aG=Vs", "<none>"},                        // data after padding
        {"data:x;base64,aGVsbG8===", "<none>"},
        {"data:x;base64,aGVsbA=", "<none>"},                      // padding that does not fit
    };
    for (const auto& c : cases) EXPECT_EQ(bytes(converter.base64ToData(c.text)), c.decoded) << c.text;
}

TEST(WQBase64DataConverter, ReadsImagesAndRefusesOtherBytes) {
    const WQBase64DataConverter converter;
    const auto image = converter.base64ToImage("data:image/png;base64," + kPngBase64);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->get_width(), 1);
    EXPECT_EQ(image->get_height(), 1);
    // The same bytes as the payload alone.
    EXPECT_EQ(converter.base64ToData("data:image/png;base64," + kPngBase64),
              converter.base64ToData("base64," + kPngBase64));

    EXPECT_FALSE(converter.base64ToImage("data:text/plain;base64,aGVsbG8="));
    EXPECT_FALSE(converter.base64ToImage("data:image/png;base64,"));
    EXPECT_FALSE(converter.base64ToImage("data:image/png;base64," + kPngBase64.substr(0, 40)));
    EXPECT_FALSE(converter.base64ToImage("no payload"));
}

TEST(WQBase64DataConverter, RefusesPicturesTooLargeToDecode) {
    const WQBase64DataConverter converter;
    const auto small = converter.base64ToImage("data:image/png;base64," + blackPngBase64(640, 480));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->get_width(), 640);
    // About 10 KB of payload that would take over 200 MB of pixels.
    const std::string huge = blackPngBase64(9000, 8000);
    EXPECT_LT(huge.size(), 64u * 1024);
    EXPECT_FALSE(converter.base64ToImage("data:image/png;base64," + huge));
}
