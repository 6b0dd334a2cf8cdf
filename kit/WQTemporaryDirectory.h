#pragma once

#include <filesystem>
#include <string_view>

namespace tovak {

// A fresh folder "WQtemp<UUID>" (mode 0700) that lives as long as this object and is removed
// with everything in it when the object goes, unless removeOnDeinit was cleared (then the
// folder is handed over for good). By default it lies in the per-user temporary base
// (platform::FileManager::temporaryDirectory), never in a folder other users can enter.
class WQTemporaryDirectory {
public:
    static constexpr std::string_view kClassName = "WQTemporaryDirectory";

    WQTemporaryDirectory();
    explicit WQTemporaryDirectory(const std::filesystem::path& base);
    virtual ~WQTemporaryDirectory();

    WQTemporaryDirectory(const WQTemporaryDirectory&) = delete;
    WQTemporaryDirectory& operator=(const WQTemporaryDirectory&) = delete;

    // The folder this object owns.
    const std::filesystem::path& url() const { return url_; }
    // Whether the folder could be made (it is logged when not); url() names it either way.
    bool created() const { return created_; }

    bool removeOnDeinit() const { return removeOnDeinit_; }
    void setRemoveOnDeinit(bool remove) { removeOnDeinit_ = remove; }

    // The name this object logs under (a subclass's own name).
    std::string_view className() const { return className_; }

protected:
    // The class name is handed in because a base constructor and destructor cannot see the
    // subclass through a virtual call.
    WQTemporaryDirectory(const std::filesystem::path& base, std::string_view className);

private:
    std::string_view className_;
    std::filesystem::path url_;
    bool removeOnDeinit_ = true;
    bool created_ = false;
};

}  // namespace tovak
