#pragma once

#include <string>
#include <string_view>

namespace tovak {

// Changes the positional base of a whole number written as text, of any length (digit arrays,
// no machine integer to overflow). A plain change of base: leading zeros carry no weight, and
// zero is written as "".
//
// Source digits: bases 2-10 read "0"-"9" (a "9" counts as 9 even in base 2); base 16 reads
// "0"-"9", "A"-"F", "a"-"f"; other bases read nothing. Every other user-perceived character is
// skipped. Target digits: bases 2-10 write "0"-"9", 16 writes "0"-"9A"-"F", 58 writes the
// Bitcoin alphabet ("1"-"9", "A"-"Z" without I and O, "a"-"z" without l); other bases write
// nothing. A base below 2 gives "".
class BaseConverter {
public:
    static std::string convertBase(std::string_view number, int fromBase, int toBase);
    static std::string decToHex(std::string_view number);
    static std::string hexToDec(std::string_view number);
    // Base 16 to base 58 (Bitcoin's alphabet).
    static std::string hexToAlphabet(std::string_view number);
};

}  // namespace tovak
