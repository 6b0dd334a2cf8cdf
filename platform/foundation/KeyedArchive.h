#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "PropertyList.h"

namespace platform {

// The domain of KeyedArchive's read failures (bytes that are no property list keep
// PropertyList's error) and its codes.
inline constexpr const char* KeyedArchiveErrorDomain = "platform.KeyedArchive";
namespace KeyedArchiveErrorCode {
inline constexpr long invalid = 1;   // not a keyed archive, or one the options refuse
inline constexpr long tooLarge = 2;  // more bytes than ReadOptions::maxBytes
}  // namespace KeyedArchiveErrorCode

// Apple's keyed-archive format ("$archiver" = "NSKeyedArchiver", "$objects", "$top"."root",
// UID references, "$class" pointing to {"$classname", "$classes"}).
//
// The reader is strict: archives come from outside, so only the class names the caller allows
// may appear, every reference is bounds-checked, cycles, deep chains and oversized archives are
// refused, and any bytes give a decoded tree or an error, never a crash. Callers turn the
// plain tree into their own records.
class KeyedArchive {
public:
    // A decoded (or to-be-encoded) object: a plain tree with value semantics.
    struct Object {
        enum class Kind { null, value, string, array, dictionary, url, record };

        Kind kind = Kind::null;
        PropertyList value;                                    // value: bool, integer, real, data or date
        std::string text;                                      // string: the text; url: the relative part
        std::string base;                                      // url: the base URL's absolute string, or ""
        std::string className;                                 // record: the caller's record name
        std::vector<Object> elements;                          // array
        std::map<std::string, Object, std::less<>> entries;    // dictionary entries, record fields

        static Object makeValue(PropertyList value);
        static Object makeString(std::string text);
        static Object makeArray(std::vector<Object> elements);
        static Object makeDictionary(std::map<std::string, Object, std::less<>> entries);
        static Object makeURL(std::string relative, std::string base = {});
        static Object makeRecord(std::string className, std::map<std::string, Object, std::less<>> fields);

        bool isNull() const { return kind == Kind::null; }
        // The text of a string object, else null.
        const std::string* asString() const { return kind == Kind::string ? &text : nullptr; }
        // A dictionary entry or record field; a shared null object when missing.
        const Object& operator[](std::string_view key) const;
        // The URL's absolute string: the relative part resolved against the base.
        std::string absoluteURL() const;

        bool operator==(const Object&) const = default;
    };

    struct ReadOptions {
        // Archive class names that may appear besides those mapped in `classNames`. The
        // built-in kinds must be listed too: "NSArray", "NSMutableArray", "NSDictionary",
        // "NSMutableDictionary", "NSString", "NSMutableString", "NSURL", "NSDate".
        std::set<std::string, std::less<>> allowedClasses;
        // Archive class name -> the caller's record name (allowed as well).
        std::map<std::string, std::string, std::less<>> classNames;
        std::size_t maxBytes = 16 * 1024 * 1024;
        std::size_t maxObjects = 100'000;   // entries of "$objects"
        std::size_t maxNodes = 200'000;     // decoded nodes (shared objects count every time)
        int maxDepth = 512;
    };

    struct WriteOptions {
        // The caller's record name -> archive class name (unlisted names are written as they are).
        std::map<std::string, std::string, std::less<>> classNames;
        bool xml = false;  // binary by default, as Apple writes them
    };

    static Expected<Object> read(std::span<const std::uint8_t> bytes, const ReadOptions& options);
    static Expected<Object> read(std::string_view bytes, const ReadOptions& options);
    // The same, over an archive already parsed as a property list.
    static Expected<Object> decode(const PropertyList& archive, const ReadOptions& options);

    // The archive as a property list, and as bytes. Nulls inside arrays and dictionaries are
    // written as "$null" references; a record without a class name cannot be written (none).
    static std::optional<PropertyList> archive(const Object& root, const WriteOptions& options);
    static std::optional<PropertyList> archive(const Object& root);
    static std::vector<std::uint8_t> write(const Object& root, const WriteOptions& options);
    static std::vector<std::uint8_t> write(const Object& root);
};

}  // namespace platform
