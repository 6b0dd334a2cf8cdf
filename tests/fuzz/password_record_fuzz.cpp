// Reads a stored password record holding any bytes (the settings file is not trusted). The
// reader must refuse or take it apart without crashing, and a record it accepts must be one a
// check can run against.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "privacy/WQPasswordHandler.h"

using parlivo::WQPasswordHandler;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool legacy = WQPasswordHandler::isLegacyDigest(text);
    const auto record = WQPasswordHandler::parseRecord(text);
    if (legacy && record) std::abort();  // one form or the other, never both
    if (record) {
        if (record->iterations == 0 || record->iterations > WQPasswordHandler::maximumIterations) std::abort();
        if (record->derivedKey.size() != WQPasswordHandler::keyLength) std::abort();
        // Checking costs the record's own iteration count: only cheap ones here.
        if (record->iterations <= 2000) (void)WQPasswordHandler::verify("password", text);
    } else if (!legacy) {
        if (WQPasswordHandler::verify("password", text) != WQPasswordHandler::Verdict::noMatch) std::abort();
    }
    return 0;
}
