#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parlivo {

// The privacy password store. It never keeps the password, only a record from which a typed
// password can be checked, as a string in the user defaults under "WQPassowrdHandler." + name:
//
//   pbkdf2-sha256$<iterations>$<salt, hex>$<derived key, hex>
//
// a PBKDF2-HMAC-SHA256 key of 32 bytes over a fresh random 16-byte salt, with an iteration count
// that costs about 100 ms on a desktop machine. A record of exactly 64 lower-case hexadecimal
// digits is an earlier version's plain SHA-256 of the password: it is still accepted, once, and
// the successful check replaces it with the salted form.
//
// Hashing is slow on purpose, so setPassword and checkPassword hash on a worker and answer on
// the main queue; the settings themselves are read and written on the main thread. Call them on
// the main thread.
class WQPasswordHandler {
public:
    static constexpr std::string_view kClassName = "WQPasswordHandler";
    static constexpr std::string_view scheme = "pbkdf2-sha256";
    // About 100 ms of one core here (bench/password_hash_bench measures it).
    static constexpr std::uint32_t defaultIterations = 450000;
    // A record asking for more is refused rather than run: the settings file is not trusted,
    // and a doctored count must not keep a worker busy for minutes.
    static constexpr std::uint32_t maximumIterations = 10000000;
    static constexpr std::size_t saltLength = 16;
    static constexpr std::size_t keyLength = 32;

    // "WQPassowrdHandler." followed directly by the name.
    static std::string key(std::string_view name);

    // Whether a record is stored under the name (of any form, even one that matches nothing).
    static bool hasPassword(std::string_view name);

    // Hashes the password and stores its record under the name, replacing the earlier one. The
    // empty password is refused: nothing is stored. `completion` (optional) runs on the main
    // queue, always later, with whether the record was stored; a later setPassword for the same
    // name wins, and an earlier one still hashing then stores nothing and answers false.
    static void setPassword(std::string password, std::string name, std::function<void(bool stored)> completion = {});

    // Checks the password against the record stored under the name and answers on the main
    // queue, always later: true only for a match. The empty text matches nothing (also a record
    // an earlier version made of it), and no record, or one that is not of a known form, matches
    // nothing. A match with an old plain digest stores the
    // salted record in its place (unless the record changed meanwhile).
    static void checkPassword(std::string password, std::string name, std::function<void(bool matched)> completion);

    // --- The record format, for any thread ---

    struct Record {
        std::uint32_t iterations = 0;
        std::vector<std::uint8_t> salt;
        std::vector<std::uint8_t> derivedKey;
    };
    // The record for a password with a fresh salt; none when no random bytes could be had.
    static std::optional<std::string> makeRecord(std::string_view password, std::uint32_t iterations = defaultIterations);
    // A stored salted record taken apart; none for anything else (including a legacy digest).
    static std::optional<Record> parseRecord(std::string_view text);
    // Whether the text is an earlier version's digest: 64 lower-case hexadecimal digits.
    static bool isLegacyDigest(std::string_view text);

    enum class Verdict { noMatch, match, matchWithLegacyDigest };
    // The empty password never matches.
    static Verdict verify(std::string_view password, std::string_view record);
};

}  // namespace parlivo
