#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Error.h"

namespace platform {

// SHA-256 and AES-128-CBC with PKCS#7 padding (OpenSSL EVP). Keys and initialisation vectors are
// given as texts whose UTF-8 bytes must be exactly 16 bytes long. Thread-safe.
class Crypto {
public:
    using Bytes = std::vector<uint8_t>;

    static std::array<uint8_t, 32> sha256(std::span<const uint8_t> bytes);
    // The digest as 64 lower-case hexadecimal digits.
    static std::string sha256Hex(std::span<const uint8_t> bytes);
    static std::string sha256Hex(std::string_view text);

    // Lower-case hexadecimal, two digits a byte.
    static std::string hexString(std::span<const uint8_t> bytes);

    // Standard Base64 without line breaks.
    static std::string base64(std::span<const uint8_t> bytes);

    // PBKDF2 with HMAC-SHA256 (RFC 8018): `length` bytes derived from the password's bytes and
    // the salt in `iterations` rounds. None when OpenSSL refuses (zero iterations or length).
    // Slow by design at high iteration counts: call it off the main thread.
    static std::optional<Bytes> pbkdf2HmacSha256(std::string_view password, std::span<const uint8_t> salt,
                                                 uint32_t iterations, size_t length);
    // `count` bytes from the operating system's cryptographic random source; none if it fails.
    static std::optional<Bytes> randomBytes(size_t count);
    // Equality whose running time depends only on the lengths, not on where the bytes differ.
    static bool constantTimeEquals(std::string_view a, std::string_view b);
    // Overwrites the bytes so a secret does not linger in freed memory.
    static void cleanse(std::string& secret);

    // Each gives the result, or fills `error` (when given) and gives none: a key or IV of the
    // wrong length, ciphertext that is not a whole number of blocks, or bad padding.
    static std::optional<Bytes> aes128CbcDecrypt(std::span<const uint8_t> ciphertext, std::string_view key,
                                                 std::string_view iv, Error* error = nullptr);
    static std::optional<Bytes> aes128CbcEncrypt(std::span<const uint8_t> plaintext, std::string_view key,
                                                 std::string_view iv, Error* error = nullptr);
};

}  // namespace platform
