#include "Crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>

#include <memory>

namespace platform {
namespace {

enum CryptoCode : long { badKeyLength = 1, cipherFailed = 2, badPaddingOrLength = 3 };

void fail(Error* error, long code, std::string message) {
    if (error) *error = Error{CryptoErrorDomain, code, std::move(message)};
}

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

std::optional<Crypto::Bytes> runCipher(bool encrypt, std::span<const uint8_t> input, std::string_view key,
                                       std::string_view iv, Error* error) {
    if (key.size() != 16 || iv.size() != 16) {
        fail(error, badKeyLength, "key and initialisation vector must be 16 bytes each");
        return std::nullopt;
    }
    CipherContext ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!ctx) {
        fail(error, cipherFailed, "cannot create cipher context");
        return std::nullopt;
    }
    const auto* k = reinterpret_cast<const unsigned char*>(key.data());
    const auto* v = reinterpret_cast<const unsigned char*>(iv.data());
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, k, v, encrypt ? 1 : 0) != 1) {
        fail(error, cipherFailed, "cannot initialise cipher");
        return std::nullopt;
    }
    // EVP_CipherUpdate takes an int length; feed large inputs in pieces.
    Crypto::Bytes out(input.size() + 16);
    size_t written = 0;
    constexpr size_t chunk = size_t(1) << 30;
    for (size_t offset = 0; offset < input.size(); offset += chunk) {
        const int n = int(std::min(chunk, input.size() - offset));
        int produced = 0;
        if (EVP_CipherUpdate(ctx.get(), out.data() + written, &produced, input.data() + offset, n) != 1) {
            fail(error, cipherFailed, "cipher update failed");
            return std::nullopt;
        }
        written += size_t(produced);
    }
    int produced = 0;
    if (EVP_CipherFinal_ex(ctx.get(), out.data() + written, &produced) != 1) {
        fail(error, badPaddingOrLength, encrypt ? "cipher final failed" : "bad padding or ciphertext length");
        return std::nullopt;
    }
    written += size_t(produced);
    out.resize(written);
    return out;
}

}  // namespace

std::array<uint8_t, 32> Crypto::sha256(std::span<const uint8_t> bytes) {
    std::array<uint8_t, 32> digest{};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr);
    return digest;
}

std::string Crypto::sha256Hex(std::span<const uint8_t> bytes) {
    return hexString(sha256(bytes));
}

std::string Crypto::sha256Hex(std::string_view text) {
    return sha256Hex(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::string Crypto::hexString(std::span<const uint8_t> bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0x0f]);
    }
    return out;
}

std::string Crypto::base64(std::span<const uint8_t> bytes) {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t n = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
        out += alphabet[n >> 18 & 63];
        out += alphabet[n >> 12 & 63];
        out += alphabet[n >> 6 & 63];
        out += alphabet[n & 63];
    }
    if (i < bytes.size()) {
        uint32_t n = uint32_t(bytes[i]) << 16;
        if (i + 1 < bytes.size()) n |= uint32_t(bytes[i + 1]) << 8;
        out += alphabet[n >> 18 & 63];
        out += alphabet[n >> 12 & 63];
        out += i + 1 < bytes.size() ? alphabet[n >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<Crypto::Bytes> Crypto::pbkdf2HmacSha256(std::string_view password, std::span<const uint8_t> salt,
                                                      uint32_t iterations, size_t length) {
    if (iterations == 0 || iterations > uint32_t(INT_MAX) || length == 0 || length > size_t(INT_MAX) ||
        password.size() > size_t(INT_MAX) || salt.size() > size_t(INT_MAX))
        return std::nullopt;
    Bytes out(length);
    if (PKCS5_PBKDF2_HMAC(password.data(), int(password.size()), salt.data(), int(salt.size()), int(iterations),
                          EVP_sha256(), int(length), out.data()) != 1)
        return std::nullopt;
    return out;
}

std::optional<Crypto::Bytes> Crypto::randomBytes(size_t count) {
    Bytes out(count);
    if (count > size_t(INT_MAX) || (count > 0 && RAND_bytes(out.data(), int(count)) != 1)) return std::nullopt;
    return out;
}

bool Crypto::constantTimeEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    return a.empty() || CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

void Crypto::cleanse(std::string& secret) {
    if (!secret.empty()) OPENSSL_cleanse(secret.data(), secret.size());
    secret.clear();
}

std::optional<Crypto::Bytes> Crypto::aes128CbcDecrypt(std::span<const uint8_t> ciphertext, std::string_view key,
                                                      std::string_view iv, Error* error) {
    return runCipher(false, ciphertext, key, iv, error);
}

std::optional<Crypto::Bytes> Crypto::aes128CbcEncrypt(std::span<const uint8_t> plaintext, std::string_view key,
                                                      std::string_view iv, Error* error) {
    return runCipher(true, plaintext, key, iv, error);
}

}  // namespace platform
