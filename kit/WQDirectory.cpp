#include "WQDirectory.h"

#include "DebugPrint.h"
#include "WQApplicationInfo.h"
#include "foundation/FileManager.h"

#include <system_error>

namespace tovak {

namespace fs = std::filesystem;

namespace {

// The identifier becomes a folder name: one that would leave the Vantreo folder counts as none.
std::string folderNameForIdentifier(const platform::Bundle& bundle) {
    std::string identifier = WQApplicationInfo::bundleIdentifier(bundle);
    if (identifier == "." || identifier == ".." || identifier.find('/') != std::string::npos ||
        identifier.find('\0') != std::string::npos)
        return "default";
    return identifier;
}

bool makeDirectory(const fs::path& path) {
    std::error_code error;
    fs::create_directories(path, error);
    return !error && fs::is_directory(path, error);
}

}  // namespace

fs::path WQDirectory::appDirectory(const platform::Bundle& bundle) {
    const fs::path directory =
        platform::FileManager::applicationSupportDirectory() / "Vantreo" / folderNameForIdentifier(bundle);
    if (!makeDirectory(directory)) debugPrint(kClassName, "Error creating App Directory");
    return directory;
}

fs::path WQDirectory::userContentDirectory(const platform::Bundle& bundle) {
    const fs::path directory = appDirectory(bundle) / "UserContent";
    if (!makeDirectory(directory)) debugPrint(kClassName, "Error creating UserContent Directory");
    return directory;
}

}  // namespace tovak
