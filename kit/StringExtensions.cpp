#include "StringExtensions.h"

#include "GraphemeClusters.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

namespace tovak {

namespace {

// Reads one UTF-8 sequence at text[i]; returns its code point and advances i, or returns
// none (and advances one byte) for an invalid, overlong, surrogate or truncated sequence.
std::optional<char32_t> nextCodePoint(std::string_view text, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int length = 0;
    char32_t codePoint = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, codePoint = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, codePoint = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, codePoint = lead & 0x07, minimum = 0x10000;
    } else {
        ++i;
        return std::nullopt;
    }
    if (i + length > text.size()) {
        ++i;
        return std::nullopt;
    }
    for (int k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return std::nullopt;
        }
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        ++i;
        return std::nullopt;
    }
    i += length;
    return codePoint;
}

void appendUnicodeEscape(std::string& out, char32_t codePoint) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(codePoint));
    out += buffer;
}

}  // namespace

std::string jsString(bool value) { return value ? "true" : "false"; }

std::string stringEscapedForJavascript(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 2);
    for (size_t i = 0; i < text.size();) {
        const size_t start = i;
        const auto codePoint = nextCodePoint(text, i);
        if (!codePoint) {
            out += "\xEF\xBF\xBD";  // U+FFFD
            continue;
        }
        switch (*codePoint) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '/': out += "\\/"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\'':
        case '<':
        case 0x2028:
        case 0x2029: appendUnicodeEscape(out, *codePoint); break;
        default:
            if (*codePoint < 0x20 || (*codePoint >= 0x7F && *codePoint <= 0x9F))
                appendUnicodeEscape(out, *codePoint);
            else
                out.append(text.substr(start, i - start));
        }
    }
    return out;
}

std::string javascriptStringLiteral(std::string_view text) {
    return "\"" + stringEscapedForJavascript(text) + "\"";
}

std::string jsNumber(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string toSerial(std::string_view text, int blocks, int charsPerBlock, std::string_view seperator,
                     std::string_view fillCharacter) {
    constexpr std::int64_t kMaximumLength = 1'000'000;
    if (blocks <= 0 || charsPerBlock <= 0) return {};
    const std::int64_t total = static_cast<std::int64_t>(blocks) * charsPerBlock;
    if (total > kMaximumLength) return {};

    std::vector<std::string> characters = graphemeClusters(text, static_cast<size_t>(total));
    if (characters.size() < static_cast<size_t>(total)) {
        // Counted on their own, the fill's characters always add up, even a lone combining mark
        // that would merge into the text before it and never make the text longer.
        const std::vector<std::string> fill = graphemeClusters(fillCharacter);
        if (fill.empty()) return {};
        for (size_t k = 0; characters.size() < static_cast<size_t>(total); ++k)
            characters.push_back(fill[k % fill.size()]);
    }

    std::string out;
    for (std::int64_t i = 0; i < total; ++i) {
        if (i > 0 && i % charsPerBlock == 0) out.append(seperator);
        out += characters[static_cast<size_t>(i)];
    }
    return out;
}

}  // namespace tovak
