#pragma once

#include <filesystem>
#include <string_view>

namespace tovak {

// The path of one temporary file: <temporary base>/WQTempFiles/<unique>/<name>.<extension>.
// The object makes the folder (mode 0700), not the file; the caller writes it. The folder and
// whatever the caller put into it go with the object unless deleteOnDeinit was cleared.
//
// Once per process, before the first folder is made, WQTempFiles is cleared of folders whose
// owning process has ended (crashes, cleared deleteOnDeinit). A folder of a process that
// still runs is never touched, nor anything not named by us.
class WQTempFile {
public:
    static constexpr std::string_view kClassName = "WQTempFile";

    // A unique file name with this extension.
    explicit WQTempFile(std::string_view fileExtension);
    // The given name and extension ("name.ext"; only "name" when the extension is empty). A
    // path separator in either is replaced by "_", so the file stays in its folder.
    WQTempFile(std::string_view fileName, std::string_view fileExtension);
    ~WQTempFile();

    WQTempFile(const WQTempFile&) = delete;
    WQTempFile& operator=(const WQTempFile&) = delete;

    const std::filesystem::path& url() const { return url_; }
    const std::filesystem::path& parentDirectory() const { return parentDirectory_; }
    bool deleteOnDeinit() const { return deleteOnDeinit_; }
    void setDeleteOnDeinit(bool remove) { deleteOnDeinit_ = remove; }

    // <temporary base>/WQTempFiles.
    static std::filesystem::path commonDirectory();

private:
    std::filesystem::path parentDirectory_;
    std::filesystem::path url_;
    bool deleteOnDeinit_ = true;
};

}  // namespace tovak
