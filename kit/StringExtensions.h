#pragma once

#include <charconv>
#include <concepts>
#include <string>
#include <string_view>

namespace tovak {

// Text that goes into a script the program runs in the web page.

// "true" or "false".
std::string jsString(bool value);

// The text escaped as the inside of a JavaScript string literal, without the quotes; safe
// between double or single quotes. Every script-building place uses this one escaper.
//   " \ /          -> \" \\ \/
//   \b \f \n \r \t -> their short escapes
//   other control characters (U+0000-U+001F, U+007F-U+009F) -> \u00XX
//   U+2028 U+2029 (line breaks to JavaScript) -> \u2028 \u2029
//   '  <           -> \u0027 \u003c (single-quoted scripts; no "</script" or "<!--" in a page)
// Everything else, non-ASCII included, is kept. Invalid UTF-8 becomes U+FFFD, so the result is
// always valid UTF-8 and never breaks out of the literal.
std::string stringEscapedForJavascript(std::string_view text);

// The complete literal: a double quote, the escaped text, a double quote.
std::string javascriptStringLiteral(std::string_view text);

// Numbers for scripts, independent of the process locale ("0.5", never "0,5"). Shortest text
// that reads back the same value; "NaN", "Infinity" and "-Infinity" for the non-finite.
std::string jsNumber(double value);
template <std::integral T>
    requires(!std::same_as<T, bool>)
std::string jsNumber(T value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// A serial: the text padded with `fillCharacter` (repeated, then cut) or cut to
// blocks x charsPerBlock user-perceived characters, with `seperator` between the blocks.
// "" for 0 blocks. "" as well for arguments that have no serial: a negative count, 0
// characters per block with blocks to fill, an empty fill for a short text, or more than a
// million characters in all.
std::string toSerial(std::string_view text, int blocks, int charsPerBlock, std::string_view seperator = "-",
                     std::string_view fillCharacter = "X");

}  // namespace tovak
