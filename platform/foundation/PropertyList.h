#pragma once

#include "system/Expected.h"

#include <chrono>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform {

// The domain of PropertyList::parse's failures and its codes.
inline constexpr const char* PropertyListErrorDomain = "platform.PropertyList";
namespace PropertyListErrorCode {
inline constexpr long invalid = 1;   // not a property list, or one we refuse (nesting, bad UTF-8)
inline constexpr long tooLarge = 2;  // more than PropertyList::maxParseBytes
}  // namespace PropertyListErrorCode

// A property-list value: what settings, configuration payloads, Info.plist and keyed archives
// are made of. A plain value type (copyable, comparable); the default value is null, which is
// also what a missing dictionary key or array index reads as.
//
// Dates are seconds since 2001-01-01 00:00:00 UTC (Apple's reference date), as a double. The
// binary format keeps them to the microsecond; the XML format, like Apple's, to the second.
// Integers are 64-bit signed (an unsigned value above INT64_MAX reads as its two's complement).
class PropertyList {
public:
    enum class Type { null, boolean, integer, real, string, data, date, array, dictionary, uid };

    using Data = std::vector<std::uint8_t>;
    using Array = std::vector<PropertyList>;
    using Dictionary = std::map<std::string, PropertyList, std::less<>>;

    struct Date {
        double secondsSinceReferenceDate = 0;  // reference date: 2001-01-01 00:00:00 UTC
        static Date fromTimePoint(std::chrono::system_clock::time_point time);
        std::chrono::system_clock::time_point timePoint() const;
        bool operator==(const Date&) const = default;
    };
    // A reference to an object of a keyed archive ("CF$UID").
    struct Uid {
        std::uint64_t value = 0;
        bool operator==(const Uid&) const = default;
    };

    // Limits the parser applies to untrusted bytes.
    static constexpr std::size_t maxParseBytes = 64 * 1024 * 1024;
    static constexpr int maxDepth = 512;

    PropertyList() = default;
    PropertyList(std::nullptr_t) {}
    PropertyList(bool value) : value_(value) {}
    template <std::integral T>
        requires(!std::same_as<T, bool> && !std::same_as<T, char>)
    PropertyList(T value) : value_(static_cast<std::int64_t>(value)) {}
    PropertyList(double value) : value_(value) {}
    PropertyList(float value) : value_(static_cast<double>(value)) {}
    PropertyList(std::string value) : value_(std::move(value)) {}
    PropertyList(std::string_view value) : value_(std::string(value)) {}
    PropertyList(const char* value) : value_(std::string(value ? value : "")) {}
    PropertyList(Data value) : value_(std::move(value)) {}
    PropertyList(Date value) : value_(value) {}
    PropertyList(Array value) : value_(std::move(value)) {}
    PropertyList(Dictionary value) : value_(std::move(value)) {}
    PropertyList(Uid value) : value_(value) {}

    static PropertyList array() { return PropertyList(Array{}); }
    static PropertyList dictionary() { return PropertyList(Dictionary{}); }
    static PropertyList data(std::string_view bytes) { return PropertyList(Data(bytes.begin(), bytes.end())); }

    Type type() const { return static_cast<Type>(value_.index()); }
    bool isNull() const { return type() == Type::null; }
    bool isDictionary() const { return type() == Type::dictionary; }
    bool isArray() const { return type() == Type::array; }

    // Typed reads: none / null pointer when the value has another type (no coercion; for
    // Apple's lenient number reading see UserDefaults). asReal also reads an integer.
    std::optional<bool> asBool() const;
    std::optional<std::int64_t> asInt() const;
    std::optional<double> asReal() const;
    const std::string* asString() const { return std::get_if<std::string>(&value_); }
    const Data* asData() const { return std::get_if<Data>(&value_); }
    std::optional<Date> asDate() const;
    std::optional<Uid> asUid() const;
    const Array* asArray() const { return std::get_if<Array>(&value_); }
    Array* asArray() { return std::get_if<Array>(&value_); }
    const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&value_); }
    Dictionary* asDictionary() { return std::get_if<Dictionary>(&value_); }
    // The string, or `fallback` when this is not a string.
    std::string stringOr(std::string_view fallback = {}) const;

    // Dictionary lookup / array index; a shared null value when missing or of another type.
    const PropertyList& operator[](std::string_view key) const;
    const PropertyList& operator[](std::size_t index) const;
    bool contains(std::string_view key) const;
    // Element count of an array or dictionary, 0 otherwise.
    std::size_t size() const;

    // Sets a dictionary entry (a null value becomes an empty dictionary first; other types
    // are left alone and the call does nothing).
    void set(std::string key, PropertyList value);
    void remove(std::string_view key);
    // Appends to an array (a null value becomes an empty array first).
    void append(PropertyList value);

    bool operator==(const PropertyList&) const = default;

    // Parses XML or binary property lists (detected from the bytes). Any bytes give a value or
    // an error in PropertyListErrorDomain; too large or too deeply nested input is refused.
    static Expected<PropertyList> parse(std::span<const std::uint8_t> bytes);
    static Expected<PropertyList> parse(std::string_view bytes);

    // Serialization. Null has no property-list form: null elements of arrays and dictionaries
    // are left out, and a null value itself writes nothing (empty result).
    std::string toXml() const;
    std::vector<std::uint8_t> toBinary() const;

private:
    std::variant<std::monostate, bool, std::int64_t, double, std::string, Data, Date, Array, Dictionary, Uid> value_;
};

}  // namespace platform
