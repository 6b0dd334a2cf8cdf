#pragma once

#include "system/Expected.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The domain of FileManager's failures and its codes.
inline constexpr const char* FileErrorDomain = "platform.File";
namespace FileErrorCode {
inline constexpr long missing = 1;          // no such file
inline constexpr long notARegularFile = 2;  // a folder, a device, a pipe, a refused link
inline constexpr long tooLarge = 3;         // more bytes than the caller accepts
inline constexpr long unreadable = 4;       // any other failure to read
inline constexpr long unwritable = 5;       // writeAtomically could not replace the file
}  // namespace FileErrorCode

// Where the program keeps its files on a Linux desktop, after the XDG base-directory rules.
//
// Temporary files never go into a folder other users can enter: /tmp is shared on Linux, where
// the Mac's temporary folder is per user. Every temporary path comes from a private base folder
// (mode 0700, owned by us, not a symbolic link), checked each time it is handed out.
class FileManager {
public:
    // The app group whose container the share hand-off uses.
    static constexpr std::string_view defaultAppGroup = "net.vantreo.mac.WhatsApp.share";

    // $HOME, else the password database's home folder.
    static std::filesystem::path homeDirectory();
    // "Application Support": $XDG_DATA_HOME, else ~/.local/share. Not created here.
    static std::filesystem::path applicationSupportDirectory();
    // $XDG_CACHE_HOME, else ~/.cache. Not created here.
    static std::filesystem::path cachesDirectory();
    // $XDG_CONFIG_HOME, else ~/.config. Not created here.
    static std::filesystem::path configDirectory();

    // The per-user temporary base, created on demand with mode 0700:
    // $XDG_RUNTIME_DIR/parlivo-for-whatsapp when the runtime folder is usable (absolute, ours,
    // mode 0700), else ${TMPDIR:-/tmp}/parlivo-for-whatsapp-<uid>. When that name is taken by
    // something that is not our private folder (another user's, a link, a file), a fresh
    // mkdtemp folder is used for the rest of the process and a warning is logged.
    // Always returns a path; when nothing could be created the later file operation fails.
    static std::filesystem::path temporaryDirectory();

    // The container folder of an application group: $XDG_RUNTIME_DIR/<group>/ (mode 0700), or
    // ${TMPDIR:-/tmp}/<group>-<uid>/ without a usable runtime folder. Both programs of a share
    // hand-off find the same folder this way. None for a group name that is not a plain folder
    // name, or when the folder cannot be made private.
    static std::optional<std::filesystem::path> groupContainer(std::string_view appGroup = defaultAppGroup);

    // Creates `path` (parents as needed, the last one with mode 0700) or accepts an existing
    // one, and checks that it is a real folder (not a link), owned by this user, not open to
    // group or others (a wider mode on our own folder is narrowed). False otherwise.
    static bool makePrivateDirectory(const std::filesystem::path& path);

    // Whether contentsAtPath may follow a symbolic link in the last component of the path.
    enum class Links { follow, refuse };

    // The one reader of files from outside: the whole content of the regular file at `path`, at
    // most `maxBytes` of it. An error in FileErrorDomain (missing, notARegularFile, tooLarge,
    // unreadable; the message is for a log line) when the file is missing, is no
    // regular file (a folder, a device such as /dev/zero, a pipe, or with Links::refuse a
    // symbolic link), holds more than `maxBytes` (checked before reading and while reading, so a
    // file that grows meanwhile is refused too) or cannot be read. It never blocks on a pipe and
    // never throws.
    static Expected<std::string> contentsAtPath(const std::filesystem::path& path, std::uintmax_t maxBytes,
                                                Links links = Links::follow);

    // Replaces `path` with `bytes` through a temporary file in the same folder, synced and
    // renamed over it, so a reader sees the old file or the new one, never a part. The file gets
    // `mode`. On failure the old file is untouched and the error (FileErrorCode::unwritable)
    // says why.
    static Expected<void> writeAtomically(const std::filesystem::path& path, std::string_view bytes, int mode = 0600);

    // A name unique across processes and time: "<UUID>-<pid>-<start time in hex>", upper-case.
    // The owning process can be read back from it (see isOwnerGone).
    static std::string globallyUniqueString();
    // For a name made by globallyUniqueString: whether the process that made it has ended
    // (no such process, or the pid now belongs to a process started at another time). False
    // for names of any other form and whenever it cannot be told, so callers that clean up
    // never touch what might be live.
    static bool isOwnerGone(std::string_view uniqueName);
    // The start time of a process in clock ticks since boot (/proc/<pid>/stat), or none.
    static std::optional<std::uint64_t> processStartTime(int pid);
};

}  // namespace platform
