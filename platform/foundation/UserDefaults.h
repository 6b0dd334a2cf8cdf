#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "PropertyList.h"
#include "WorkQueue.h"

namespace platform {

// The user's settings: registered defaults in memory, the user's own values in one XML property
// list, $XDG_CONFIG_HOME/net.vantreo.mac.WhatsApp/defaults.plist (~/.config when unset),
// rewritten atomically (temporary file in the same folder, fsync, rename).
//
// A change is in memory at once and reaches the file shortly after, written by a thread of the
// store's own: changes made together (a slider dragged, a fade's steps) cost one write, and the
// main thread never waits for the disk. Readers never wait for a write either: the store's lock
// is held to take a copy of the values and serialize it, not while the file is written. One
// write runs at a time; a change made while one is under way is written by the next.
// synchronize() writes at once on the calling thread, after a write under way has ended, and
// returns once every change made before it is in the file; the program calls it when it quits,
// an object writes what is left when it goes, and the standard store writes at the process's
// exit (the C library's exit included).
//
// Settings work belongs on the main thread. The object still locks internally, so a stray call
// from another thread is not a data race.
//
// A settings file that cannot be read, parsed, or is not a dictionary is moved aside as
// "defaults.plist.corrupt-YYYYMMDDTHHMMSS" (UTC), logged, and the program goes on from the
// registered defaults. When it cannot be moved aside, changes stay in memory and the file is
// left alone: nothing is overwritten silently.
//
// Before a change is written, a file changed by another process (the LaunchHelper shares it)
// is read again, so the other's values are kept; a change only replaces its own key.
//
// A write that fails (no space left, a read-only folder) leaves the old file as it was and keeps
// the changes in memory: they are written at the next change, and meanwhile retried by the
// store's thread, one second after the failure and then at doubling intervals up to a minute. The first
// failure of a run of them posts writeFailedNotification (with the reason as "reason", a
// std::string); the write that succeeds again posts writeRecoveredNotification. Both come on the
// main thread, with the store as the object.
//
// When a store is made, temporary files an earlier writer left behind (killed between writing
// and renaming) are removed: exactly "<file name>.XXXXXX" in the settings folder, plain files of
// ours, untouched for a minute (so not one another live writer, the LaunchHelper, has on its way).
class UserDefaults {
public:
    static constexpr std::string_view writeFailedNotification = "ParlivoUserDefaultsWriteFailed";
    static constexpr std::string_view writeRecoveredNotification = "ParlivoUserDefaultsWriteRecovered";
    // The longest wait between two retries of a failed write, in seconds.
    static constexpr double kMaximumRetryDelaySeconds = 60.0;
    // A temporary file untouched for this long is no live writer's.
    static constexpr double kStaleTemporaryAgeSeconds = 60.0;

    static UserDefaults& standard();
    // A store over an explicit file (tests, tools).
    explicit UserDefaults(std::filesystem::path file);

    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    const std::filesystem::path& filePath() const { return file_; }

    // Adds (or replaces) registered defaults from a dictionary; anything else is ignored.
    void registerDefaults(const PropertyList& dictionary);

    // The user's value, else the registered default, else none.
    std::optional<PropertyList> object(std::string_view key) const;

    // Stores a user value; the file follows (see above). A null value removes the key.
    void set(std::string_view key, PropertyList value);
    void setBool(std::string_view key, bool value) { set(key, value); }
    void setInteger(std::string_view key, std::int64_t value) { set(key, value); }
    void setDouble(std::string_view key, double value) { set(key, value); }
    void setString(std::string_view key, std::string value) { set(key, std::move(value)); }
    void setData(std::string_view key, PropertyList::Data value) { set(key, std::move(value)); }
    // Stores the URL's text; urlForKey turns a plain path back into a file URL.
    void setURL(std::string_view key, const std::string& url) { set(key, url); }
    // Removes the user value (a registered default shows through again).
    void remove(std::string_view key);

    // Typed reads. A missing key reads false, 0, 0.0 or none. Like Apple's, the number readers
    // accept booleans, integers, reals and numeric strings ("42", "0.5", "YES"/"true").
    bool boolForKey(std::string_view key) const;
    std::int64_t integerForKey(std::string_view key) const;
    double doubleForKey(std::string_view key) const;
    // A string, or a number written as text; none for other types.
    std::optional<std::string> stringForKey(std::string_view key) const;
    std::optional<PropertyList::Data> dataForKey(std::string_view key) const;
    std::optional<PropertyList::Array> arrayForKey(std::string_view key) const;
    std::optional<PropertyList::Dictionary> dictionaryForKey(std::string_view key) const;
    std::optional<std::string> urlForKey(std::string_view key) const;

    // Writes the changes not yet in the file, now. True when the file holds every change.
    bool synchronize();
    // False when the last write failed (or the file is being left alone); true before any.
    bool lastWriteSucceeded() const;
    // How long after a change the file is written, at most.
    static constexpr double kWriteDelaySeconds = 1.0;

    ~UserDefaults();

private:
    struct FileStamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        std::timespec modified{};
        bool operator==(const FileStamp& other) const;
    };

    FileStamp currentStamp() const;
    void loadLocked();
    void refreshIfChangedLocked();
    bool moveAsideLocked(const std::string& reason);
    void changeLocked(std::string_view key, std::optional<PropertyList> value);
    // Posts a write to the store's thread (started on first use). Called on the main thread.
    void writeInBackground();
    // Writes what is not in the file yet; the caller holds writeMutex_, not mutex_.
    bool writeChanges();
    void writeFailedLocked(const std::string& reason);
    void writeSucceededLocked();
    void removeStaleTemporaries() const;

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    PropertyList::Dictionary registered_;
    PropertyList::Dictionary values_;
    FileStamp stamp_;
    bool fileLeftAlone_ = false;  // an unreadable file could not be moved aside
    bool lastWriteOk_ = true;
    // Changes not yet written: the new value, or none for a removal, and the change's number.
    // Kept apart so that a file changed by another process meanwhile can be read again without
    // losing them. A write forgets only the changes up to the number it took its copy at: what
    // changed while it was under way stays for the next.
    struct Unsaved {
        std::optional<PropertyList> value;
        std::uint64_t change = 0;
    };
    std::map<std::string, Unsaved> unsaved_;
    std::uint64_t changeCount_ = 0;
    // Held for a whole write (copy, file, bookkeeping), before mutex_: one writer at a time.
    std::mutex writeMutex_;
    // The thread that writes after a change and retries failed writes; made on first use.
    std::unique_ptr<WorkQueue> writer_;
    bool writeScheduled_ = false;
    // Failed writes: whether the failure was told, and the wait before the next retry.
    bool failing_ = false;
    bool retryScheduled_ = false;
    double retryDelay_ = 0;
    // The scheduled write holds it weakly: an object that goes first is not written twice.
    std::shared_ptr<UserDefaults*> self_ = std::make_shared<UserDefaults*>(this);
};

}  // namespace platform
