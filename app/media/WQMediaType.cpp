#include "media/WQMediaType.h"

#include "config/DynamicData.h"
#include "foundation/UserDefaults.h"
#include "settings/Keys.h"

namespace parlivo {

WQMediaType storedMediaType() {
    const auto raw = platform::UserDefaults::standard().integerForKey(keys::mediaType);
    return raw == int(WQMediaType::photo) ? WQMediaType::photo : WQMediaType::video;
}

void storeMediaType(WQMediaType type) {
    platform::UserDefaults::standard().setInteger(keys::mediaType, int(type));
}

std::string sessionPreset(WQMediaType type) {
    if (type == WQMediaType::photo) return "AVCaptureSessionPresetPhoto";
    return DynamicData::shared().movieRecordPreset().value_or("");
}

}  // namespace parlivo
