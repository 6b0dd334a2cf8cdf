#include "EncryptionKey.h"

#include "system/Crypto.h"

namespace parlivo {
namespace {

// 23 and 28 characters, each with characters outside ASCII (the derivation hashes the UTF-8).
constexpr std::string_view keySeed = "Parlivø·Kéy§Sëed/2026-Ω";
constexpr std::string_view ivSeed = "Vantréo→Initialisierungs-ß26";

}  // namespace

std::string deriveKeyMaterial(std::string_view seed) {
    const std::string hex = platform::Crypto::sha256Hex(seed);
    const std::string encoded =
        platform::Crypto::base64(std::span(reinterpret_cast<const uint8_t*>(hex.data()), hex.size()));
    return encoded.substr(3, 16);
}

std::string EncryptionKey::key() {
    return deriveKeyMaterial(keySeed);
}

std::string EncryptionKey::iv() {
    return deriveKeyMaterial(ivSeed);
}

}  // namespace parlivo
