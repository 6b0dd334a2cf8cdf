#include "WQTempFile.h"

#include "foundation/FileManager.h"

#include <sys/stat.h>

#include <mutex>
#include <string>
#include <system_error>
#include <vector>

namespace tovak {

namespace fs = std::filesystem;

namespace {

// Removes what earlier processes left behind. Exactly once per process, whichever thread
// makes the first temporary file; the others wait until it is done.
void removeStaleFolders(const fs::path& common) {
    static std::once_flag once;
    std::call_once(once, [&common] {
        std::error_code error;
        std::vector<fs::path> stale;
        for (fs::directory_iterator it(common, error), end; !error && it != end; it.increment(error))
            if (platform::FileManager::isOwnerGone(it->path().filename().string())) stale.push_back(it->path());
        for (const auto& path : stale) fs::remove_all(path, error);
    });
}

std::string safeFileNamePart(std::string_view part) {
    std::string out(part);
    for (char& c : out)
        if (c == '/' || c == '\0') c = '_';
    return out;
}

}  // namespace

fs::path WQTempFile::commonDirectory() { return platform::FileManager::temporaryDirectory() / "WQTempFiles"; }

WQTempFile::WQTempFile(std::string_view fileExtension)
    : WQTempFile(platform::FileManager::globallyUniqueString(), fileExtension) {}

WQTempFile::WQTempFile(std::string_view fileName, std::string_view fileExtension) {
    const fs::path common = commonDirectory();
    platform::FileManager::makePrivateDirectory(common);
    removeStaleFolders(common);

    parentDirectory_ = common / platform::FileManager::globallyUniqueString();
    // Failures are not reported here: the caller's write to url() fails on its own.
    mkdir(parentDirectory_.c_str(), 0700);

    std::string name = safeFileNamePart(fileName);
    if (!fileExtension.empty()) name += "." + safeFileNamePart(fileExtension);
    if (name.empty() || name == "." || name == "..") name = platform::FileManager::globallyUniqueString();
    url_ = parentDirectory_ / name;
}

WQTempFile::~WQTempFile() {
    if (!deleteOnDeinit_) return;
    std::error_code error;
    fs::remove_all(parentDirectory_, error);
}

}  // namespace tovak
