#include "PayloadWriter.h"

#include <fstream>

#include "config/DynamicData.h"
#include "config/EncryptionKey.h"
#include "config/TextPatch.h"
#include "WQApplicationInfo.h"
#include "foundation/FileManager.h"
#include "system/Compression.h"
#include "system/Crypto.h"

namespace parlivo::config {
namespace {

using platform::PropertyList;

constexpr std::string_view versionPlaceholder = "@PROGRAM_VERSION@";
constexpr int maxPaddingAttempts = 256;

Bytes sealOnce(const PropertyList& root, std::string_view key, std::string_view iv) {
    const Bytes plist = root.toBinary();
    auto compressed = platform::Compression::compress(plist);
    auto encrypted = platform::Crypto::aes128CbcEncrypt(compressed.value_or(Bytes()), key, iv);
    return encrypted.value_or(Bytes());
}

std::optional<std::vector<TextPatch>> readPatchList(const std::filesystem::path& path, std::string* error) {
    std::string why;
    auto bytes = readFile(path, &why);
    if (!bytes) {
        *error = "cannot read the patch list " + path.string() + ": " + why;
        return std::nullopt;
    }
    auto list = PropertyList::parse(*bytes);
    if (!list || !list->isArray()) {
        const std::string parseError = list ? std::string() : list.error().message;
        *error = "the patch list " + path.string() + " is not a property-list array " + parseError;
        return std::nullopt;
    }
    std::vector<TextPatch> patches;
    for (const auto& entry : *list->asArray()) {
        const std::string* fields[4] = {entry["id"].asString(), entry["namePrefix"].asString(),
                                        entry["before"].asString(), entry["after"].asString()};
        for (auto* field : fields)
            if (!field) {
                *error = "every patch needs the texts id, namePrefix, before and after";
                return std::nullopt;
            }
        patches.push_back(TextPatch::make(*fields[0], *fields[1], *fields[2], *fields[3]));
    }
    return patches;
}

}  // namespace

std::optional<Bytes> readFile(const std::filesystem::path& path, std::string* error) {
    auto text = platform::FileManager::contentsAtPath(path, maxInputBytes);
    if (!text) {
        if (error) *error = text.error().message;
        return std::nullopt;
    }
    return Bytes(text->begin(), text->end());
}

bool writeFile(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out.flush());
}

std::string programVersion() {
    return tovak::WQApplicationInfo::bundleVersionString();
}

Bytes seal(PropertyList root, std::string_view key, std::string_view iv) {
    Bytes payload = sealOnce(root, key, iv);
    // A ciphertext that happens to be valid UTF-8 would be read as a server message; a
    // different padding length changes every byte after it.
    for (int n = 1; isUTF8Text(payload) && n <= maxPaddingAttempts; ++n) {
        root.set("Padding", PropertyList(PropertyList::Data(size_t(n), uint8_t(0x5a))));
        payload = sealOnce(root, key, iv);
    }
    return payload;
}

std::optional<PropertyList> open(std::span<const uint8_t> payload, std::string_view key, std::string_view iv,
                                 std::string* error) {
    platform::Error stepError;
    auto plain = platform::Crypto::aes128CbcDecrypt(payload, key, iv, &stepError);
    if (!plain) {
        if (error) *error = "decryption failed: " + stepError.message;
        return std::nullopt;
    }
    auto inflated = platform::Compression::decompress(*plain, DynamicData::maximumPayloadSize, &stepError);
    if (!inflated) {
        if (error) *error = "decompression failed: " + stepError.message;
        return std::nullopt;
    }
    auto list = PropertyList::parse(*inflated);
    if (!list) {
        if (error) *error = list.error().message;
        return std::nullopt;
    }
    return std::move(*list);
}

std::optional<Bytes> packManifest(const std::filesystem::path& manifestPath, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    std::string why;
    auto bytes = readFile(manifestPath, &why);
    if (!bytes) {
        *error = "cannot read the manifest " + manifestPath.string() + ": " + why;
        return std::nullopt;
    }
    auto manifest = PropertyList::parse(*bytes);
    if (!manifest || !manifest->isDictionary() || !(*manifest)["Values"].isDictionary()) {
        const std::string parseError = manifest ? std::string() : manifest.error().message;
        *error = "the manifest is not a property-list dictionary with a \"Values\" dictionary " + parseError;
        return std::nullopt;
    }
    const auto folder = manifestPath.parent_path();
    PropertyList root = (*manifest)["Values"];
    if (const std::string* version = root["Version"].asString(); version && *version == versionPlaceholder)
        root.set("Version", programVersion());

    if (const auto* files = (*manifest)["Files"].asDictionary()) {
        for (const auto& [key, path] : *files) {
            const std::string* relative = path.asString();
            auto content = relative ? readFile(folder / *relative, &why) : std::nullopt;
            if (!content) {
                *error = "cannot read the file for \"" + key + "\"" + (relative ? ": " + why : std::string());
                return std::nullopt;
            }
            root.set(key, PropertyList(std::move(*content)));
        }
    }
    if (const std::string* patchPath = (*manifest)["Patches"].asString()) {
        auto patches = readPatchList(folder / *patchPath, error);
        if (!patches) return std::nullopt;
        root.set("Patches", PropertyList(TextPatch::archiveList(*patches)));
    }

    Bytes payload = seal(std::move(root), EncryptionKey::key(), EncryptionKey::iv());
    if (isUTF8Text(payload)) {
        *error = "the payload still reads as text after padding";
        return std::nullopt;
    }
    PayloadCheck check = DynamicData::checkPayload(payload, programVersion());
    if (!check.valid) {
        *error = "the payload fails the program's check: " + check.errorDescription.value_or("unknown");
        return std::nullopt;
    }
    return payload;
}

std::optional<std::string> dumpPayload(std::span<const uint8_t> payload, std::string* error) {
    if (isUTF8Text(payload)) {
        if (error) *error = "Error DD02: the payload reads as text";
        return std::nullopt;
    }
    PayloadCheck check = DynamicData::checkPayload(payload, programVersion());
    auto root = check.valid ? open(payload, EncryptionKey::key(), EncryptionKey::iv()) : std::nullopt;
    if (!root) {
        if (error) *error = check.errorDescription.value_or("Error DD03");
        return std::nullopt;
    }
    for (const char* key : {"InjectJsStart", "InjectJsEnd", "CouldNotConnect"}) {
        const auto* data = (*root)[key].asData();
        root->set(key, std::string(data->begin(), data->end()));
    }
    PropertyList patches = PropertyList::array();
    for (const auto& patch : check.values.patches) {
        PropertyList entry = PropertyList::dictionary();
        entry.set("id", patch.id());
        entry.set("namePrefix", patch.namePrefix());
        entry.set("before", patch.before());
        entry.set("after", patch.after());
        patches.append(std::move(entry));
    }
    root->set("Patches", std::move(patches));
    root->remove("Padding");
    return root->toXml();
}

std::optional<Bytes> resealWithWrongKey(std::span<const uint8_t> payload) {
    auto root = open(payload, EncryptionKey::key(), EncryptionKey::iv());
    if (!root) return std::nullopt;
    return seal(std::move(*root), deriveKeyMaterial("not the program's key"), deriveKeyMaterial("nor its vector"));
}

std::optional<Bytes> rebaseOrigin(std::span<const uint8_t> payload, std::string_view from, std::string_view to) {
    auto root = open(payload, EncryptionKey::key(), EncryptionKey::iv());
    if (!root || !root->isDictionary()) return std::nullopt;
    bool changed = false;
    for (auto& [key, value] : *root->asDictionary()) {
        const std::string* text = value.asString();
        if (!text || text->compare(0, from.size(), from) != 0) continue;
        // "https://127.0.0.1:0123/" is another origin, not this one with more after it.
        if (text->size() > from.size() && std::string_view("/?#").find((*text)[from.size()]) == std::string_view::npos)
            continue;
        value = PropertyList(std::string(to) + text->substr(from.size()));
        changed = true;
    }
    if (!changed) return Bytes(payload.begin(), payload.end());
    return seal(std::move(*root), EncryptionKey::key(), EncryptionKey::iv());
}

}  // namespace parlivo::config
