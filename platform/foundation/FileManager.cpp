#include "FileManager.h"

#include "Log.h"

#include <fcntl.h>
#include <glib.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTemporaryFolderName = "parlivo-for-whatsapp";

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// An XDG variable counts only when it holds an absolute path (the XDG base-directory rules say to
// ignore relative ones).
std::optional<fs::path> absoluteEnvironmentPath(const char* name) {
    std::string value = environment(name);
    if (value.empty() || value.front() != '/') return std::nullopt;
    return fs::path(value);
}

std::string userIdText() { return std::to_string(static_cast<unsigned long>(geteuid())); }

// $XDG_RUNTIME_DIR as the XDG base-directory rules require it: ours and 0700.
std::optional<fs::path> usableRuntimeDirectory() {
    auto runtime = absoluteEnvironmentPath("XDG_RUNTIME_DIR");
    if (!runtime) return std::nullopt;
    struct stat info {};
    if (stat(runtime->c_str(), &info) != 0) return std::nullopt;
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & 077) != 0) return std::nullopt;
    return runtime;
}

fs::path sharedTemporaryParent() { return absoluteEnvironmentPath("TMPDIR").value_or(fs::path("/tmp")); }

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool isUUIDText(std::string_view text) {
    if (text.size() != 36) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return false;
        } else if (!std::isxdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

std::uint64_t ownStartTime() {
    static const std::uint64_t startTime = FileManager::processStartTime(static_cast<int>(getpid())).value_or(0);
    return startTime;
}

}  // namespace

fs::path FileManager::homeDirectory() {
    if (auto home = absoluteEnvironmentPath("HOME")) return *home;
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* result = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result && result->pw_dir)
        return fs::path(result->pw_dir);
    return fs::path("/");
}

fs::path FileManager::applicationSupportDirectory() {
    return absoluteEnvironmentPath("XDG_DATA_HOME").value_or(homeDirectory() / ".local" / "share");
}

fs::path FileManager::cachesDirectory() {
    return absoluteEnvironmentPath("XDG_CACHE_HOME").value_or(homeDirectory() / ".cache");
}

fs::path FileManager::configDirectory() {
    return absoluteEnvironmentPath("XDG_CONFIG_HOME").value_or(homeDirectory() / ".config");
}

bool FileManager::makePrivateDirectory(const fs::path& path) {
    if (path.empty()) return false;
    std::error_code error;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), error);
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat info {};
    // lstat: a symbolic link planted under our name must not redirect us.
    if (lstat(path.c_str(), &info) != 0) return false;
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid()) return false;
    if ((info.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0) return false;
    return true;
}

fs::path FileManager::temporaryDirectory() {
    fs::path candidate;
    if (auto runtime = usableRuntimeDirectory())
        candidate = *runtime / kTemporaryFolderName;
    else
        candidate = sharedTemporaryParent() / (std::string(kTemporaryFolderName) + "-" + userIdText());
    if (makePrivateDirectory(candidate)) return candidate;

    // Our name is taken by something we must not use. A fresh private folder for the rest of
    // the process keeps temporary files safe; it is not shared with later runs.
    // Never destroyed: temporary paths may still be asked for while the process exits.
    static auto* mutex = new std::mutex;
    static auto* replacements = new std::map<fs::path, fs::path>;
    std::lock_guard lock(*mutex);
    if (auto found = replacements->find(candidate); found != replacements->end()) return found->second;
    std::string pattern = (candidate.parent_path() / (candidate.filename().string() + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        systemLog("Cannot create a private temporary folder at " + candidate.string(), LogLevel::error);
        return candidate;
    }
    fs::path replacement(buffer.data());
    systemLog("Temporary folder " + candidate.string() + " is not private; using " + replacement.string(),
              LogLevel::warning);
    replacements->emplace(candidate, replacement);
    return replacement;
}

std::optional<fs::path> FileManager::groupContainer(std::string_view appGroup) {
    if (appGroup.empty() || appGroup == "." || appGroup == ".." || appGroup.size() > 200 ||
        appGroup.find('/') != std::string_view::npos || appGroup.find('\0') != std::string_view::npos)
        return std::nullopt;
    fs::path container;
    if (auto runtime = usableRuntimeDirectory())
        container = *runtime / std::string(appGroup);
    else
        container = sharedTemporaryParent() / (std::string(appGroup) + "-" + userIdText());
    if (!makePrivateDirectory(container)) return std::nullopt;
    return container;
}

std::string FileManager::globallyUniqueString() {
    gchar* uuid = g_uuid_string_random();
    std::string text = upper(uuid);
    g_free(uuid);
    std::ostringstream out;
    out << text << '-' << getpid() << '-' << std::uppercase << std::hex << ownStartTime();
    return out.str();
}

bool FileManager::isOwnerGone(std::string_view uniqueName) {
    const size_t lastDash = uniqueName.rfind('-');
    if (lastDash == std::string_view::npos || lastDash < 37) return false;
    const size_t pidDash = uniqueName.rfind('-', lastDash - 1);
    if (pidDash != 36 || !isUUIDText(uniqueName.substr(0, 36))) return false;

    const std::string_view pidText = uniqueName.substr(pidDash + 1, lastDash - pidDash - 1);
    const std::string_view startText = uniqueName.substr(lastDash + 1);
    long long pid = 0;
    std::uint64_t startTime = 0;
    auto pidResult = std::from_chars(pidText.data(), pidText.data() + pidText.size(), pid);
    auto startResult = std::from_chars(startText.data(), startText.data() + startText.size(), startTime, 16);
    if (pidResult.ec != std::errc() || pidResult.ptr != pidText.data() + pidText.size()) return false;
    if (startResult.ec != std::errc() || startResult.ptr != startText.data() + startText.size()) return false;
    // kill(0) or kill(-1) would address process groups, never a single process of ours.
    if (pid <= 0 || pid > 0x7fffffff) return false;

    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return true;
    // The pid is in use. It is ours only if it started when the name was made; an unknown start
    // time (0) cannot tell a reused pid, so the folder is spared.
    if (startTime == 0) return false;
    auto current = processStartTime(static_cast<int>(pid));
    return current && *current != startTime;
}

std::optional<std::uint64_t> FileManager::processStartTime(int pid) {
    if (pid <= 0) return std::nullopt;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!stat || !std::getline(stat, line)) return std::nullopt;
    // The command name (field 2) may hold spaces and parentheses; fields after it are plain.
    const size_t close = line.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(line.substr(close + 1));
    std::string field;
    // Field 3 (state) is the first after the name; the start time is field 22.
    for (int index = 3; index <= 22; ++index)
        if (!(fields >> field)) return std::nullopt;
    std::uint64_t value = 0;
    auto result = std::from_chars(field.data(), field.data() + field.size(), value);
    if (result.ec != std::errc()) return std::nullopt;
    return value;
}

Expected<std::string> FileManager::contentsAtPath(const fs::path& path, std::uintmax_t maxBytes, Links links) {
    auto fail = [](long code, std::string message) { return failure(FileErrorDomain, code, std::move(message)); };
    // O_NONBLOCK: opening a pipe must not wait for a writer; it is refused below anyway.
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (links == Links::refuse ? O_NOFOLLOW : 0);
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        const int code = errno;
        if (code == ENOENT || code == ENOTDIR) return fail(FileErrorCode::missing, "no such file");
        if (code == ELOOP && links == Links::refuse) return fail(FileErrorCode::notARegularFile, "a symbolic link");
        return fail(FileErrorCode::unreadable, std::strerror(code));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) return fail(FileErrorCode::unreadable, std::strerror(errno));
    if (!S_ISREG(info.st_mode)) return fail(FileErrorCode::notARegularFile, "not a regular file");
    if (info.st_size < 0 || static_cast<std::uintmax_t>(info.st_size) > maxBytes)
        return fail(FileErrorCode::tooLarge, "larger than " + std::to_string(maxBytes) + " bytes");
    try {
        std::string bytes;
        bytes.reserve(static_cast<std::size_t>(info.st_size));
        char buffer[65536];
        for (;;) {
            const ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count < 0) {
                if (errno == EINTR) continue;
                return fail(FileErrorCode::unreadable, std::strerror(errno));
            }
            if (count == 0) break;
            if (static_cast<std::uintmax_t>(count) > maxBytes - bytes.size())
                return fail(FileErrorCode::tooLarge, "larger than " + std::to_string(maxBytes) + " bytes");
            bytes.append(buffer, static_cast<std::size_t>(count));
        }
        return bytes;
    } catch (const std::exception& exception) {
        return fail(FileErrorCode::unreadable, exception.what());
    }
}

Expected<void> FileManager::writeAtomically(const fs::path& path, std::string_view bytes, int mode) {
    GError* problem = nullptr;
    const bool written = g_file_set_contents_full(
        path.c_str(), bytes.data(), static_cast<gssize>(bytes.size()),
        GFileSetContentsFlags(G_FILE_SET_CONTENTS_CONSISTENT | G_FILE_SET_CONTENTS_DURABLE), mode, &problem);
    std::string message = written ? std::string() : problem ? problem->message : "unknown error";
    g_clear_error(&problem);
    if (!written) return failure(FileErrorDomain, FileErrorCode::unwritable, std::move(message));
    return {};
}

}  // namespace platform
