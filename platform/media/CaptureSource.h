#pragma once

#include <string>
#include <string_view>

namespace platform {

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

// GStreamer, initialised once per process. False (with the reason) when it cannot be.
bool ensureGStreamer(std::string* error = nullptr);

// How many capture pipelines (microphone, camera, recordings) exist in the process now: 0 once
// every capture has been stopped or destroyed. For the tests that show everything was let go.
int livePipelineCount();

}  // namespace platform
