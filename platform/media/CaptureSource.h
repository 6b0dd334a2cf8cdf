#pragma once

#include <string>
#include <string_view>

#include "system/Expected.h"

namespace platform {

// The domain of the capture classes' failures (GStreamer, microphone, camera, recordings) and
// its codes. The message is the text the user or the log sees.
inline constexpr const char* CaptureErrorDomain = "platform.Capture";
namespace CaptureErrorCode {
inline constexpr long gstreamerUnavailable = 1;  // GStreamer could not be initialised
inline constexpr long noDevice = 2;              // no camera or microphone (or the source is "none")
inline constexpr long notInstalled = 3;          // GStreamer elements the capture needs are missing
inline constexpr long refused = 4;               // an unusable argument, or the wrong state for the call
inline constexpr long pipelineFailed = 5;        // the pipeline could not be built, started or ran into an error
}  // namespace CaptureErrorCode

// A failure in CaptureErrorDomain.
inline Failure captureFailure(long code, std::string message) {
    return failure(CaptureErrorDomain, code, std::move(message));
}

// Where the camera or the microphone takes its picture or sound from.
//   automatic: the machine's default device
//   test:      GStreamer's generated test picture or tone (tests, machines without the device)
//   none:      act as if the machine had no such device (the capability check says so)
enum class CaptureSource { automatic, test, none };

// The source chosen by the environment variable when it is set and not empty, else by the
// setting (a string in the standard user defaults), else automatic. The values are "test" and
// "none"; any other value means automatic.
CaptureSource captureSource(const std::string& settingKey, const char* environmentVariable);

// The camera's choice: the setting "platform.camera.source", the variable PARLIVO_CAMERA_SOURCE.
CaptureSource cameraSource();
// The microphone's: "platform.microphone.source", PARLIVO_MICROPHONE_SOURCE.
CaptureSource microphoneSource();

// GStreamer, initialised once per process. An error (gstreamerUnavailable) when it cannot be.
Expected<void> ensureGStreamer();

// How many capture pipelines (microphone, camera, recordings) exist in the process now: 0 once
// every capture has been stopped or destroyed. For the tests that show everything was let go.
int livePipelineCount();

}  // namespace platform
