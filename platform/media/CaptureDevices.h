#pragma once

#include <memory>
#include <optional>
#include <string>

#include "CaptureSource.h"

typedef struct _GstElement GstElement;

namespace platform {

// Which capture devices the machine has, in plain words for whoever shows it.
struct CaptureAvailability {
    bool camera = false;
    bool microphone = false;
    std::string cameraName;  // the default camera's name, when there is one
    // Empty when both exist, else "No camera found", "No microphone found" or
    // "No camera and no microphone found".
    std::string message;
    // Whether videos can be recorded: the encoders and the muxer a recording needs are installed.
    // When they are not, recordingMessage names what is missing.
    bool recording = false;
    std::string recordingMessage;
};

// The camera session's device probe. Both calls wait for GStreamer's device monitor (sound
// servers, camera probing): call them on a worker thread, never on the main thread.

// Looks for the chosen devices and for what a recording needs.
CaptureAvailability probeCaptureAvailability(CaptureSource camera, CaptureSource microphone);

// The source elements a camera session starts with (owned, not yet in a pipeline).
struct CaptureDevices {
    GstElement* video = nullptr;
    GstElement* audio = nullptr;  // null when no sound was asked for
    bool audioIsAutomatic = false;  // autoaudiosrc: it may still fall back to a silent fake
    std::optional<Error> error;  // why the session cannot start; none when it can

    // The camera and, when `audio`, the microphone as chosen.
    static std::shared_ptr<CaptureDevices> open(CaptureSource camera, CaptureSource microphone, bool audio);

    CaptureDevices() = default;
    ~CaptureDevices();
    CaptureDevices(const CaptureDevices&) = delete;
    CaptureDevices& operator=(const CaptureDevices&) = delete;
};

}  // namespace platform
