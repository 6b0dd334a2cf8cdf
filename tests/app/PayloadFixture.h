#pragma once
// Builds configuration payloads for the tests: the writer's format, written independently of
// the writer in tools/, so a fault on one side cannot hide in the other.

#include <cstdint>
#include <string>
#include <vector>

#include "WQApplicationInfo.h"
#include "config/EncryptionKey.h"
#include "config/TextPatch.h"
#include "foundation/PropertyList.h"
#include "system/Compression.h"
#include "system/Crypto.h"

namespace payloadfixture {

using platform::PropertyList;
using Bytes = std::vector<uint8_t>;

inline Bytes bytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline Bytes encrypt(const Bytes& plain, const std::string& key = parlivo::EncryptionKey::key(),
                     const std::string& iv = parlivo::EncryptionKey::iv()) {
    return *platform::Crypto::aes128CbcEncrypt(plain, key, iv);
}

inline Bytes sealBytes(const Bytes& plistBytes) { return encrypt(*platform::Compression::compress(plistBytes, 3)); }

inline Bytes seal(const PropertyList& root) { return sealBytes(root.toBinary()); }

inline PropertyList validRoot(std::string version = "7", std::string userAgent = "TestAgent/1.0") {
    PropertyList root = PropertyList::dictionary();
    root.set("ProductId", 3200);
    root.set("Version", tovak::WQApplicationInfo::bundleVersionString());
    root.set("DynamicDataVersion", version);
    root.set("InjectJsStart", PropertyList::data("start();"));
    root.set("InjectJsEnd", PropertyList::data("end();"));
    root.set("CouldNotConnect", PropertyList::data("<html>offline</html>"));
    root.set("UserAgent", userAgent);
    root.set("AllowMessageSendingFromNotification", true);
    root.set("AddDraggingOverlay", false);
    root.set("CustomPageLoading", true);
    root.set("PageURL", "https://web.example.org/");
    root.set("BaseURL", "https://web.example.org/base/");
    root.set("MovieFileMode", 2);
    root.set("MovieMaximumFileSize", 16000000);
    root.set("MovieTargetFileSize", 15000000);
    root.set("MovieMaximumLength", 180);
    PropertyList presets = PropertyList::array();
    presets.append("AVAssetExportPreset960x540");
    presets.append("AVAssetExportPresetLowQuality");
    root.set("MovieExportPresets", presets);
    root.set("MovieRecordPreset", "AVCaptureSessionPreset1280x720");
    root.set("DisableZoom", true);
    root.set("InjectJQuery", true);
    root.set("SupportPageURL", "https://support.example.org/");
    root.set("FAQURL", "https://support.example.org/faq");
    root.set("PrivacyURL", "https://support.example.org/privacy");
    root.set("Send", true);
    root.set("Patches", PropertyList(parlivo::TextPatch::archiveList(
                            {parlivo::TextPatch::make("1", "app", "foo", "bar"),
                             parlivo::TextPatch::make("2", "", "a", "b")})));
    return root;
}

}  // namespace payloadfixture
