// Photos the user drops or chooses may be any bytes with a .heic name: decoding and encoding
// them gives a JPEG or nothing, never a crash, and never more than the decoder process's
// memory and time (a file describing an enormous picture is refused).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "media/HEIFConversion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto jpeg = parlivo::HEIFConversion::jpegData(std::span<const std::uint8_t>(data, size), 0.75);
    if (jpeg && (jpeg->size() < 4 || (*jpeg)[0] != 0xFF || (*jpeg)[1] != 0xD8)) std::abort();
    return 0;
}
