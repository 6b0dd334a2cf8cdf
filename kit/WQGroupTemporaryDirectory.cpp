#include "WQGroupTemporaryDirectory.h"

#include "DebugPrint.h"
#include "foundation/FileManager.h"
#include "foundation/Log.h"

namespace tovak {

namespace {

std::filesystem::path containerOrTemporaryBase(std::string_view appGroup) {
    if (auto container = platform::FileManager::groupContainer(appGroup)) return *container;
    platform::systemLog("No container for app group \"" + std::string(appGroup) + "\"; using the temporary folder",
                        platform::LogLevel::warning);
    return platform::FileManager::temporaryDirectory();
}

}  // namespace

WQGroupTemporaryDirectory::WQGroupTemporaryDirectory(std::string_view appGroup)
    : WQTemporaryDirectory(containerOrTemporaryBase(appGroup), kClassName) {}

}  // namespace tovak
