#include "CaptureSource.h"

#include <gst/gst.h>

#include <cstdlib>

#include "foundation/UserDefaults.h"

namespace platform {
namespace {

CaptureSource parse(std::string_view value) {
    if (value == "test") return CaptureSource::test;
    if (value == "none") return CaptureSource::none;
    return CaptureSource::automatic;
}

}  // namespace

CaptureSource captureSource(const std::string& settingKey, const char* environmentVariable) {
    if (const char* value = std::getenv(environmentVariable); value && *value) return parse(value);
    if (auto value = UserDefaults::standard().stringForKey(settingKey)) return parse(*value);
    return CaptureSource::automatic;
}

CaptureSource cameraSource() {
    return captureSource("platform.camera.source", "PARLIVO_CAMERA_SOURCE");
}

CaptureSource microphoneSource() {
    return captureSource("platform.microphone.source", "PARLIVO_MICROPHONE_SOURCE");
}

Expected<void> ensureGStreamer() {
    struct Outcome {
        bool ok = false;
        std::string error;
    };
    static const Outcome outcome = [] {
        Outcome result;
        GError* failure = nullptr;
        result.ok = gst_init_check(nullptr, nullptr, &failure);
        if (!result.ok) result.error = failure ? failure->message : "GStreamer could not be initialised";
        if (failure) g_error_free(failure);
        return result;
    }();
    if (!outcome.ok) return captureFailure(CaptureErrorCode::gstreamerUnavailable, outcome.error);
    return {};
}

}  // namespace platform
