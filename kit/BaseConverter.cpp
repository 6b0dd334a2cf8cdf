#include "BaseConverter.h"

#include "GraphemeClusters.h"

#include <vector>

namespace tovak {

namespace {

// Least significant digit first; empty is zero.
using Digits = std::vector<int>;

constexpr std::string_view kBase58Alphabet = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr std::string_view kHexDigits = "0123456789ABCDEF";

int digitValue(std::string_view character, int base) {
    if (character.size() != 1) return -1;
    const char c = character.front();
    if (base >= 2 && base <= 10) return (c >= '0' && c <= '9') ? c - '0' : -1;
    if (base == 16) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    }
    return -1;
}

std::string_view digitCharacter(int digit, int base) {
    if (base >= 2 && base <= 10) return kHexDigits.substr(static_cast<size_t>(digit), 1);
    if (base == 16) return kHexDigits.substr(static_cast<size_t>(digit), 1);
    if (base == 58) return kBase58Alphabet.substr(static_cast<size_t>(digit), 1);
    return {};
}

Digits add(const Digits& x, const Digits& y, int base) {
    Digits sum;
    int carry = 0;
    for (size_t i = 0; i < x.size() || i < y.size() || carry > 0; ++i) {
        const int s = carry + (i < x.size() ? x[i] : 0) + (i < y.size() ? y[i] : 0);
        sum.push_back(s % base);
        carry = s / base;
    }
    return sum;
}

// x * n for a small n, by doubling.
Digits multiply(int n, Digits x, int base) {
    Digits sum;
    while (n > 0) {
        if (n & 1) sum = add(sum, x, base);
        n >>= 1;
        if (n > 0) x = add(x, x, base);
    }
    return sum;
}

}  // namespace

std::string BaseConverter::convertBase(std::string_view number, int fromBase, int toBase) {
    // The arithmetic divides by the target base and multiplies by the source base: below 2
    // either would divide by zero or never grow.
    if (toBase < 2 || fromBase < 2) return {};
    // Bases without characters give "" whatever the number; stopping here also keeps the digit
    // sums of a huge base within an int.
    const bool readable = fromBase <= 10 || fromBase == 16;
    const bool writable = toBase <= 10 || toBase == 16 || toBase == 58;
    if (!readable || !writable) return {};

    Digits input;
    const auto characters = graphemeClusters(number);
    for (auto it = characters.rbegin(); it != characters.rend(); ++it)
        if (const int value = digitValue(*it, fromBase); value >= 0) input.push_back(value);

    Digits result;
    Digits power{1};
    for (size_t i = 0; i < input.size(); ++i) {
        if (input[i] != 0) result = add(result, multiply(input[i], power, toBase), toBase);
        if (i + 1 < input.size()) power = multiply(fromBase, power, toBase);
    }

    std::string out;
    for (auto it = result.rbegin(); it != result.rend(); ++it) out.append(digitCharacter(*it, toBase));
    return out;
}

std::string BaseConverter::decToHex(std::string_view number) { return convertBase(number, 10, 16); }

std::string BaseConverter::hexToDec(std::string_view number) { return convertBase(number, 16, 10); }

std::string BaseConverter::hexToAlphabet(std::string_view number) { return convertBase(number, 16, 58); }

}  // namespace tovak
