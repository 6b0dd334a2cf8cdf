#include "UserDefaults.h"
#include "UserDefaultsTesting.h"

#include "FileManager.h"
#include "Log.h"
#include "MainQueue.h"
#include "NotificationCenter.h"
#include "Text.h"

#include <glib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <mutex>

namespace platform {

namespace {

namespace fs = std::filesystem;

constexpr const char* applicationFolder = "net.vantreo.mac.WhatsApp";
constexpr const char* fileName = "defaults.plist";

fs::path standardFile() {
    return FileManager::configDirectory() / applicationFolder / fileName;
}

std::string trimmedLeft(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && std::strchr(" \t\n\r\f\v", text[start]) && text[start] != '\0') ++start;
    text.remove_prefix(start);
    if (text.starts_with('+')) text.remove_prefix(1);
    return std::string(text);
}

// NSString's integerValue: leading white space, a sign, digits; stops at the first other
// character; saturates on overflow; 0 when there is no number.
std::int64_t leadingInteger(std::string_view text) {
    const std::string number = trimmedLeft(text);
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range)
        return number.starts_with('-') ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    return error == std::errc() ? value : 0;
}

// NSString's doubleValue, independent of the process locale.
double leadingDouble(std::string_view text) {
    const std::string number = trimmedLeft(text);
    double value = 0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) return number.starts_with('-') ? -HUGE_VAL : HUGE_VAL;
    return error == std::errc() ? value : 0.0;
}

std::int64_t realToInteger(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 9.2233720368547758e18) return std::numeric_limits<std::int64_t>::max();
    if (value <= -9.2233720368547758e18) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

std::string timeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &utc);
    return text;
}


struct WriteHook {
    std::mutex mutex;
    std::function<void(const fs::path&)> function;
};

// Never destroyed: the standard store's thread may still write while the process exits.
WriteHook& writeHook() {
    static auto* hook = new WriteHook;
    return *hook;
}

void runWriteHook(const fs::path& file) {
    std::function<void(const fs::path&)> hook;
    {
        std::lock_guard lock(writeHook().mutex);
        hook = writeHook().function;
    }
    if (hook) hook(file);
}

}  // namespace

void setUserDefaultsWriteHook(std::function<void(const std::filesystem::path&)> hook) {
    std::lock_guard lock(writeHook().mutex);
    writeHook().function = std::move(hook);
}

bool UserDefaults::FileStamp::operator==(const FileStamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

UserDefaults& UserDefaults::standard() {
    // Never destroyed: settings are read and written until the very end. What is still unwritten
    // when the process exits (also through the C library's exit) is written then.
    static UserDefaults* defaults = [] {
        auto* made = new UserDefaults(standardFile());
        std::atexit([] { UserDefaults::standard().synchronize(); });
        return made;
    }();
    return *defaults;
}

UserDefaults::UserDefaults(std::filesystem::path file) : file_(std::move(file)) {
    std::lock_guard lock(mutex_);
    removeStaleTemporaries();
    loadLocked();
}

void UserDefaults::removeStaleTemporaries() const {
    // g_file_set_contents writes "<file>.XXXXXX" (six letters or digits) beside the file and
    // renames it over the file; a writer killed in between leaves it behind.
    const std::string prefix = file_.filename().string() + ".";
    const fs::path directory = file_.parent_path().empty() ? fs::path(".") : file_.parent_path();
    std::error_code error;
    fs::directory_iterator entries(directory, error);
    if (error) return;
    const std::time_t now = std::time(nullptr);
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) continue;
        if (!std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                         [](char c) { return g_ascii_isalnum(c); }))
            continue;
        struct stat info {};
        if (::lstat(entry.path().c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) continue;
        // A file written to within the last minute (or in the future) may be a live writer's.
        const double age = std::difftime(now, info.st_mtim.tv_sec);
        if (age < kStaleTemporaryAgeSeconds) continue;
        if (::unlink(entry.path().c_str()) == 0) {
            systemLog("UserDefaults: removed " + entry.path().string() + ", a settings write that never finished",
                      LogLevel::info);
        }
    }
}

UserDefaults::~UserDefaults() {
    *self_ = nullptr;  // the timers on the main loop post nothing more
    std::unique_ptr<WorkQueue> writer;
    {
        std::lock_guard lock(mutex_);
        writer = std::move(writer_);
    }
    writer.reset();  // runs the writes already posted, then ends the thread
    synchronize();
}

UserDefaults::FileStamp UserDefaults::currentStamp() const {
    struct stat info {};
    if (::stat(file_.c_str(), &info) != 0) return {};
    return FileStamp{true, info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

void UserDefaults::loadLocked() {
    const FileStamp stamp = currentStamp();
    std::string reason;
    values_.clear();
    fileLeftAlone_ = false;
    auto bytes = FileManager::contentsAtPath(file_, PropertyList::maxParseBytes);
    if (bytes) {
        auto parsed = PropertyList::parse(*bytes);
        if (parsed && parsed->isDictionary()) {
            values_ = std::move(*parsed->asDictionary());
            stamp_ = stamp;
            return;
        }
        reason = parsed ? "not a dictionary" : parsed.error().message;
    } else if (bytes.error().code == FileErrorCode::missing) {
        stamp_ = {};
        return;
    } else {
        reason = bytes.error().message;
    }
    if (moveAsideLocked(reason)) {
        stamp_ = currentStamp();
    } else {
        fileLeftAlone_ = true;
        stamp_ = stamp;
    }
}

void UserDefaults::refreshIfChangedLocked() {
    if (fileLeftAlone_) {
        // While an unreadable file is in the way, this session's changes live only in memory;
        // the retry must not drop them (they are written once the file is out of the way).
        PropertyList::Dictionary inMemory = std::move(values_);
        loadLocked();
        for (auto& [key, value] : inMemory) values_.insert_or_assign(key, std::move(value));
        return;
    }
    if (currentStamp() == stamp_) return;
    // Another process (the LaunchHelper) wrote the file: take its values, then our own changes
    // that are not written yet.
    loadLocked();
    for (const auto& [key, change] : unsaved_) {
        if (change.value)
            values_.insert_or_assign(key, *change.value);
        else
            values_.erase(key);
    }
}

bool UserDefaults::moveAsideLocked(const std::string& reason) {
    const std::string base = file_.string() + ".corrupt-" + timeStamp();
    fs::path target = base;
    std::error_code error;
    for (int attempt = 2; fs::exists(target, error) && attempt < 1000; ++attempt)
        target = base + "-" + std::to_string(attempt);
    if (::rename(file_.c_str(), target.c_str()) != 0) {
        systemLog("UserDefaults: the settings file " + file_.string() + " cannot be read (" + reason +
                      ") nor moved aside (" + std::strerror(errno) +
                      "); starting from the registered defaults and leaving the file untouched",
                  LogLevel::error);
        return false;
    }
    systemLog("UserDefaults: the settings file " + file_.string() + " cannot be read (" + reason +
                  "); moved it aside to " + target.string() + " and starting from the registered defaults",
              LogLevel::warning);
    return true;
}

bool UserDefaults::writeChanges() {
    std::string xml;
    std::uint64_t copiedAt = 0;
    {
        std::lock_guard lock(mutex_);
        writeScheduled_ = false;
        if (unsaved_.empty()) return lastWriteOk_ && !fileLeftAlone_;
        refreshIfChangedLocked();
        if (fileLeftAlone_) {
            writeFailedLocked("an unreadable settings file is in the way");
            return false;
        }
        xml = PropertyList(values_).toXml();
        copiedAt = changeCount_;
    }
    // The file is written without the store's lock: readers and changes go on meanwhile.
    std::string failure = "the settings could not be serialized";
    bool written = false;
    if (!xml.empty()) {
        const fs::path directory = file_.parent_path();
        std::error_code error;
        if (!directory.empty() && !fs::is_directory(directory, error)) {
            fs::create_directories(directory, error);
            if (!error) fs::permissions(directory, fs::perms::owner_all, error);
        }
        runWriteHook(file_);
        const auto result = FileManager::writeAtomically(file_, xml, 0600);
        written = result.has_value();
        if (!written) failure = result.error().message;
    }
    std::lock_guard lock(mutex_);
    if (!written) {
        writeFailedLocked(failure);  // kept: a retry, the next change or synchronize writes it
        return false;
    }
    stamp_ = currentStamp();
    std::erase_if(unsaved_, [copiedAt](const auto& entry) { return entry.second.change <= copiedAt; });
    writeSucceededLocked();
    return unsaved_.empty();
}

void UserDefaults::writeInBackground() {
    WorkQueue* writer = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (!writer_) writer_ = std::make_unique<WorkQueue>("settings writer");
        writer = writer_.get();
    }
    // The destructor ends the thread, running what was posted, before the object goes.
    writer->async([this] {
        std::lock_guard writing(writeMutex_);
        writeChanges();
    });
}

void UserDefaults::writeFailedLocked(const std::string& reason) {
    lastWriteOk_ = false;
    if (!failing_) {
        // Said once for a run of failures; the retries are quiet.
        failing_ = true;
        retryDelay_ = 0;
        systemLog("UserDefaults: cannot write " + file_.string() + ": " + reason +
                      "; the changes are kept and written as soon as that works again",
                  LogLevel::error);
        // The notification carries the system's own words ("No space left on device"), not the
        // temporary file's name around them.
        const auto colon = reason.rfind(": ");
        MainQueue::async([weak = std::weak_ptr<UserDefaults*>(self_),
                          reason = colon == std::string::npos ? reason : reason.substr(colon + 2)] {
            if (auto self = weak.lock(); self && *self)
                NotificationCenter::defaultCenter().post(writeFailedNotification, *self, {{"reason", reason}});
        });
    }
    if (retryScheduled_) return;
    retryScheduled_ = true;
    retryDelay_ = retryDelay_ <= 0 ? kWriteDelaySeconds : std::min(retryDelay_ * 2, kMaximumRetryDelaySeconds);
    MainQueue::after(retryDelay_, [weak = std::weak_ptr<UserDefaults*>(self_)] {
        auto self = weak.lock();
        if (!self || !*self) return;
        {
            std::lock_guard lock((*self)->mutex_);
            (*self)->retryScheduled_ = false;
        }
        (*self)->writeInBackground();
    });
}

void UserDefaults::writeSucceededLocked() {
    lastWriteOk_ = true;
    if (!failing_) return;
    failing_ = false;
    retryDelay_ = 0;
    systemLog("UserDefaults: " + file_.string() + " is written again", LogLevel::info);
    MainQueue::async([weak = std::weak_ptr<UserDefaults*>(self_)] {
        if (auto self = weak.lock(); self && *self)
            NotificationCenter::defaultCenter().post(writeRecoveredNotification, *self);
    });
}

void UserDefaults::changeLocked(std::string_view key, std::optional<PropertyList> value) {
    refreshIfChangedLocked();
    std::string name(key);
    if (value)
        values_.insert_or_assign(name, *value);
    else
        values_.erase(name);
    unsaved_.insert_or_assign(std::move(name), Unsaved{std::move(value), ++changeCount_});
    if (writeScheduled_) return;
    writeScheduled_ = true;
    MainQueue::after(kWriteDelaySeconds, [weak = std::weak_ptr<UserDefaults*>(self_)] {
        if (auto self = weak.lock(); self && *self) (*self)->writeInBackground();
    });
}

bool UserDefaults::synchronize() {
    // After a write under way on the store's thread: then every change made before this call is
    // in the copy written here.
    std::lock_guard writing(writeMutex_);
    return writeChanges();
}

void UserDefaults::registerDefaults(const PropertyList& dictionary) {
    const auto* entries = dictionary.asDictionary();
    if (!entries) return;
    std::lock_guard lock(mutex_);
    for (const auto& [key, value] : *entries) registered_.insert_or_assign(key, value);
}

std::optional<PropertyList> UserDefaults::object(std::string_view key) const {
    std::lock_guard lock(mutex_);
    if (auto found = values_.find(key); found != values_.end()) return found->second;
    if (auto found = registered_.find(key); found != registered_.end()) return found->second;
    return std::nullopt;
}

void UserDefaults::set(std::string_view key, PropertyList value) {
    if (value.isNull()) {
        remove(key);
        return;
    }
    std::lock_guard lock(mutex_);
    changeLocked(key, std::move(value));
}

void UserDefaults::remove(std::string_view key) {
    std::lock_guard lock(mutex_);
    changeLocked(key, std::nullopt);
}

bool UserDefaults::lastWriteSucceeded() const {
    std::lock_guard lock(mutex_);
    return lastWriteOk_;
}

bool UserDefaults::boolForKey(std::string_view key) const {
    auto value = object(key);
    if (!value) return false;
    if (auto flag = value->asBool()) return *flag;
    if (auto number = value->asReal()) return *number != 0;
    if (auto text = value->asString()) {
        if (equalsIgnoringCase(*text, "yes") || equalsIgnoringCase(*text, "true")) return true;
        return leadingDouble(*text) != 0;
    }
    return false;
}

std::int64_t UserDefaults::integerForKey(std::string_view key) const {
    auto value = object(key);
    if (!value) return 0;
    if (auto integer = value->asInt()) return *integer;
    if (auto flag = value->asBool()) return *flag ? 1 : 0;
    if (auto number = value->asReal()) return realToInteger(*number);
    if (auto text = value->asString()) return leadingInteger(*text);
    return 0;
}

double UserDefaults::doubleForKey(std::string_view key) const {
    auto value = object(key);
    if (!value) return 0.0;
    if (auto number = value->asReal()) return *number;
    if (auto flag = value->asBool()) return *flag ? 1.0 : 0.0;
    if (auto text = value->asString()) return leadingDouble(*text);
    return 0.0;
}

std::optional<std::string> UserDefaults::stringForKey(std::string_view key) const {
    auto value = object(key);
    if (!value) return std::nullopt;
    if (auto text = value->asString()) return *text;
    if (auto flag = value->asBool()) return std::string(*flag ? "1" : "0");
    char buffer[64];
    if (auto integer = value->asInt()) {
        auto result = std::to_chars(buffer, buffer + sizeof buffer, *integer);
        return std::string(buffer, result.ptr);
    }
    if (auto number = value->asReal()) {
        auto result = std::to_chars(buffer, buffer + sizeof buffer, *number);
        return std::string(buffer, result.ptr);
    }
    return std::nullopt;
}

std::optional<PropertyList::Data> UserDefaults::dataForKey(std::string_view key) const {
    auto value = object(key);
    if (!value || !value->asData()) return std::nullopt;
    return *value->asData();
}

std::optional<PropertyList::Array> UserDefaults::arrayForKey(std::string_view key) const {
    auto value = object(key);
    if (!value || !value->asArray()) return std::nullopt;
    return *value->asArray();
}

std::optional<PropertyList::Dictionary> UserDefaults::dictionaryForKey(std::string_view key) const {
    auto value = object(key);
    if (!value || !value->asDictionary()) return std::nullopt;
    return *value->asDictionary();
}

std::optional<std::string> UserDefaults::urlForKey(std::string_view key) const {
    auto value = object(key);
    const std::string* text = value ? value->asString() : nullptr;
    if (!text || text->empty()) return std::nullopt;
    if (text->find("://") != std::string::npos || text->starts_with("mailto:")) return *text;
    std::string path = *text;
    if (path.starts_with("~/")) path = std::string(g_get_home_dir()) + path.substr(1);
    if (!fs::path(path).is_absolute()) return std::nullopt;
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    if (!uri) return std::nullopt;
    std::string result(uri);
    g_free(uri);
    return result;
}

}  // namespace platform
