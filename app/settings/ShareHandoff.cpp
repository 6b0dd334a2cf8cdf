#include "settings/ShareHandoff.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "DebugPrint.h"
#include "foundation/FileManager.h"
#include "foundation/KeyedArchive.h"
#include "foundation/Text.h"
#include "foundation/URL.h"

namespace parlivo {

namespace {

namespace fs = std::filesystem;
using platform::equalsIgnoringCase;

bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

constexpr std::string_view attributedStringRecord = "AttributedString";

platform::KeyedArchive::ReadOptions archiveOptions() {
    platform::KeyedArchive::ReadOptions options;
    options.allowedClasses = {"NSArray", "NSMutableArray", "NSDictionary", "NSMutableDictionary",
                              "NSString", "NSMutableString", "NSURL"};
    options.classNames = {{"NSAttributedString", std::string(attributedStringRecord)},
                          {"NSMutableAttributedString", std::string(attributedStringRecord)}};
    options.maxBytes = ShareHandoff::maxArchiveBytes;
    return options;
}

// The plain text of an attributed string, or none when the object is not one.
std::optional<std::string> plainString(const platform::KeyedArchive::Object& object) {
    using Kind = platform::KeyedArchive::Object::Kind;
    if (object.kind != Kind::record || object.className != attributedStringRecord) return std::nullopt;
    const std::string* text = object["NSString"].asString();
    if (!text) return std::nullopt;
    return *text;
}

}  // namespace

std::optional<fs::path> ShareHandoff::archivePath(std::string_view url, std::string_view bundleIdentifier) {
    auto parsed = platform::URL::parse(url);
    if (!parsed) return std::nullopt;
    const std::string expected = std::string(bundleIdentifier) + ".share";
    if (!equalsIgnoringCase(parsed->scheme(), expected)) return std::nullopt;
    if (parsed->path().empty() || parsed->path().front() != '/') return std::nullopt;
    return fs::path(parsed->path());
}

std::optional<fs::path> ShareHandoff::acceptedShareFolder(const fs::path& archivePath, const fs::path& root,
                                                          std::string* reason) {
    auto refuse = [reason](std::string why) -> std::optional<fs::path> {
        if (reason) *reason = std::move(why);
        return std::nullopt;
    };
    const fs::path normal = archivePath.lexically_normal();
    if (!normal.is_absolute()) return refuse("not an absolute path");
    if (!isPlainName(normal.filename().string())) return refuse("no archive file name");
    const fs::path folder = normal.parent_path();

    std::error_code error;
    const fs::path realRoot = fs::canonical(root, error);
    if (error) return refuse("no share root");
    const fs::path realFolder = fs::canonical(folder, error);
    if (error) return refuse("no such folder");
    if (realFolder.parent_path() != realRoot || realFolder == realRoot)
        return refuse("not a folder directly inside the share root");

    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0) return refuse("no such folder");
    if (S_ISLNK(info.st_mode)) return refuse("the folder is a link");
    if (lstat(realFolder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return refuse("not a folder");
    if (info.st_uid != geteuid()) return refuse("the folder belongs to another user");
    return realFolder;
}

std::optional<std::vector<std::uint8_t>> ShareHandoff::readArchiveFile(const fs::path& folder, const std::string& name) {
    if (!isPlainName(name)) return std::nullopt;
    auto bytes = platform::FileManager::contentsAtPath(folder / name, maxArchiveBytes, platform::FileManager::Links::refuse);
    if (!bytes) return std::nullopt;
    return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
}

std::optional<ShareHandoff::Content> ShareHandoff::readArchive(std::span<const std::uint8_t> bytes,
                                                               const fs::path& folder) {
    using Kind = platform::KeyedArchive::Object::Kind;
    auto root = platform::KeyedArchive::read(bytes, archiveOptions());
    if (!root || root->kind != Kind::array) return std::nullopt;

    std::vector<fs::path> files;
    for (const auto& item : root->elements) {
        if (item.kind == Kind::url) {
            const std::string absolute = item.absoluteURL();
            auto parsed = platform::URL::parse(absolute);
            if (parsed && parsed->scheme() == "file") {
                const std::string name = parsed->lastPathComponent();
                if (!isPlainName(name)) continue;
                struct stat info {};
                const fs::path file = folder / name;
                // Only a plain file of the share folder: never a link out of it.
                if (lstat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
                files.push_back(file);
                continue;
            }
            return Content{std::nullopt, absolute};
        }
        if (item.kind == Kind::dictionary) {
            // A dictionary from strings to attributed strings, and nothing else.
            const bool allAttributed = std::all_of(item.entries.begin(), item.entries.end(),
                                                   [](const auto& entry) { return plainString(entry.second).has_value(); });
            if (!allAttributed) continue;
            tovak::debugPrint("Trellik", "Processing Strings!");
            for (const char* key : {"content", "title"}) {
                auto found = item.entries.find(key);
                if (found != item.entries.end()) return Content{std::nullopt, *plainString(found->second)};
            }
        }
    }
    return Content{std::move(files), std::nullopt};
}

}  // namespace parlivo
