#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Bundle;

// A short sound played through GStreamer (`playbin`), the stand-in for the Mac's NSSound. The
// file is read when it is played, never when the object is made ("by reference"). Every
// GStreamer state change runs on the sound worker thread, so starting, stopping and the first
// use of GStreamer (its plugin registry) never hold up the main thread.
//
// A sound that is playing keeps playing when its object goes away, as a Mac sound does; the
// player lets go of itself at the end of the stream.
//
// The audio sink is `autoaudiosink`; PARLIVO_AUDIO_SINK names another element factory (tests
// use "fakesink", which plays without a sound card as fast as the file decodes).
//
// Main thread, except probeDuration's worker part.
class Sound {
public:
    // Posted on the default notification centre (main thread) when playback starts and when it
    // ends; userInfo "path" (std::string, the file) and, for the end, "success" (bool: the
    // stream played to its end rather than failing or being stopped).
    static constexpr std::string_view didStartPlayingNotification = "platform.Sound.didStartPlaying";
    static constexpr std::string_view didFinishPlayingNotification = "platform.Sound.didFinishPlaying";

    // A named sound: the bundle's "sounds" folder first, then the freedesktop sound theme
    // ($XDG_DATA_HOME/sounds, then each of $XDG_DATA_DIRS/sounds; "freedesktop/stereo", then
    // "freedesktop"), with the extensions .oga, .ogg and .wav. None when no such file exists.
    static std::shared_ptr<Sound> named(std::string_view name);
    static std::shared_ptr<Sound> named(std::string_view name, const Bundle& bundle);
    // Where `named` would find the sound, or none.
    static std::optional<std::filesystem::path> pathForSoundNamed(std::string_view name, const Bundle& bundle);

    // The sound in a file. None when the path is not a regular file; whether it holds audio is
    // found out when it plays (or through probeDuration).
    static std::shared_ptr<Sound> contentsOfFile(const std::filesystem::path& path);

    ~Sound();
    Sound(const Sound&) = delete;
    Sound& operator=(const Sound&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Starts playback from the beginning. False when this sound is already playing.
    bool play();
    // Stops playback; false when it was not playing.
    bool stop();
    bool isPlaying() const;

    // What a sound file holds, found by GStreamer's discoverer on a worker thread (at most
    // `timeout`). `completion` runs on the main thread with the duration in seconds, or none
    // when the file is not a sound GStreamer can play (no audio stream, unreadable, too slow).
    static void probeDuration(const std::filesystem::path& path, std::function<void(std::optional<double>)> completion,
                              std::chrono::seconds timeout = std::chrono::seconds(10));
    // The same on the calling thread (never the main thread).
    static std::optional<double> probeDurationNow(const std::filesystem::path& path,
                                                  std::chrono::seconds timeout = std::chrono::seconds(10));

    struct Player;

private:
    explicit Sound(std::filesystem::path path);

    std::filesystem::path path_;
    std::shared_ptr<Player> player_;
};

}  // namespace platform
