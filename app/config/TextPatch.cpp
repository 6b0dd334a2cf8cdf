#include "TextPatch.h"

namespace parlivo {

using platform::KeyedArchive;

std::optional<TextPatch> TextPatch::decode(const KeyedArchive::Object& coder) {
    if (coder.kind != KeyedArchive::Object::Kind::record || coder.className != className) return std::nullopt;
    TextPatch patch;
    std::string* fields[] = {&patch.id_, &patch.namePrefix_, &patch.before_, &patch.after_};
    const char* keys[] = {kId, kNamePrefix, kBefore, kAfter};
    for (size_t i = 0; i < 4; ++i) {
        const std::string* text = coder[keys[i]].asString();
        if (!text) return std::nullopt;
        *fields[i] = *text;
    }
    return patch;
}

KeyedArchive::Object TextPatch::encode() const {
    return KeyedArchive::Object::makeRecord(className, {{kId, KeyedArchive::Object::makeString(id_)},
                                                        {kNamePrefix, KeyedArchive::Object::makeString(namePrefix_)},
                                                        {kBefore, KeyedArchive::Object::makeString(before_)},
                                                        {kAfter, KeyedArchive::Object::makeString(after_)}});
}

TextPatch TextPatch::make(std::string id, std::string namePrefix, std::string before, std::string after) {
    TextPatch patch;
    patch.id_ = std::move(id);
    patch.namePrefix_ = std::move(namePrefix);
    patch.before_ = std::move(before);
    patch.after_ = std::move(after);
    return patch;
}

std::optional<std::vector<TextPatch>> TextPatch::unarchiveList(std::span<const uint8_t> bytes, std::string* error) {
    KeyedArchive::ReadOptions options;
    options.allowedClasses = {"NSArray", "NSMutableArray", "NSString", "NSMutableString"};
    options.classNames = {{className, className}};
    auto root = KeyedArchive::read(bytes, options);
    if (!root) {
        if (error) *error = root.error().message;
        return std::nullopt;
    }
    if (root->kind != KeyedArchive::Object::Kind::array) {
        if (error) *error = "the archive's root is not an array";
        return std::nullopt;
    }
    std::vector<TextPatch> patches;
    patches.reserve(root->elements.size());
    for (const auto& element : root->elements) {
        auto patch = decode(element);
        if (!patch) {
            if (error) *error = "an element is not a complete TextPatch record";
            return std::nullopt;
        }
        patches.push_back(std::move(*patch));
    }
    return patches;
}

std::vector<uint8_t> TextPatch::archiveList(const std::vector<TextPatch>& patches) {
    std::vector<KeyedArchive::Object> elements;
    elements.reserve(patches.size());
    for (const auto& patch : patches) elements.push_back(patch.encode());
    return KeyedArchive::write(KeyedArchive::Object::makeArray(std::move(elements)));
}

}  // namespace parlivo
