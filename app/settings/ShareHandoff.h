#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace parlivo {

// Reading a share hand-off: the URL another program opens, the share folder it names and the
// keyed archive in that folder. Everything here comes from outside, so each step checks what
// it is given and refuses rather than guesses.
class ShareHandoff {
public:
    // What a share offers: files (paths inside the share folder) or one text; exactly one is set.
    struct Content {
        std::optional<std::vector<std::filesystem::path>> fileUrls;
        std::optional<std::string> text;
    };

    // The archive path a share URL names: its path, percent-decoded. None when the text is not
    // a URL whose scheme is "<bundle identifier>.share" (in any case; the desktop hands schemes
    // over in lower case) or has no absolute path.
    static std::optional<std::filesystem::path> archivePath(std::string_view url, std::string_view bundleIdentifier);

    // The share folder of an archive path, resolved, when it is acceptable: a real folder (not a
    // link) directly inside `root`, owned by this user, and the archive's own name is a plain
    // file name. None otherwise, with the reason in `reason`.
    static std::optional<std::filesystem::path> acceptedShareFolder(const std::filesystem::path& archivePath,
                                                                    const std::filesystem::path& root,
                                                                    std::string* reason = nullptr);

    // The archive's items turned into a share: files are looked up by their last path component
    // directly in `folder` (names that are empty, ".", ".." or hold a "/", and anything that is
    // not a plain file there, are skipped); the first web address or text ends the list and
    // wins. None when the bytes are not a keyed archive of only the allowed classes whose root
    // is an array.
    static std::optional<Content> readArchive(std::span<const std::uint8_t> bytes, const std::filesystem::path& folder);

    // Reads the archive file `name` in `folder` (a plain file, not followed through a link,
    // bounded in size). None when it cannot be read.
    static std::optional<std::vector<std::uint8_t>> readArchiveFile(const std::filesystem::path& folder,
                                                                    const std::string& name);

    // The largest archive file read.
    static constexpr std::size_t maxArchiveBytes = 16 * 1024 * 1024;
};

}  // namespace parlivo
