#include "web/ScriptValueConversion.h"

#include <jsc/jsc.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

namespace platform {

namespace {

struct StrvDeleter {
    void operator()(char** p) const { g_strfreev(p); }
};
struct ObjectDeleter {
    void operator()(void* p) const { g_object_unref(p); }
};
using JSCValuePtr = std::unique_ptr<JSCValue, ObjectDeleter>;

// Object kinds that have no property-list form. Checked by constructor name: the value comes from
// a context of our own process, whose globals the page cannot have replaced.
constexpr const char* kRefusedClasses[] = {"Date", "RegExp", "Map", "Set", "WeakMap", "WeakSet",
                                           "Error", "Promise", "ArrayBuffer", "DataView"};

// Whether `value` is an instance of the global constructor `name`. A lookup that throws (a
// constructor this context lacks) leaves no exception behind to spoil later reads.
bool isInstanceOf(JSCValue* value, const char* name) {
    const bool instance = jsc_value_object_is_instance_of(value, name);
    JSCContext* context = jsc_value_get_context(value);
    if (jsc_context_get_exception(context)) {
        jsc_context_clear_exception(context);
        return false;
    }
    return instance;
}

class Converter {
public:
    explicit Converter(const ScriptValueLimits& limits) : limits_(limits) {}

    // Whether the last refusal came from a limit (rather than a value without a native form).
    bool overLimits() const { return overLimits_; }

    // A dictionary body whose large members are read apart (readScriptMessage).
    std::optional<ScriptValue> dictionaryWithLargeMembers(JSCValue* value, const ScriptMessageShape& shape,
                                                          ScriptMessageReading& reading) {
        ++nodes_;
        if (jsc_value_is_function(value) || jsc_value_is_constructor(value)) return std::nullopt;
        if (jsc_value_is_typed_array(value) || jsc_value_is_array_buffer(value)) return std::nullopt;
        for (const char* name : kRefusedClasses)
            if (isInstanceOf(value, name)) return std::nullopt;
        ScriptValue::Dictionary entries;
        const bool read = eachProperty(value, [&](std::string key, JSCValuePtr& property) {
            const auto large = std::find_if(shape.largeMembers.begin(), shape.largeMembers.end(),
                                            [&](const auto& member) { return member.key == key; });
            if (large != shape.largeMembers.end() && property && jsc_value_is_string(property.get())) {
                ++nodes_;
                const double units = stringLength(property.get());
                if (!(units >= 0) || units > static_cast<double>(large->maxBytes)) return refuseAsTooLarge();
                if (units > static_cast<double>(kDeferredMemberBytes)) {
                    reading.deferred.push_back({key, property.release(), large->maxBytes});
                    entries.insert_or_assign(std::move(key), ScriptValue());
                    return true;
                }
                auto text = scriptStringFromJSC(property.get(), large->maxBytes);
                if (!text) return refuseAsTooLarge();
                entries.insert_or_assign(std::move(key), ScriptValue(std::move(*text)));
                return true;
            }
            return put(entries, std::move(key), convert(property.get(), 1));
        });
        if (!read) return std::nullopt;
        return std::optional<ScriptValue>(std::in_place, std::move(entries));
    }

    std::optional<ScriptValue> convert(JSCValue* value, int depth) {
        if (!value) return std::nullopt;
        if (++nodes_ > limits_.maxNodes) return tooLarge();
        if (jsc_value_is_undefined(value) || jsc_value_is_null(value)) return ScriptValue();
        if (jsc_value_is_boolean(value)) return ScriptValue(static_cast<bool>(jsc_value_to_boolean(value)));
        if (jsc_value_is_number(value)) return number(jsc_value_to_double(value));
        if (jsc_value_is_string(value)) {
            auto text = string(value);
            if (!text) return std::nullopt;
            return ScriptValue(std::move(*text));
        }
        if (!jsc_value_is_object(value)) return std::nullopt;  // symbols, big integers
        if (jsc_value_is_function(value) || jsc_value_is_constructor(value)) return std::nullopt;
        if (jsc_value_is_typed_array(value) || jsc_value_is_array_buffer(value)) return std::nullopt;
        if (depth >= limits_.maxDepth) return tooLarge();
        if (jsc_value_is_array(value)) return array(value, depth);
        for (const char* name : kRefusedClasses)
            if (isInstanceOf(value, name)) return std::nullopt;
        return dictionary(value, depth);
    }

private:
    static ScriptValue number(double d) {
        // Integral values inside the 64-bit range are integers; 2^63 itself is not.
        if (std::isfinite(d) && std::trunc(d) == d && d >= -9223372036854775808.0 && d < 9223372036854775808.0)
            return ScriptValue(static_cast<std::int64_t>(d));
        return ScriptValue(d);
    }

    std::optional<ScriptValue> tooLarge() {
        overLimits_ = true;
        return std::nullopt;
    }
    bool refuseAsTooLarge() {
        overLimits_ = true;
        return false;
    }

    // The length of a string or an array as the page has it (UTF-16 units for a string, never
    // more than its UTF-8 bytes), read without copying the value; -1 when there is none.
    static double stringLength(JSCValue* value) {
        JSCValuePtr length(jsc_value_object_get_property(value, "length"));
        if (!length || !jsc_value_is_number(length.get())) return -1;
        return jsc_value_to_double(length.get());
    }

    bool spend(std::size_t bytes) {
        if (bytes > limits_.maxStringBytes - stringBytes_) {
            overLimits_ = true;
            return false;
        }
        stringBytes_ += bytes;
        return true;
    }

    std::optional<std::string> string(JSCValue* value) {
        // The length (UTF-16 units, never more than the UTF-8 bytes) is asked first, so an
        // oversized string is refused before it is copied.
        const double units = stringLength(value);
        if (!(units >= 0)) return std::nullopt;
        if (units > static_cast<double>(limits_.maxStringBytes - stringBytes_)) {
            overLimits_ = true;
            return std::nullopt;
        }
        // As bytes: a C string would end the text at its first NUL, and the handler would get
        // another text than the page sent.
        auto result = scriptStringFromJSC(value, limits_.maxStringBytes - stringBytes_);
        if (!result) {
            overLimits_ = true;  // it is a string: only its size can refuse it
            return std::nullopt;
        }
        stringBytes_ += result->size();
        return result;
    }

    std::optional<ScriptValue> array(JSCValue* value, int depth) {
        const double length = stringLength(value);
        if (!(length >= 0)) return std::nullopt;
        if (length > static_cast<double>(limits_.maxNodes - nodes_)) return tooLarge();
        ScriptValue::Array elements;
        const auto count = static_cast<unsigned>(length);
        elements.reserve(count);
        for (unsigned i = 0; i < count; ++i) {
            JSCValuePtr element(jsc_value_object_get_property_at_index(value, i));
            auto converted = convert(element.get(), depth + 1);
            if (!converted) return std::nullopt;
            elements.push_back(std::move(*converted));
        }
        return std::optional<ScriptValue>(std::in_place, std::move(elements));
    }

    // Hands each property of `value` to `member` with its name, the name's bytes counted against
    // the limits first; false, and no more properties, as soon as either refuses.
    template <class Member>
    bool eachProperty(JSCValue* value, Member&& member) {
        std::unique_ptr<char*, StrvDeleter> names(jsc_value_object_enumerate_properties(value));
        for (char** name = names.get(); name && *name; ++name) {
            const std::size_t keyBytes = std::char_traits<char>::length(*name);
            if (!spend(keyBytes)) return false;
            JSCValuePtr property(jsc_value_object_get_property(value, *name));
            if (!member(std::string(*name, keyBytes), property)) return false;
        }
        return true;
    }

    static bool put(ScriptValue::Dictionary& entries, std::string key, std::optional<ScriptValue> converted) {
        if (!converted) return false;
        entries.insert_or_assign(std::move(key), std::move(*converted));
        return true;
    }

    std::optional<ScriptValue> dictionary(JSCValue* value, int depth) {
        ScriptValue::Dictionary entries;
        if (!eachProperty(value, [&](std::string key, JSCValuePtr& property) {
                return put(entries, std::move(key), convert(property.get(), depth + 1));
            }))
            return std::nullopt;
        return std::optional<ScriptValue>(std::in_place, std::move(entries));
    }

    const ScriptValueLimits& limits_;
    std::size_t nodes_ = 0;
    std::size_t stringBytes_ = 0;
    bool overLimits_ = false;
};

unsigned kindOf(JSCValue* value) {
    using Kinds = ScriptMessageShape::Kinds;
    if (jsc_value_is_string(value)) return Kinds::strings;
    if (jsc_value_is_array(value)) return Kinds::arrays;
    if (jsc_value_is_object(value)) return Kinds::dictionaries;  // the conversion refuses what is no plain object
    return Kinds::scalars;
}

void appendJSONString(std::string& out, const std::string& text) {
    out += '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

void describe(std::string& out, const ScriptValue& value, std::size_t maxBytes) {
    if (out.size() > maxBytes) return;
    switch (value.type()) {
    case ScriptValue::Type::null:
        out += "null";
        break;
    case ScriptValue::Type::boolean:
        out += *value.asBool() ? "true" : "false";
        break;
    case ScriptValue::Type::integer:
        out += std::to_string(*value.asInt());
        break;
    case ScriptValue::Type::real: {
        char buffer[32];
        auto result = std::to_chars(buffer, buffer + sizeof buffer, *value.asReal());
        out.append(buffer, result.ptr);
        break;
    }
    case ScriptValue::Type::string:
        appendJSONString(out, *value.asString());
        break;
    case ScriptValue::Type::array: {
        out += '[';
        bool first = true;
        for (const auto& element : *value.asArray()) {
            if (!first) out += ',';
            first = false;
            describe(out, element, maxBytes);
            if (out.size() > maxBytes) return;
        }
        out += ']';
        break;
    }
    case ScriptValue::Type::dictionary: {
        out += '{';
        bool first = true;
        for (const auto& [key, element] : *value.asDictionary()) {
            if (!first) out += ',';
            first = false;
            appendJSONString(out, key);
            out += ':';
            describe(out, element, maxBytes);
            if (out.size() > maxBytes) return;
        }
        out += '}';
        break;
    }
    default:
        out += "<value>";
        break;
    }
}

}  // namespace

std::optional<ScriptValue> scriptValueFromJSC(JSCValue* value, const ScriptValueLimits& limits) {
    return Converter(limits).convert(value, 0);
}

ScriptMessageReading readScriptMessage(JSCValue* value, const ScriptMessageShape& shape, const ScriptValueLimits& limits) {
    ScriptMessageReading reading;
    if (!value) {
        reading.refusal = "no value";
        return reading;
    }
    const unsigned kind = kindOf(value);
    if (!(kind & shape.kinds)) {
        reading.refusal = "not of a kind the handler takes";
        return reading;
    }
    if (!shape.read) {
        reading.body = ScriptValue();
        return reading;
    }
    const ScriptValueLimits bounds{std::min(shape.maxDepth, limits.maxDepth), std::min(shape.maxNodes, limits.maxNodes),
                                   std::min(shape.maxStringBytes, limits.maxStringBytes)};
    Converter converter(bounds);
    if (kind == ScriptMessageShape::dictionaries && !shape.largeMembers.empty() && bounds.maxDepth > 0)
        reading.body = converter.dictionaryWithLargeMembers(value, shape, reading);
    else
        reading.body = converter.convert(value, 0);
    if (!reading.body) {
        for (auto& deferred : reading.deferred) g_object_unref(deferred.value);
        reading.deferred.clear();
        reading.refusal = converter.overLimits() ? "past the handler's size limits" : "a value without a native form";
    }
    return reading;
}

std::optional<std::string> scriptStringFromJSC(JSCValue* value, std::size_t maxBytes) {
    if (!value || !jsc_value_is_string(value)) return std::nullopt;
    // Bytes, not a C string: a NUL inside the text stays.
    std::unique_ptr<GBytes, void (*)(GBytes*)> bytes(jsc_value_to_string_as_bytes(value), g_bytes_unref);
    if (!bytes) return std::nullopt;
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes.get(), &size));
    if (size > maxBytes) return std::nullopt;
    return std::string(data ? data : "", size);
}

std::optional<ScriptValue> scriptValueFromJSON(std::string_view json, const ScriptValueLimits& limits) {
    // One context per thread, reused: making a context costs far more than reading a value.
    thread_local std::unique_ptr<JSCContext, ObjectDeleter> context(jsc_context_new());
    const std::string text(json);
    jsc_context_clear_exception(context.get());
    JSCValuePtr value(jsc_value_new_from_json(context.get(), text.c_str()));
    if (jsc_context_get_exception(context.get())) {
        jsc_context_clear_exception(context.get());
        return std::nullopt;
    }
    if (!value) return std::nullopt;
    return scriptValueFromJSC(value.get(), limits);
}

std::string describeScriptValue(const ScriptValue& value, std::size_t maxBytes) {
    std::string out;
    if (const std::string* text = value.asString()) {
        out = *text;
    } else {
        describe(out, value, maxBytes);
    }
    if (out.size() > maxBytes) {
        // Cut on a character boundary.
        std::size_t cut = maxBytes;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
        out += "…";
    }
    return out;
}

}  // namespace platform
