#pragma once

#include <string>
#include <string_view>

namespace parlivo {

// The key material of the configuration payload. Both texts are derived afresh on every read
// from seeds kept in the program, so neither sits in the binary as it is used. The payload
// writer (parlivo-config) links this same file, so both sides always agree.
class EncryptionKey {
public:
    static std::string key();  // 16 characters
    static std::string iv();   // 16 characters
};

// SHA-256 of the seed as lower-case hex, Base64 of that text, the 16 characters from offset 3.
std::string deriveKeyMaterial(std::string_view seed);

}  // namespace parlivo
