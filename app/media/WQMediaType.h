#pragma once

#include <string>

namespace parlivo {

// The camera's mode, stored as an integer under "WQMedia.Type" and read anew whenever needed.
enum class WQMediaType { video = 0, photo = 1 };

// The stored mode; `video` when none is stored (the first run) and for any value other than 0
// or 1, which the program never writes.
WQMediaType storedMediaType();
void storeMediaType(WQMediaType type);

// The capture preset the mode needs: "AVCaptureSessionPresetPhoto" for photos, the
// configuration's MovieRecordPreset for videos (empty when the configuration has none).
std::string sessionPreset(WQMediaType type);

}  // namespace parlivo
