#include "WQTemporaryDirectory.h"

#include "DebugPrint.h"
#include "foundation/FileManager.h"
#include "foundation/Log.h"

#include <glib.h>
#include <sys/stat.h>

#include <cctype>
#include <system_error>

namespace tovak {

namespace fs = std::filesystem;

namespace {

std::string upperCaseUUID() {
    gchar* uuid = g_uuid_string_random();
    std::string text(uuid);
    g_free(uuid);
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

WQTemporaryDirectory::WQTemporaryDirectory() : WQTemporaryDirectory(platform::FileManager::temporaryDirectory()) {}

WQTemporaryDirectory::WQTemporaryDirectory(const fs::path& base) : WQTemporaryDirectory(base, kClassName) {}

WQTemporaryDirectory::WQTemporaryDirectory(const fs::path& base, std::string_view className)
    : className_(className), url_(base / ("WQtemp" + upperCaseUUID())) {
    std::error_code error;
    fs::create_directories(base, error);
    // Private from the start: what callers put here (shared files, exports) is the user's.
    created_ = mkdir(url_.c_str(), 0700) == 0;
    if (created_) {
        debugPrint(className_, "Create Temporary Directory at: " + url_.string());
    } else {
        debugPrint(className_, "Could not create Temporary Directory at: " + url_.string());
        platform::systemLog("Could not create temporary directory " + url_.string(), platform::LogLevel::warning);
    }
}

WQTemporaryDirectory::~WQTemporaryDirectory() {
    if (!removeOnDeinit_) {
        debugPrint(className_, "WQTemporaryDirectory: Not removing");
        return;
    }
    std::error_code error;
    const auto removed = fs::remove_all(url_, error);
    if (error || removed == 0)
        debugPrint(className_, "WQTemporaryDirectory: Could not remove on deinit");
    else
        debugPrint(className_, "WQTemporaryDirectory: Successfully removed on deinit");
}

}  // namespace tovak
