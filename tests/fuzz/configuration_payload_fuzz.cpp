// The configuration payload comes from the network: decryption, decompression, property-list
// parsing, validation and the patch archive must take any bytes without crashing. Each input is
// also sealed by us at two depths, so mutations reach the layers under the cipher as well: as
// compressed data (the decompressor) and as a property list (parser, validation, archive).
#include <cstddef>
#include <cstdint>
#include <span>

#include "config/DynamicData.h"
#include "config/EncryptionKey.h"
#include "system/Compression.h"
#include "system/Crypto.h"
#include "system/URLSession.h"

namespace {

void check(std::span<const uint8_t> payload) {
    static platform::URLSession session({"", "fuzz"});
    static auto client = parlivo::DynamicData::create(session, {});
    client->processConfigurationData(payload, false);
    client->processConfigurationData(payload, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    static const std::string key = parlivo::EncryptionKey::key(), iv = parlivo::EncryptionKey::iv();
    check(bytes);
    if (auto sealed = platform::Crypto::aes128CbcEncrypt(bytes, key, iv)) check(*sealed);
    if (auto compressed = platform::Compression::compress(bytes, 1))
        if (auto sealed = platform::Crypto::aes128CbcEncrypt(*compressed, key, iv)) check(*sealed);
    return 0;
}
