#pragma once

#include <optional>
#include <string>
#include <vector>

#include "foundation/KeyedArchive.h"

namespace parlivo {

// One text patch of the remote configuration: every occurrence of `before` in a script whose name
// starts with `namePrefix` becomes `after`. Records come into being only by decoding.
class TextPatch {
public:
    static constexpr const char* kId = "id";
    static constexpr const char* kNamePrefix = "namePrefix";
    static constexpr const char* kBefore = "before";
    static constexpr const char* kAfter = "after";
    // The archived class name.
    static constexpr const char* className = "TextPatch";

    // A record from its archived form; none when a key is missing or not a string.
    static std::optional<TextPatch> decode(const platform::KeyedArchive::Object& coder);
    // The archived form: the four strings under their keys.
    platform::KeyedArchive::Object encode() const;

    // A list archived as the root array; none when the bytes are no such archive, hold another
    // class, or any element fails to decode.
    static std::optional<std::vector<TextPatch>> unarchiveList(std::span<const uint8_t> bytes,
                                                               std::string* error = nullptr);
    static std::vector<uint8_t> archiveList(const std::vector<TextPatch>& patches);

    const std::string& id() const { return id_; }
    const std::string& namePrefix() const { return namePrefix_; }
    const std::string& before() const { return before_; }
    const std::string& after() const { return after_; }

    bool operator==(const TextPatch&) const = default;

    // For the payload writer and tests, which build records from their own sources.
    static TextPatch make(std::string id, std::string namePrefix, std::string before, std::string after);

private:
    TextPatch() = default;
    std::string id_, namePrefix_, before_, after_;
};

}  // namespace parlivo
