// The share hand-off's readers take bytes and URLs from other programs: any input gives a share,
// a refusal or nothing, never a crash.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "settings/ShareHandoff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    // A folder that does not exist: file items are looked up and skipped.
    parlivo::ShareHandoff::readArchive(bytes, "/nonexistent/parlivo-fuzz-share");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto path = parlivo::ShareHandoff::archivePath(text, "net.vantreo.mac.WhatsApp"))
        parlivo::ShareHandoff::acceptedShareFolder(*path, "/nonexistent/parlivo-fuzz-root");
    return 0;
}
