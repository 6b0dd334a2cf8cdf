#include "KeyedArchive.h"

#include "URL.h"

#include <cctype>

namespace platform {

namespace {

using Object = KeyedArchive::Object;
using Fields = std::map<std::string, Object, std::less<>>;

constexpr std::int64_t archiveVersion = 100000;

const Object& nullObject() {
    static const Object* null = new Object;  // never destroyed: references to it may be read at exit
    return *null;
}

bool hasScheme(std::string_view url) { return urlScheme(url).has_value(); }

class Decoder {
public:
    Decoder(const KeyedArchive::ReadOptions& options, const PropertyList::Array& objects)
        : options_(options), objects_(objects), onPath_(objects.size(), false) {}

    std::optional<Object> decodeReference(const PropertyList& reference, int depth) {
        auto uid = reference.asUid();
        if (!uid) return fail("expected an object reference");
        return decodeIndex(uid->value, depth);
    }

    const std::string& error() const { return error_; }

private:
    std::nullopt_t fail(std::string message) {
        if (error_.empty()) error_ = std::move(message);
        return std::nullopt;
    }

    std::optional<Object> decodeIndex(std::uint64_t index, int depth) {
        if (depth > options_.maxDepth) return fail("archive nested too deeply");
        if (++nodes_ > options_.maxNodes) return fail("archive expands to too many objects");
        if (index >= objects_.size()) return fail("object reference out of range");
        if (index == 0) return Object{};  // "$null"
        if (onPath_[index]) return fail("archive refers to itself");
        const PropertyList& object = objects_[index];
        switch (object.type()) {
            case PropertyList::Type::string:
                return Object::makeString(*object.asString());
            case PropertyList::Type::boolean:
            case PropertyList::Type::integer:
            case PropertyList::Type::real:
            case PropertyList::Type::data:
            case PropertyList::Type::date:
                return Object::makeValue(object);
            case PropertyList::Type::dictionary: {
                onPath_[index] = true;
                auto decoded = decodeClassObject(object, depth);
                onPath_[index] = false;
                return decoded;
            }
            default:
                return fail("unexpected object in archive");
        }
    }

    // The class name of an object, checked against what the caller allows.
    std::optional<std::string> className(const PropertyList& object) {
        auto uid = object["$class"].asUid();
        if (!uid) return fail("object without a class");
        if (uid->value >= objects_.size()) return fail("class reference out of range");
        const std::string* name = objects_[uid->value]["$classname"].asString();
        if (!name) return fail("malformed class description");
        if (!options_.allowedClasses.contains(*name) && !options_.classNames.contains(*name))
            return fail("class not allowed: " + *name);
        return *name;
    }

    std::optional<Object> decodeClassObject(const PropertyList& object, int depth) {
        auto name = className(object);
        if (!name) return std::nullopt;
        if (*name == "NSArray" || *name == "NSMutableArray") return decodeArray(object, depth);
        if (*name == "NSDictionary" || *name == "NSMutableDictionary") return decodeDictionary(object, depth);
        if (*name == "NSString" || *name == "NSMutableString") {
            const std::string* text = object["NS.string"].asString();
            if (!text) return fail("string without NS.string");
            return Object::makeString(*text);
        }
        if (*name == "NSURL") return decodeURL(object, depth);
        if (*name == "NSDate") {
            auto time = object["NS.time"].asReal();
            if (!time) return fail("date without NS.time");
            return Object::makeValue(PropertyList::Date{*time});
        }
        return decodeRecord(*name, object, depth);
    }

    std::optional<std::vector<Object>> decodeReferences(const PropertyList& list, int depth) {
        const auto* references = list.asArray();
        if (!references) return fail("expected a list of references");
        std::vector<Object> decoded;
        decoded.reserve(references->size());
        for (const auto& reference : *references) {
            auto element = decodeReference(reference, depth + 1);
            if (!element) return std::nullopt;
            decoded.push_back(std::move(*element));
        }
        return decoded;
    }

    std::optional<Object> decodeArray(const PropertyList& object, int depth) {
        auto elements = decodeReferences(object["NS.objects"], depth);
        if (!elements) return std::nullopt;
        return Object::makeArray(std::move(*elements));
    }

    std::optional<Object> decodeDictionary(const PropertyList& object, int depth) {
        auto keys = decodeReferences(object["NS.keys"], depth);
        if (!keys) return std::nullopt;
        auto values = decodeReferences(object["NS.objects"], depth);
        if (!values) return std::nullopt;
        if (keys->size() != values->size()) return fail("dictionary keys and objects differ in number");
        Fields entries;
        for (std::size_t i = 0; i < keys->size(); ++i) {
            const std::string* key = (*keys)[i].asString();
            if (!key) return fail("dictionary key is not a string");
            entries.insert_or_assign(*key, std::move((*values)[i]));
        }
        return Object::makeDictionary(std::move(entries));
    }

    std::optional<Object> decodeURL(const PropertyList& object, int depth) {
        auto relative = decodeField(object["NS.relative"], depth);
        if (!relative) return std::nullopt;
        if (!relative->asString()) return fail("URL without NS.relative");
        std::string base;
        if (object.contains("NS.base")) {
            auto decodedBase = decodeField(object["NS.base"], depth);
            if (!decodedBase) return std::nullopt;
            if (decodedBase->kind == Object::Kind::url) base = decodedBase->absoluteURL();
            else if (!decodedBase->isNull()) return fail("URL base is not a URL");
        }
        return Object::makeURL(relative->text, std::move(base));
    }

    std::optional<Object> decodeRecord(const std::string& archiveName, const PropertyList& object, int depth) {
        Fields fields;
        for (const auto& [key, value] : *object.asDictionary()) {
            if (key == "$class") continue;
            auto field = decodeField(value, depth);
            if (!field) return std::nullopt;
            fields.emplace(key, std::move(*field));
        }
        auto mapped = options_.classNames.find(archiveName);
        return Object::makeRecord(mapped != options_.classNames.end() ? mapped->second : archiveName, std::move(fields));
    }

    // A value stored inside an object: a reference, or a number, string or data written in place.
    std::optional<Object> decodeField(const PropertyList& value, int depth) {
        if (depth + 1 > options_.maxDepth) return fail("archive nested too deeply");
        if (++nodes_ > options_.maxNodes) return fail("archive expands to too many objects");
        switch (value.type()) {
            case PropertyList::Type::uid:
                return decodeReference(value, depth + 1);
            case PropertyList::Type::string:
                return Object::makeString(*value.asString());
            case PropertyList::Type::array: {
                std::vector<Object> elements;
                for (const auto& element : *value.asArray()) {
                    auto decoded = decodeField(element, depth + 1);
                    if (!decoded) return std::nullopt;
                    elements.push_back(std::move(*decoded));
                }
                return Object::makeArray(std::move(elements));
            }
            case PropertyList::Type::dictionary: {
                Fields entries;
                for (const auto& [key, element] : *value.asDictionary()) {
                    auto decoded = decodeField(element, depth + 1);
                    if (!decoded) return std::nullopt;
                    entries.emplace(key, std::move(*decoded));
                }
                return Object::makeDictionary(std::move(entries));
            }
            case PropertyList::Type::null:
                return fail("missing value");
            default:
                return Object::makeValue(value);
        }
    }

    const KeyedArchive::ReadOptions& options_;
    const PropertyList::Array& objects_;
    std::vector<bool> onPath_;
    std::size_t nodes_ = 0;
    std::string error_;
};

class Encoder {
public:
    explicit Encoder(const KeyedArchive::WriteOptions& options) : options_(options) { objects_.emplace_back("$null"); }

    std::optional<std::uint64_t> encode(const Object& object) {
        switch (object.kind) {
            case Object::Kind::null:
                return 0;
            case Object::Kind::value:
                if (auto date = object.value.asDate())
                    return add(withClass({{"NS.time", date->secondsSinceReferenceDate}}, "NSDate", {"NSDate", "NSObject"}));
                if (object.value.isNull() || object.value.isArray() || object.value.isDictionary() || object.value.asUid())
                    return std::nullopt;
                return add(object.value);
            case Object::Kind::string:
                return encodeString(object.text);
            case Object::Kind::array: {
                PropertyList::Array references;
                for (const auto& element : object.elements) {
                    auto index = encode(element);
                    if (!index) return std::nullopt;
                    references.emplace_back(PropertyList::Uid{*index});
                }
                return add(withClass({{"NS.objects", std::move(references)}}, "NSArray", {"NSArray", "NSObject"}));
            }
            case Object::Kind::dictionary: {
                PropertyList::Array keys;
                PropertyList::Array values;
                for (const auto& [key, element] : object.entries) {
                    auto value = encode(element);
                    if (!value) return std::nullopt;
                    keys.emplace_back(PropertyList::Uid{encodeString(key)});
                    values.emplace_back(PropertyList::Uid{*value});
                }
                return add(withClass({{"NS.keys", std::move(keys)}, {"NS.objects", std::move(values)}}, "NSDictionary",
                                     {"NSDictionary", "NSObject"}));
            }
            case Object::Kind::url: {
                std::uint64_t base = 0;
                if (!object.base.empty()) {
                    auto encodedBase = encode(Object::makeURL(object.base));
                    if (!encodedBase) return std::nullopt;
                    base = *encodedBase;
                }
                const std::uint64_t relative = encodeString(object.text);
                return add(withClass({{"NS.base", PropertyList::Uid{base}}, {"NS.relative", PropertyList::Uid{relative}}},
                                     "NSURL", {"NSURL", "NSObject"}));
            }
            case Object::Kind::record: {
                if (object.className.empty()) return std::nullopt;
                auto mapped = options_.classNames.find(object.className);
                const std::string name = mapped != options_.classNames.end() ? mapped->second : object.className;
                PropertyList::Dictionary fields;
                for (const auto& [key, field] : object.entries) {
                    if (key == "$class") return std::nullopt;
                    // Numbers and flags go in place, as NSCoder's encodeInteger/encodeBool write them.
                    const auto type = field.value.type();
                    if (field.kind == Object::Kind::value &&
                        (type == PropertyList::Type::boolean || type == PropertyList::Type::integer ||
                         type == PropertyList::Type::real)) {
                        fields.emplace(key, field.value);
                        continue;
                    }
                    auto index = encode(field);
                    if (!index) return std::nullopt;
                    fields.emplace(key, PropertyList::Uid{*index});
                }
                return add(withClass(std::move(fields), name, {name, "NSObject"}));
            }
        }
        return std::nullopt;
    }

    PropertyList::Array takeObjects() { return std::move(objects_); }

private:
    std::uint64_t add(PropertyList object) {
        objects_.push_back(std::move(object));
        return objects_.size() - 1;
    }

    std::uint64_t encodeString(const std::string& text) {
        auto found = strings_.find(text);
        if (found != strings_.end()) return found->second;
        const std::uint64_t index = add(text);
        strings_.emplace(text, index);
        return index;
    }

    PropertyList withClass(PropertyList::Dictionary fields, const std::string& name, std::vector<std::string> classes) {
        auto found = classes_.find(name);
        std::uint64_t index;
        if (found != classes_.end()) {
            index = found->second;
        } else {
            PropertyList::Array hierarchy(classes.begin(), classes.end());
            index = add(PropertyList::Dictionary{{"$classname", name}, {"$classes", std::move(hierarchy)}});
            classes_.emplace(name, index);
        }
        fields.insert_or_assign("$class", PropertyList::Uid{index});
        return PropertyList(std::move(fields));
    }

    const KeyedArchive::WriteOptions& options_;
    PropertyList::Array objects_;
    std::map<std::string, std::uint64_t, std::less<>> strings_;
    std::map<std::string, std::uint64_t, std::less<>> classes_;
};

}  // namespace

Object Object::makeValue(PropertyList value) {
    Object object;
    object.kind = Kind::value;
    object.value = std::move(value);
    return object;
}

Object Object::makeString(std::string text) {
    Object object;
    object.kind = Kind::string;
    object.text = std::move(text);
    return object;
}

Object Object::makeArray(std::vector<Object> elements) {
    Object object;
    object.kind = Kind::array;
    object.elements = std::move(elements);
    return object;
}

Object Object::makeDictionary(std::map<std::string, Object, std::less<>> entries) {
    Object object;
    object.kind = Kind::dictionary;
    object.entries = std::move(entries);
    return object;
}

Object Object::makeURL(std::string relative, std::string base) {
    Object object;
    object.kind = Kind::url;
    object.text = std::move(relative);
    object.base = std::move(base);
    return object;
}

Object Object::makeRecord(std::string className, std::map<std::string, Object, std::less<>> fields) {
    Object object;
    object.kind = Kind::record;
    object.className = std::move(className);
    object.entries = std::move(fields);
    return object;
}

const Object& Object::operator[](std::string_view key) const {
    if (kind != Kind::dictionary && kind != Kind::record) return nullObject();
    auto found = entries.find(key);
    return found != entries.end() ? found->second : nullObject();
}

// A small RFC 3986 resolution: enough for what archives carry (absolute URLs, file paths, and
// paths relative to a base folder).
std::string Object::absoluteURL() const {
    if (kind != Kind::url) return {};
    if (base.empty() || hasScheme(text)) return text;
    if (text.empty()) return base;
    const std::size_t schemeEnd = base.find(':');
    if (text.starts_with("//")) return base.substr(0, schemeEnd + 1) + text;
    std::size_t pathStart = schemeEnd == std::string::npos ? 0 : schemeEnd + 1;
    if (base.compare(pathStart, 2, "//") == 0) {
        pathStart = base.find('/', pathStart + 2);
        if (pathStart == std::string::npos) pathStart = base.size();
    }
    if (text.front() == '/') return base.substr(0, pathStart) + text;
    std::string directory = base.substr(0, base.find_first_of("?#", pathStart));
    const std::size_t lastSlash = directory.rfind('/');
    directory = lastSlash == std::string::npos || lastSlash < pathStart ? directory + "/" : directory.substr(0, lastSlash + 1);
    return directory + text;
}

Expected<Object> KeyedArchive::read(std::span<const std::uint8_t> bytes, const ReadOptions& options) {
    return read(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), options);
}

Expected<Object> KeyedArchive::read(std::string_view bytes, const ReadOptions& options) {
    if (bytes.size() > options.maxBytes)
        return failure(KeyedArchiveErrorDomain, KeyedArchiveErrorCode::tooLarge, "archive too large");
    auto archive = PropertyList::parse(bytes);
    if (!archive) return failure(archive.error());
    return decode(*archive, options);
}

Expected<Object> KeyedArchive::decode(const PropertyList& archive, const ReadOptions& options) {
    auto failWith = [](std::string message) {
        return failure(KeyedArchiveErrorDomain, KeyedArchiveErrorCode::invalid, std::move(message));
    };
    if (archive["$archiver"].stringOr() != "NSKeyedArchiver") return failWith("not a keyed archive");
    if (archive["$version"].asInt() != archiveVersion) return failWith("unsupported keyed archive version");
    const auto* objects = archive["$objects"].asArray();
    if (!objects || objects->empty() || (*objects)[0].stringOr() != "$null")
        return failWith("keyed archive without objects");
    if (objects->size() > options.maxObjects) return failWith("keyed archive has too many objects");
    const PropertyList& root = archive["$top"]["root"];
    if (!root.asUid()) return failWith("keyed archive without a root object");

    Decoder decoder(options, *objects);
    auto decoded = decoder.decodeReference(root, 0);
    if (!decoded) return failWith(decoder.error());
    return std::move(*decoded);
}

std::optional<PropertyList> KeyedArchive::archive(const Object& root, const WriteOptions& options) {
    Encoder encoder(options);
    auto rootIndex = encoder.encode(root);
    if (!rootIndex) return std::nullopt;
    return PropertyList(PropertyList::Dictionary{
        {"$archiver", "NSKeyedArchiver"},
        {"$version", archiveVersion},
        {"$top", PropertyList::Dictionary{{"root", PropertyList::Uid{*rootIndex}}}},
        {"$objects", encoder.takeObjects()},
    });
}

std::optional<PropertyList> KeyedArchive::archive(const Object& root) { return archive(root, WriteOptions{}); }

std::vector<std::uint8_t> KeyedArchive::write(const Object& root) { return write(root, WriteOptions{}); }

std::vector<std::uint8_t> KeyedArchive::write(const Object& root, const WriteOptions& options) {
    auto plist = archive(root, options);
    if (!plist) return {};
    if (options.xml) {
        const std::string xml = plist->toXml();
        return std::vector<std::uint8_t>(xml.begin(), xml.end());
    }
    return plist->toBinary();
}

}  // namespace platform
