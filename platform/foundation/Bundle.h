#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "PropertyList.h"

namespace platform {

// A bundle: a resource folder with an Info.plist. The main bundle's folder is found relative to
// the running executable (../share/parlivo-for-whatsapp, the same in the build and install
// trees); PARLIVO_RESOURCE_DIR overrides it. Tests can make a bundle over a fixture folder.
class Bundle {
public:
    static Bundle& main();
    explicit Bundle(std::filesystem::path resourceDirectory);

    const std::filesystem::path& resourcePath() const { return resourcePath_; }
    // Info.plist as a dictionary (empty when missing or unreadable).
    const PropertyList& infoDictionary() const { return info_; }
    // A string value of Info.plist, or none.
    std::optional<std::string> infoString(const std::string& key) const;
    // "CFBundleIdentifier" ("" when missing).
    std::string bundleIdentifier() const;

    // The path of resource "name.ext" (ext may be empty, or already part of name), optionally in
    // a sub-folder; none when the file does not exist.
    std::optional<std::filesystem::path> pathForResource(const std::string& name, const std::string& ext = {},
                                                         const std::string& subdirectory = {}) const;

private:
    std::filesystem::path resourcePath_;
    PropertyList info_;
};

}  // namespace platform
