#include "Bundle.h"

#include "FileManager.h"
#include "ProcessInfo.h"

#include <system_error>

namespace platform {

namespace {

namespace fs = std::filesystem;

// The resource folder beside the executable: bin/ and libexec/parlivo-for-whatsapp/ both sit
// under the same prefix as share/parlivo-for-whatsapp/.
fs::path findMainResourceDirectory() {
    if (std::string overridden = ProcessInfo::environment("PARLIVO_RESOURCE_DIR"); !overridden.empty())
        return overridden;
    const fs::path executable = ProcessInfo::executablePath();
    if (executable.empty()) return {};
    const fs::path directory = executable.parent_path();
    std::error_code error;
    for (const fs::path& candidate : {directory / ".." / "share" / "parlivo-for-whatsapp",
                                      directory / ".." / ".." / "share" / "parlivo-for-whatsapp"}) {
        if (fs::is_directory(candidate, error)) return candidate.lexically_normal();
    }
    return (directory / ".." / "share" / "parlivo-for-whatsapp").lexically_normal();
}

// A relative name that stays inside its folder ("a/b.txt" is fine, "../x" and "/etc" are not).
bool staysInside(const fs::path& relative) {
    if (relative.is_absolute() || relative.has_root_name()) return false;
    for (const auto& part : relative)
        if (part == "..") return false;
    return true;
}

PropertyList readInfoDictionary(const fs::path& file) {
    const auto bytes = FileManager::contentsAtPath(file, PropertyList::maxParseBytes);
    if (!bytes) return PropertyList::dictionary();
    auto info = PropertyList::parse(*bytes);
    if (!info || !info->isDictionary()) return PropertyList::dictionary();
    return std::move(*info);
}

}  // namespace

Bundle& Bundle::main() {
    static Bundle* bundle = new Bundle(findMainResourceDirectory());  // never destroyed
    return *bundle;
}

Bundle::Bundle(std::filesystem::path resourceDirectory)
    : resourcePath_(std::move(resourceDirectory)), info_(readInfoDictionary(resourcePath_ / "Info.plist")) {}

std::optional<std::string> Bundle::infoString(const std::string& key) const {
    if (auto value = info_[key].asString()) return *value;
    return std::nullopt;
}

std::string Bundle::bundleIdentifier() const { return infoString("CFBundleIdentifier").value_or(""); }

std::optional<std::filesystem::path> Bundle::pathForResource(const std::string& name, const std::string& ext,
                                                             const std::string& subdirectory) const {
    if (name.empty() || resourcePath_.empty()) return std::nullopt;
    std::string fileName = name;
    if (!ext.empty()) {
        const std::string suffix = ext.front() == '.' ? ext : "." + ext;
        if (!fileName.ends_with(suffix)) fileName += suffix;
    }
    const fs::path relative = subdirectory.empty() ? fs::path(fileName) : fs::path(subdirectory) / fileName;
    if (!staysInside(relative)) return std::nullopt;
    const fs::path candidate = resourcePath_ / relative;
    std::error_code error;
    if (!fs::exists(candidate, error)) return std::nullopt;
    return candidate;
}

}  // namespace platform
