#include <gtest/gtest.h>

#include <random>

#include "system/Compression.h"
#include "system/Crypto.h"

using platform::Compression;
using platform::Crypto;
using Bytes = std::vector<uint8_t>;

namespace {
Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }
const std::string key = "0123456789abcdef";
const std::string iv = "fedcba9876543210";
}  // namespace

TEST(CryptoTest, DigestAndEncodingsMatchKnownVectors) {
    EXPECT_EQ(Crypto::sha256Hex(std::string_view("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Crypto::sha256Hex(std::string_view("")),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Crypto::base64(bytesOf("")), "");
    EXPECT_EQ(Crypto::base64(bytesOf("f")), "Zg==");
    EXPECT_EQ(Crypto::base64(bytesOf("fo")), "Zm8=");
    EXPECT_EQ(Crypto::base64(bytesOf("foobar")), "Zm9vYmFy");
    EXPECT_EQ(Crypto::hexString(Bytes{0x00, 0xab, 0xff}), "00abff");
}

TEST(CryptoTest, AesRoundTripsWithPkcs7Padding) {
    for (size_t length : {0u, 1u, 15u, 16u, 17u, 1000u}) {
        Bytes plain(length, 0x41);
        auto sealed = Crypto::aes128CbcEncrypt(plain, key, iv);
        ASSERT_TRUE(sealed);
        EXPECT_EQ(sealed->size(), (length / 16 + 1) * 16);  // always a padding block
        EXPECT_EQ(Crypto::aes128CbcDecrypt(*sealed, key, iv), plain);
    }
    // OpenSSL's own vector: AES-128-CBC of "Single block msg" (RFC 3602 case 1) + a padding block.
    const std::string rfcKey("\x06\xa9\x21\x40\x36\xb8\xa1\x5b\x51\x2e\x03\xd5\x34\x12\x00\x06", 16);
    const std::string rfcIV("\x3d\xaf\xba\x42\x9d\x9e\xb4\x30\xb4\x22\xda\x80\x2c\x9f\xac\x41", 16);
    auto sealed = Crypto::aes128CbcEncrypt(bytesOf("Single block msg"), rfcKey, rfcIV);
    ASSERT_TRUE(sealed);
    EXPECT_EQ(Crypto::hexString(std::span(sealed->data(), 16)), "e353779c1079aeb82708942dbe77181a");
}

TEST(CryptoTest, DecryptionRefusesWhatItCannotDecrypt) {
    auto sealed = *Crypto::aes128CbcEncrypt(bytesOf("configuration"), key, iv);
    struct Case {
        const char* name;
        Bytes input;
        std::string key, iv;
    } cases[] = {
        {"empty", {}, key, iv},
        {"not whole blocks", Bytes(sealed.begin(), sealed.end() - 1), key, iv},
        {"wrong key", sealed, "0123456789abcdeX", iv},
        {"short key", sealed, "short", iv},
        {"long iv", sealed, key, "fedcba98765432100"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::Error error;
        EXPECT_FALSE(Crypto::aes128CbcDecrypt(c.input, c.key, c.iv, &error));
        EXPECT_EQ(error.domain, platform::CryptoErrorDomain);
    }
}

TEST(CryptoTest, Pbkdf2MatchesKnownVectorsAndRefusesDegenerateInput) {
    // PBKDF2-HMAC-SHA256 of "password" with salt "salt" (the RFC 6070 inputs, SHA-256 outputs).
    const Bytes salt = bytesOf("salt");
    struct Case {
        uint32_t iterations;
        const char* hex;
    } cases[] = {
        {1, "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b"},
        {2, "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43"},
        {4096, "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"},
    };
    for (const auto& c : cases) {
        auto derived = Crypto::pbkdf2HmacSha256("password", salt, c.iterations, 32);
        ASSERT_TRUE(derived) << c.iterations;
        EXPECT_EQ(Crypto::hexString(*derived), c.hex) << c.iterations;
    }
    EXPECT_FALSE(Crypto::pbkdf2HmacSha256("password", salt, 0, 32));
    EXPECT_FALSE(Crypto::pbkdf2HmacSha256("password", salt, 1, 0));
}

TEST(CryptoTest, RandomBytesDifferAndComparisonIsExact) {
    auto a = Crypto::randomBytes(16), b = Crypto::randomBytes(16);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->size(), 16u);
    EXPECT_NE(*a, *b);
    EXPECT_TRUE(Crypto::constantTimeEquals("", ""));
    EXPECT_TRUE(Crypto::constantTimeEquals("abc", "abc"));
    EXPECT_FALSE(Crypto::constantTimeEquals("abc", "abd"));
    EXPECT_FALSE(Crypto::constantTimeEquals("abc", "ab"));
    EXPECT_FALSE(Crypto::constantTimeEquals("ABC", "abc"));
    std::string secret = "hunter2";
    Crypto::cleanse(secret);
    EXPECT_TRUE(secret.empty());
}

TEST(CompressionTest, RoundTripsAcrossTheOutputBuffer) {
    std::mt19937 rng(3);
    for (size_t length : {1u, 4095u, 4096u, 4097u, 300000u}) {
        Bytes data(length);
        for (auto& b : data) b = uint8_t(rng() % 7);  // compressible, not trivial
        auto packed = Compression::compress(data, 3);
        ASSERT_TRUE(packed);
        EXPECT_EQ(Compression::decompress(*packed, 1 << 20), data) << length;
    }
    EXPECT_EQ(Compression::decompress({}, 100), Bytes{});  // nothing in: no bytes, no error
}

TEST(CompressionTest, RefusesCorruptTruncatedAndOversizedInput) {
    const Bytes data(100000, 'z');
    const Bytes packed = *Compression::compress(data, 3);
    platform::Error error;
    EXPECT_FALSE(Compression::decompress(bytesOf("definitely not zstd"), 1 << 20, &error));
    EXPECT_EQ(error.code, Compression::corrupt);
    EXPECT_FALSE(Compression::decompress(std::span(packed.data(), packed.size() - 3), 1 << 20, &error));
    EXPECT_EQ(error.code, Compression::truncated);
    EXPECT_FALSE(Compression::decompress(packed, data.size() - 1, &error));
    EXPECT_EQ(error.code, Compression::outputTooLarge);
    EXPECT_TRUE(Compression::decompress(packed, data.size()));
}

TEST(CompressionTest, RefusesAWindowPastTheCap) {
    // A frame that asks for a 16 MB window and holds nothing: the decoder would reserve the
    // window before any output exists, so a cap below it must refuse the frame up front.
    const Bytes bigWindow{0x28, 0xb5, 0x2f, 0xfd, 0x00, 0x70, 0x01, 0x00, 0x00};
    platform::Error error;
    EXPECT_FALSE(Compression::decompress(bigWindow, 1 << 20, &error));
    EXPECT_EQ(error.code, Compression::outputTooLarge);
    EXPECT_EQ(Compression::decompress(bigWindow, 1 << 24), Bytes{});
}
