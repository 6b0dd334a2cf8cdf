#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class Bundle;
class Sound;
}  // namespace platform

namespace parlivo {

// The selected notification sound as notifications read it from the settings.
struct NotificationSoundSettings {
    std::string fileName;                     // a sound name, or the custom entry's file name
    std::optional<std::filesystem::path> url;  // the custom sound's file
    bool customSound = false;
};

// One entry of the sound menu: the default sound, a sound of the desktop's sound theme, or the
// user's own imported file. Main thread.
class WQNotificationSound : public std::enable_shared_from_this<WQNotificationSound> {
public:
    static constexpr std::string_view kClassName = "WQNotificationSound";
    // The desktop's default sound for a new message (the freedesktop theme's name); it stands
    // where the Mac names its default notification sound.
    static constexpr std::string_view defaultSoundName = "message-new-instant";
    static constexpr std::string_view userSelectedSoundFileName = "UserSelectedSoundFileName";
    // The bundle's own sound, played when a preview finds nothing under the entry's name.
    static constexpr std::string_view fallbackSoundName = "defaultSound";
    // Longest custom sound, in seconds (exactly this long is accepted).
    static constexpr double maximumDuration = 15.0;
    // Larger files are not read for an import.
    static constexpr std::uintmax_t maximumFileSize = 64 * 1024 * 1024;

    WQNotificationSound(std::string name, std::string fileName, std::optional<std::filesystem::path> url,
                        bool customSound);
    virtual ~WQNotificationSound();

    std::string name;      // shown in the sound menu
    std::string fileName;  // the sound's name in the sound theme, or userSelectedSoundFileName
    std::optional<std::filesystem::path> url;  // the custom sound's stored file
    bool customSound = false;

    // The playable sound: the stored file; else the theme sound of that name; else the bundle's
    // "defaultSound". None when none of these exists.
    virtual std::shared_ptr<platform::Sound> sound() const;
    // The custom entry (told by its file name).
    virtual bool isUserSelectedCustomSound() const;
    // Preview: plays the sound, from the start again when it is already playing.
    virtual void play();

    // Imports the file the user chose as the custom sound. The file is read (at most
    // maximumFileSize), checked to be a sound of at most maximumDuration seconds, and then
    // stored as "UserSelectedSoundFileName.<its extension>" in the user-content folder, written
    // whole beside the old file and renamed over it. Only then does `url` change; a failed
    // import leaves the entry and the previous file as they were. The work runs off the main
    // thread; `completion` gets whether the entry now holds the new file, on the main thread.
    // The entry must be held by a shared_ptr (as the manager's entries are).
    void importCustomSound(const std::filesystem::path& chosenFile, std::function<void(bool)> completion);

private:
    std::shared_ptr<platform::Sound> preview_;
};

// The sound menu's list and the stored selection ("WQNotificationSound.FileName",
// "WQNotificationSound.CustomSound", "WQNotificationSound.URL"). Each preference pane makes its
// own; notifications read the selection through currentSoundSettings(). Main thread.
class WQNotificationSoundManager {
public:
    static constexpr std::string_view kClassName = "WQNotificationSoundManager";
    static constexpr std::string_view keyFileName = "WQNotificationSound.FileName";
    static constexpr std::string_view keyCustomSound = "WQNotificationSound.CustomSound";
    static constexpr std::string_view keyURL = "WQNotificationSound.URL";
    // The bundle's list of theme sounds we offer.
    static constexpr std::string_view soundListResource = "WQNotificationSoundList";

    // Builds the list: the default entry, the bundle list's entries whose sound exists (in file
    // order), the custom entry.
    explicit WQNotificationSoundManager(const platform::Bundle& bundle);
    WQNotificationSoundManager();
    virtual ~WQNotificationSoundManager();

    std::vector<std::shared_ptr<WQNotificationSound>> soundList;
    std::shared_ptr<WQNotificationSound> defaultSound;
    std::shared_ptr<WQNotificationSound> userSelectedSound;

    // The selected entry; the default entry when the stored name matches none.
    virtual std::shared_ptr<WQNotificationSound> currentSound() const;
    // The first entry whose file name / name is exactly `text`, else the default entry.
    std::shared_ptr<WQNotificationSound> soundForFileName(std::string_view text) const;
    std::shared_ptr<WQNotificationSound> soundForName(std::string_view text) const;

    // Stores the entry as the selection.
    void saveCurrentSound(const WQNotificationSound& sound);

    // The stored selection; (defaultSoundName, none, false) when nothing is stored.
    static NotificationSoundSettings currentSoundSettings();

private:
    std::shared_ptr<WQNotificationSound> soundMatching(std::string_view text,
                                                       std::string WQNotificationSound::*field) const;
};

}  // namespace parlivo
