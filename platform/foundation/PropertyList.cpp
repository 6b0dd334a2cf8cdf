#include "PropertyList.h"

#include <plist/plist.h>
#include <glib.h>

#include <locale.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace platform {

namespace {

const PropertyList& nullValue() {
    static const PropertyList* null = new PropertyList;  // never destroyed: references may be read at exit
    return *null;
}

// Seconds between the Unix epoch and Apple's reference date (2001-01-01 00:00:00 UTC).
constexpr double referenceDateOffset = 978307200.0;

// A binary property list may reference one object many times, and libplist expands every
// reference into its own node: a few hundred bytes could otherwise ask for billions of nodes.
constexpr std::uint64_t maxExpandedNodes = 1u << 20;

struct PlistDeleter {
    void operator()(void* node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// libplist reads and writes numbers with the C library's locale-dependent functions; GTK sets
// the process locale, and under a German one "0.5" would read as 0. Every libplist call runs
// with the "C" locale on its own thread instead.
class ClassicLocaleScope {
public:
    ClassicLocaleScope() : previous_(classic() ? uselocale(classic()) : nullptr) {}
    ~ClassicLocaleScope() {
        if (previous_) uselocale(previous_);
    }
    ClassicLocaleScope(const ClassicLocaleScope&) = delete;
    ClassicLocaleScope& operator=(const ClassicLocaleScope&) = delete;

private:
    static locale_t classic() {
        static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
        return locale;
    }
    locale_t previous_;
};

// libplist writes binary strings by converting from UTF-8; invalid bytes would make it write a
// file that no reader accepts. Text that is not UTF-8 is refused on reading and repaired
// (U+FFFD) on writing.
bool isValidUtf8(const char* text, std::size_t length) { return g_utf8_validate(text, static_cast<gssize>(length), nullptr); }

std::string validUtf8(const std::string& text) {
    if (isValidUtf8(text.data(), text.size())) return text;
    gchar* repaired = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string result(repaired);
    g_free(repaired);
    return result;
}

void setError(std::string* error, std::string message) {
    if (error) *error = std::move(message);
}

// libplist parses recursively; this walk bounds nesting before it sees the bytes. It counts
// every <array> and <dict> opening tag against its closing tag, so text that only looks like
// a tag (inside a comment, say) can make it stricter, never laxer.
bool xmlNestingWithinLimit(std::string_view xml) {
    int depth = 0;
    for (std::size_t i = 0; i < xml.size(); ++i) {
        if (xml[i] != '<') continue;
        std::string_view rest = xml.substr(i + 1);
        bool closing = !rest.empty() && rest[0] == '/';
        if (closing) rest.remove_prefix(1);
        std::size_t nameLength = 0;
        if (rest.starts_with("array")) nameLength = 5;
        else if (rest.starts_with("dict")) nameLength = 4;
        else continue;
        std::size_t end = rest.find('>', nameLength);
        if (end == std::string_view::npos) return true;  // unterminated: libplist refuses it
        if (rest[end - 1] == '/') continue;              // <array/>
        if (closing) {
            --depth;
        } else if (++depth > PropertyList::maxDepth) {
            return false;
        }
    }
    return true;
}

// Checks a binary property list's structure without recursion: trailer, offset table, every
// reachable container's references, nesting depth, cycles and the size of the expanded tree.
class BinaryPlistCheck {
public:
    explicit BinaryPlistCheck(std::string_view bytes) : bytes_(bytes) {}

    bool run(std::string* error) {
        if (bytes_.size() < 8 + 32) return fail(error, "truncated binary property list");
        const std::size_t trailer = bytes_.size() - 32;
        offsetSize_ = static_cast<unsigned char>(bytes_[trailer + 6]);
        refSize_ = static_cast<unsigned char>(bytes_[trailer + 7]);
        objectCount_ = readBigEndian(trailer + 8, 8);
        const std::uint64_t top = readBigEndian(trailer + 16, 8);
        offsetTable_ = readBigEndian(trailer + 24, 8);
        if (!validIntSize(offsetSize_) || !validIntSize(refSize_) || objectCount_ == 0 ||
            objectCount_ > trailer || top >= objectCount_ || offsetTable_ < 8 || offsetTable_ > trailer ||
            (trailer - offsetTable_) / offsetSize_ < objectCount_) {
            return fail(error, "malformed binary property list trailer");
        }
        objectsEnd_ = offsetTable_;
        state_.assign(objectCount_, State{});
        return walk(top, error);
    }

private:
    struct State {
        std::uint8_t mark = 0;  // 0 unvisited, 1 on the current path, 2 done
        std::uint64_t expanded = 0;
    };
    struct Frame {
        std::uint64_t object;
        std::vector<std::uint64_t> children;
        std::size_t next = 0;
    };

    // Offsets and references may take any width from 1 to 8 bytes (libplist writes 3-byte
    // offsets for files between 64 KB and 16 MB).
    static bool validIntSize(unsigned size) { return size >= 1 && size <= 8; }
    static bool fail(std::string* error, const char* message) {
        setError(error, message);
        return false;
    }

    std::uint64_t readBigEndian(std::uint64_t at, unsigned size) const {
        std::uint64_t value = 0;
        for (unsigned i = 0; i < size; ++i) value = (value << 8) | static_cast<unsigned char>(bytes_[at + i]);
        return value;
    }

    std::optional<std::uint64_t> objectOffset(std::uint64_t object) const {
        std::uint64_t offset = readBigEndian(offsetTable_ + object * offsetSize_, offsetSize_);
        if (offset < 8 || offset >= objectsEnd_) return std::nullopt;
        return offset;
    }

    struct Header {
        unsigned kind = 0;
        std::uint64_t count = 0;    // the marker's count, or the length that follows it
        std::uint64_t payload = 0;  // where the object's contents start
    };

    std::optional<Header> header(std::uint64_t object) const {
        auto offset = objectOffset(object);
        if (!offset) return std::nullopt;
        std::uint64_t at = *offset;
        const unsigned marker = static_cast<unsigned char>(bytes_[at]);
        Header result{marker >> 4, marker & 0x0fu, 0};
        ++at;
        const unsigned kind = result.kind;
        const bool lengthPrefixed = kind == 0x4 || kind == 0x5 || kind == 0x6 || kind == 0x7 || kind == 0xa ||
                                    kind == 0xb || kind == 0xc || kind == 0xd;
        if (lengthPrefixed && result.count == 0x0f) {
            if (at >= objectsEnd_) return std::nullopt;
            const unsigned intMarker = static_cast<unsigned char>(bytes_[at]);
            if ((intMarker >> 4) != 0x1 || (intMarker & 0x0f) > 3) return std::nullopt;
            const unsigned size = 1u << (intMarker & 0x0f);
            if (objectsEnd_ - at - 1 < size) return std::nullopt;
            result.count = readBigEndian(at + 1, size);
            at += 1 + size;
        }
        result.payload = at;
        return result;
    }

    // libplist asserts (aborts) on a dictionary key with a NUL character in it.
    bool keyHasNul(std::uint64_t key) const {
        auto h = header(key);
        if (!h) return true;
        if (h->kind == 0x5 || h->kind == 0x7)
            return bytes_.substr(h->payload, h->count).find('\0') != std::string_view::npos;
        if (h->kind == 0x6) {
            if (h->count > (objectsEnd_ - h->payload) / 2) return true;
            for (std::uint64_t i = 0; i < h->count; ++i)
                if (bytes_[h->payload + 2 * i] == '\0' && bytes_[h->payload + 2 * i + 1] == '\0') return true;
        }
        return false;
    }

    // Reads a container's child references; false when the object is malformed.
    bool children(std::uint64_t object, std::vector<std::uint64_t>& out) const {
        out.clear();
        auto h = header(object);
        if (!h) return false;
        const std::uint64_t count = h->count;
        const std::uint64_t at = h->payload;
        const std::uint64_t available = objectsEnd_ - at;
        switch (h->kind) {
            case 0x4:
            case 0x5:
            case 0x7:
                return count <= available;
            case 0x6:
                return count <= available / 2;
            case 0xa:
            case 0xb:
            case 0xc:
            case 0xd: {
                const std::uint64_t refs = h->kind == 0xd ? count * 2 : count;
                if (count > available || refs > available / refSize_) return false;
                out.reserve(refs);
                for (std::uint64_t i = 0; i < refs; ++i) {
                    std::uint64_t ref = readBigEndian(at + i * refSize_, refSize_);
                    if (ref >= objectCount_) return false;
                    if (h->kind == 0xd && i < count && keyHasNul(ref)) return false;
                    out.push_back(ref);
                }
                return true;
            }
            default:
                return true;
        }
    }

    bool walk(std::uint64_t top, std::string* error) {
        std::vector<Frame> path;
        auto enter = [&](std::uint64_t object) {
            if (path.size() >= static_cast<std::size_t>(PropertyList::maxDepth))
                return fail(error, "property list nested too deeply");
            Frame frame{object, {}, 0};
            if (!children(object, frame.children)) return fail(error, "malformed binary property list object");
            state_[object].mark = 1;
            path.push_back(std::move(frame));
            return true;
        };
        if (!enter(top)) return false;
        while (!path.empty()) {
            Frame& frame = path.back();
            if (frame.next < frame.children.size()) {
                const std::uint64_t child = frame.children[frame.next++];
                if (state_[child].mark == 1) return fail(error, "binary property list refers to itself");
                if (state_[child].mark == 0 && !enter(child)) return false;
                continue;
            }
            std::uint64_t expanded = 1;
            for (std::uint64_t child : frame.children) {
                expanded += state_[child].expanded;
                if (expanded > maxExpandedNodes) return fail(error, "binary property list expands too much");
            }
            state_[frame.object] = State{2, expanded};
            path.pop_back();
        }
        return true;
    }

    std::string_view bytes_;
    unsigned offsetSize_ = 0;
    unsigned refSize_ = 0;
    std::uint64_t objectCount_ = 0;
    std::uint64_t offsetTable_ = 0;
    std::uint64_t objectsEnd_ = 0;
    std::vector<State> state_;
};

std::optional<PropertyList> fromNode(plist_t node, int depth, std::string* error) {
    if (!node) return std::nullopt;
    if (depth > PropertyList::maxDepth) {
        setError(error, "property list nested too deeply");
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return PropertyList(value != 0);
        }
        case PLIST_UINT: {
            // libplist keeps integers as 64 bits; negative values come back in two's complement.
            std::uint64_t value = 0;
            plist_get_uint_val(node, &value);
            return PropertyList(static_cast<std::int64_t>(value));
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return PropertyList(value);
        }
        case PLIST_STRING:
        case PLIST_KEY: {
            std::uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            if (!text) length = 0;
            if (!isValidUtf8(text, length)) {
                setError(error, "string is not valid UTF-8");
                return std::nullopt;
            }
            return PropertyList(std::string(text ? text : "", length));
        }
        case PLIST_DATA: {
            std::uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            if (!bytes) length = 0;
            // Same element type on both sides, so the copy is one memcpy, not a per-byte loop.
            const auto* first = reinterpret_cast<const std::uint8_t*>(bytes);
            return PropertyList(PropertyList::Data(first, first + length));
        }
        case PLIST_DATE: {
            std::int32_t seconds = 0;
            std::int32_t microseconds = 0;
            plist_get_date_val(node, &seconds, &microseconds);
            double fraction = std::fabs(static_cast<double>(microseconds)) / 1e6;
            return PropertyList(PropertyList::Date{seconds < 0 ? seconds - fraction : seconds + fraction});
        }
        case PLIST_UID: {
            std::uint64_t value = 0;
            plist_get_uid_val(node, &value);
            return PropertyList(PropertyList::Uid{value});
        }
        case PLIST_ARRAY: {
            PropertyList::Array array;
            const std::uint32_t count = plist_array_get_size(node);
            array.reserve(count);
            for (std::uint32_t i = 0; i < count; ++i) {
                auto element = fromNode(plist_array_get_item(node, i), depth + 1, error);
                if (!element) return std::nullopt;
                array.push_back(std::move(*element));
            }
            return PropertyList(std::move(array));
        }
        case PLIST_DICT: {
            // XML writes a UID as a dictionary whose only key is "CF$UID"; read it back as one.
            if (plist_dict_get_size(node) == 1) {
                plist_t uid = plist_dict_get_item(node, "CF$UID");
                if (uid && plist_get_node_type(uid) == PLIST_UINT) {
                    std::uint64_t value = 0;
                    plist_get_uint_val(uid, &value);
                    return PropertyList(PropertyList::Uid{value});
                }
            }
            PropertyList::Dictionary dictionary;
            plist_dict_iter iterator = nullptr;
            plist_dict_new_iter(node, &iterator);
            if (!iterator) return PropertyList(std::move(dictionary));
            std::unique_ptr<void, decltype(&std::free)> iteratorOwner(iterator, &std::free);
            for (;;) {
                char* key = nullptr;
                plist_t value = nullptr;
                plist_dict_next_item(node, iterator, &key, &value);
                if (!key) break;
                std::string keyString(key);
                std::free(key);
                if (!isValidUtf8(keyString.data(), keyString.size())) {
                    setError(error, "key is not valid UTF-8");
                    return std::nullopt;
                }
                auto element = fromNode(value, depth + 1, error);
                if (!element) return std::nullopt;
                dictionary.insert_or_assign(std::move(keyString), std::move(*element));
            }
            return PropertyList(std::move(dictionary));
        }
        default:
            setError(error, "unsupported property list value");
            return std::nullopt;
    }
}

plist_t toNode(const PropertyList& value) {
    switch (value.type()) {
        case PropertyList::Type::null:
            return nullptr;
        case PropertyList::Type::boolean:
            return plist_new_bool(*value.asBool() ? 1 : 0);
        case PropertyList::Type::integer:
            return plist_new_uint(static_cast<std::uint64_t>(*value.asInt()));
        case PropertyList::Type::real:
            return plist_new_real(*value.asReal());
        case PropertyList::Type::string:
            return plist_new_string(validUtf8(*value.asString()).c_str());
        case PropertyList::Type::data: {
            const auto& data = *value.asData();
            return plist_new_data(reinterpret_cast<const char*>(data.data()), data.size());
        }
        case PropertyList::Type::date: {
            // libplist takes whole seconds and microseconds, within 32 bits.
            double seconds = std::clamp(value.asDate()->secondsSinceReferenceDate, -2147483648.0, 2147483647.0);
            double whole = std::trunc(seconds);
            auto micro = static_cast<std::int32_t>(std::lround((seconds - whole) * 1e6));
            return plist_new_date(static_cast<std::int32_t>(whole), micro);
        }
        case PropertyList::Type::uid:
            return plist_new_uid(value.asUid()->value);
        case PropertyList::Type::array: {
            plist_t array = plist_new_array();
            for (const auto& element : *value.asArray())
                if (plist_t node = toNode(element)) plist_array_append_item(array, node);
            return array;
        }
        case PropertyList::Type::dictionary: {
            plist_t dictionary = plist_new_dict();
            for (const auto& [key, element] : *value.asDictionary())
                if (plist_t node = toNode(element)) plist_dict_set_item(dictionary, validUtf8(key).c_str(), node);
            return dictionary;
        }
    }
    return nullptr;
}

}  // namespace

PropertyList::Date PropertyList::Date::fromTimePoint(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const double unixSeconds = duration<double>(time.time_since_epoch()).count();
    return Date{unixSeconds - referenceDateOffset};
}

std::chrono::system_clock::time_point PropertyList::Date::timePoint() const {
    using namespace std::chrono;
    const duration<double> unixSeconds(secondsSinceReferenceDate + referenceDateOffset);
    return system_clock::time_point(duration_cast<system_clock::duration>(unixSeconds));
}

std::optional<bool> PropertyList::asBool() const {
    if (auto value = std::get_if<bool>(&value_)) return *value;
    return std::nullopt;
}

std::optional<std::int64_t> PropertyList::asInt() const {
    if (auto value = std::get_if<std::int64_t>(&value_)) return *value;
    return std::nullopt;
}

std::optional<double> PropertyList::asReal() const {
    if (auto value = std::get_if<double>(&value_)) return *value;
    if (auto value = std::get_if<std::int64_t>(&value_)) return static_cast<double>(*value);
    return std::nullopt;
}

std::optional<PropertyList::Date> PropertyList::asDate() const {
    if (auto value = std::get_if<Date>(&value_)) return *value;
    return std::nullopt;
}

std::optional<PropertyList::Uid> PropertyList::asUid() const {
    if (auto value = std::get_if<Uid>(&value_)) return *value;
    return std::nullopt;
}

std::string PropertyList::stringOr(std::string_view fallback) const {
    if (auto value = asString()) return *value;
    return std::string(fallback);
}

const PropertyList& PropertyList::operator[](std::string_view key) const {
    if (auto dictionary = asDictionary()) {
        auto found = dictionary->find(key);
        if (found != dictionary->end()) return found->second;
    }
    return nullValue();
}

const PropertyList& PropertyList::operator[](std::size_t index) const {
    if (auto array = asArray(); array && index < array->size()) return (*array)[index];
    return nullValue();
}

bool PropertyList::contains(std::string_view key) const {
    auto dictionary = asDictionary();
    return dictionary && dictionary->find(key) != dictionary->end();
}

std::size_t PropertyList::size() const {
    if (auto array = asArray()) return array->size();
    if (auto dictionary = asDictionary()) return dictionary->size();
    return 0;
}

void PropertyList::set(std::string key, PropertyList value) {
    if (isNull()) value_ = Dictionary{};
    if (auto dictionary = asDictionary()) dictionary->insert_or_assign(std::move(key), std::move(value));
}

void PropertyList::remove(std::string_view key) {
    if (auto dictionary = asDictionary()) {
        auto found = dictionary->find(key);
        if (found != dictionary->end()) dictionary->erase(found);
    }
}

void PropertyList::append(PropertyList value) {
    if (isNull()) value_ = Array{};
    if (auto array = asArray()) array->push_back(std::move(value));
}

Expected<PropertyList> PropertyList::parse(std::span<const std::uint8_t> bytes) {
    return parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

Expected<PropertyList> PropertyList::parse(std::string_view bytes) {
    auto fail = [](long code, std::string message) {
        return failure(PropertyListErrorDomain, code, std::move(message));
    };
    if (bytes.empty()) return fail(PropertyListErrorCode::invalid, "empty property list");
    if (bytes.size() > maxParseBytes) return fail(PropertyListErrorCode::tooLarge, "property list too large");
    ClassicLocaleScope classicLocale;
    plist_t root = nullptr;
    if (bytes.starts_with("bplist00")) {
        std::string checkError;
        if (!BinaryPlistCheck(bytes).run(&checkError)) return fail(PropertyListErrorCode::invalid, checkError);
        plist_from_bin(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    } else {
        if (!xmlNestingWithinLimit(bytes)) return fail(PropertyListErrorCode::invalid, "property list nested too deeply");
        // A private, terminated copy: the XML reader must never run past the caller's bytes.
        const std::string text(bytes);
        plist_from_xml(text.c_str(), static_cast<std::uint32_t>(text.size()), &root);
    }
    PlistPtr owner(root);
    if (!root) return fail(PropertyListErrorCode::invalid, "not a property list");
    std::string conversionError;
    auto value = fromNode(root, 1, &conversionError);
    if (!value)
        return fail(PropertyListErrorCode::invalid, conversionError.empty() ? "not a property list" : conversionError);
    return std::move(*value);
}

std::string PropertyList::toXml() const {
    ClassicLocaleScope classicLocale;
    PlistPtr node(toNode(*this));
    if (!node) return {};
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(node.get(), &xml, &length);
    if (!xml) return {};
    std::string result(xml, length);
    plist_to_xml_free(xml);
    return result;
}

std::vector<std::uint8_t> PropertyList::toBinary() const {
    ClassicLocaleScope classicLocale;
    PlistPtr node(toNode(*this));
    if (!node) return {};
    char* binary = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(node.get(), &binary, &length);
    if (!binary) return {};
    std::vector<std::uint8_t> result(binary, binary + length);
    plist_to_bin_free(binary);
    return result;
}

}  // namespace platform
