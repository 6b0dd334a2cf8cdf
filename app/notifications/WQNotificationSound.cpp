#include "notifications/WQNotificationSound.h"

#include <glib.h>

#include "DebugPrint.h"
#include "WQDirectory.h"
#include "WQTempFile.h"
#include "foundation/Bundle.h"
#include "foundation/FileManager.h"
#include "foundation/Localized.h"
#include "foundation/MainQueue.h"
#include "foundation/PropertyList.h"
#include "foundation/UserDefaults.h"
#include "foundation/WorkQueue.h"
#include "media/Sound.h"

namespace parlivo {

namespace fs = std::filesystem;

namespace {

// The sound list is ours, but a broken installation must not make us read a huge file.
constexpr std::uintmax_t kMaximumListSize = 1024 * 1024;

std::optional<std::string> fileURL(const fs::path& path) {
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    if (!uri) return std::nullopt;
    std::string text(uri);
    g_free(uri);
    return text;
}

// Only local files: the stored URL comes from the settings file.
std::optional<fs::path> filePath(const std::string& url) {
    gchar* path = g_filename_from_uri(url.c_str(), nullptr, nullptr);
    if (!path) return std::nullopt;
    fs::path result(path);
    g_free(path);
    return result;
}

std::optional<fs::path> storedURL() {
    auto url = platform::UserDefaults::standard().urlForKey(WQNotificationSoundManager::keyURL);
    return url ? filePath(*url) : std::nullopt;
}

// The import's work, off the main thread: validates a private copy of the chosen file and
// stores it as the custom sound. The stored file's path, or none.
std::optional<fs::path> storeCustomSound(const fs::path& chosenFile, const std::string& extension) {
    auto log = [](std::string_view line) { tovak::debugPrint(WQNotificationSound::kClassName, line); };
    // Validation works on a private copy, so the chosen file cannot change under the check.
    tovak::WQTempFile temporary(extension);
    auto bytes = platform::FileManager::contentsAtPath(chosenFile, WQNotificationSound::maximumFileSize);
    if (!bytes || !platform::FileManager::writeAtomically(temporary.url(), *bytes)) {
        log("Could not copy file to temp directory");
        return std::nullopt;
    }
    const auto duration = platform::Sound::probeDurationNow(temporary.url());
    if (!duration) {
        log("Could not load sound file");
        return std::nullopt;
    }
    if (*duration > WQNotificationSound::maximumDuration) {
        log("Sound file too long (> 15s)");
        return std::nullopt;
    }
    log("Can choose sound file");

    // Written whole beside the old file and renamed over it: a failure keeps the old one.
    const std::string storedName =
        std::string(WQNotificationSound::userSelectedSoundFileName) + (extension.empty() ? "" : "." + extension);
    const fs::path destination = tovak::WQDirectory::userContentDirectory() / storedName;
    if (auto written = platform::FileManager::writeAtomically(destination, *bytes, 0600); !written) {
        log("Could not store sound file: " + written.error().message);
        return std::nullopt;
    }
    return destination;
}

}  // namespace

// --- WQNotificationSound ---

WQNotificationSound::WQNotificationSound(std::string name, std::string fileName, std::optional<fs::path> url,
                                         bool customSound)
    : name(std::move(name)), fileName(std::move(fileName)), url(std::move(url)), customSound(customSound) {}

WQNotificationSound::~WQNotificationSound() = default;

std::shared_ptr<platform::Sound> WQNotificationSound::sound() const {
    if (url) {
        if (auto file = platform::Sound::contentsOfFile(*url)) return file;
        return platform::Sound::named(fallbackSoundName);
    }
    if (auto named = platform::Sound::named(fileName)) return named;
    return platform::Sound::named(fallbackSoundName);
}

bool WQNotificationSound::isUserSelectedCustomSound() const { return fileName == userSelectedSoundFileName; }

void WQNotificationSound::play() {
    auto resolved = sound();
    if (!resolved) {
        tovak::debugPrint(kClassName, "Could not find sound: " + name);
        return;
    }
    // The same sound again restarts the one that may still be playing.
    if (preview_ && preview_->path() == resolved->path()) resolved = preview_;
    preview_ = resolved;
    if (!resolved->play()) {
        resolved->stop();
        resolved->play();
    }
}

void WQNotificationSound::importCustomSound(const fs::path& chosenFile, std::function<void(bool)> completion) {
    std::string extension = chosenFile.extension().string();
    if (!extension.empty()) extension.erase(0, 1);  // without the dot
    std::weak_ptr<WQNotificationSound> weak = weak_from_this();

    platform::WorkQueue::global().async([weak, chosenFile, extension, completion = std::move(completion)]() mutable {
        // The temporary copy is gone before the caller hears of the result.
        const std::optional<fs::path> stored = storeCustomSound(chosenFile, extension);
        platform::MainQueue::async([weak, stored, completion = std::move(completion)] {
            auto self = weak.lock();
            if (stored && self) {
                self->url = stored;
                tovak::debugPrint(kClassName, "Copied sound file to " + fileURL(*stored).value_or(stored->string()));
            }
            if (completion) completion(stored && self);
        });
    });
}

// --- WQNotificationSoundManager ---

WQNotificationSoundManager::WQNotificationSoundManager() : WQNotificationSoundManager(platform::Bundle::main()) {}

WQNotificationSoundManager::WQNotificationSoundManager(const platform::Bundle& bundle) {
    defaultSound = std::make_shared<WQNotificationSound>(platform::localizedComment("DEFAULT", "Default"),
                                                         std::string(WQNotificationSound::defaultSoundName),
                                                         std::nullopt, false);
    userSelectedSound = std::make_shared<WQNotificationSound>(
        platform::localizedComment("CUSTOM", "Custom"), std::string(WQNotificationSound::userSelectedSoundFileName),
        storedURL(), true);

    soundList.push_back(defaultSound);
    if (auto path = bundle.pathForResource(std::string(soundListResource), "plist")) {
        auto bytes = platform::FileManager::contentsAtPath(*path, kMaximumListSize);
        std::optional<platform::PropertyList> list;
        if (bytes)
            if (auto parsed = platform::PropertyList::parse(*bytes)) list = std::move(*parsed);
        if (const auto* entries = list ? list->asArray() : nullptr) {
            for (const auto& entry : *entries) {
                const std::string* name = entry["Name"].asString();
                const std::string* fileName = entry["FileName"].asString();
                const auto custom = entry["CustomSound"].asBool();
                if (!name || !fileName || !custom) continue;
                if (!platform::Sound::pathForSoundNamed(*fileName, bundle)) continue;
                soundList.push_back(std::make_shared<WQNotificationSound>(*name, *fileName, std::nullopt, *custom));
            }
        }
    }
    soundList.push_back(userSelectedSound);
}

WQNotificationSoundManager::~WQNotificationSoundManager() = default;

std::shared_ptr<WQNotificationSound> WQNotificationSoundManager::currentSound() const {
    auto stored = platform::UserDefaults::standard().object(keyFileName);
    const std::string* name = stored ? stored->asString() : nullptr;
    return soundForFileName(name ? std::string_view(*name) : WQNotificationSound::defaultSoundName);
}

std::shared_ptr<WQNotificationSound> WQNotificationSoundManager::soundForFileName(std::string_view text) const {
    return soundMatching(text, &WQNotificationSound::fileName);
}

std::shared_ptr<WQNotificationSound> WQNotificationSoundManager::soundForName(std::string_view text) const {
    return soundMatching(text, &WQNotificationSound::name);
}

std::shared_ptr<WQNotificationSound> WQNotificationSoundManager::soundMatching(
    std::string_view text, std::string WQNotificationSound::*field) const {
    for (const auto& sound : soundList)
        if ((*sound).*field == text) return sound;
    return defaultSound;
}

void WQNotificationSoundManager::saveCurrentSound(const WQNotificationSound& sound) {
    auto& defaults = platform::UserDefaults::standard();
    defaults.setString(keyFileName, sound.fileName);
    defaults.setBool(keyCustomSound, sound.customSound);
    auto url = sound.url ? fileURL(*sound.url) : std::nullopt;
    if (url)
        defaults.setURL(keyURL, *url);
    else
        defaults.remove(keyURL);
    tovak::debugPrint(kClassName, "Changed sound to: " + sound.fileName);
}

NotificationSoundSettings WQNotificationSoundManager::currentSoundSettings() {
    auto& defaults = platform::UserDefaults::standard();
    auto stored = defaults.object(keyFileName);
    const std::string* name = stored ? stored->asString() : nullptr;
    if (!name) return {std::string(WQNotificationSound::defaultSoundName), std::nullopt, false};
    return {*name, storedURL(), defaults.boolForKey(keyCustomSound)};
}

}  // namespace parlivo
