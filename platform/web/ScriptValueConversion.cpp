#include "web/ScriptValueConversion.h"

#include <jsc/jsc.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

namespace platform {

namespace {

struct GFreeDeleter {
    void operator()(void* p) const { g_free(p); }
};
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

    std::optional<ScriptValue> convert(JSCValue* value, int depth) {
        if (!value) return std::nullopt;
        if (++nodes_ > limits_.maxNodes) return std::nullopt;
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
        if (depth >= limits_.maxDepth) return std::nullopt;
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

    bool spend(std::size_t bytes) {
        if (bytes > limits_.maxStringBytes - stringBytes_) return false;
        stringBytes_ += bytes;
        return true;
    }

    std::optional<std::string> string(JSCValue* value) {
        // The length (UTF-16 units, never more than the UTF-8 bytes) is asked first, so an
        // oversized string is refused before it is copied.
        JSCValuePtr length(jsc_value_object_get_property(value, "length"));
        if (!length || !jsc_value_is_number(length.get())) return std::nullopt;
        const double units = jsc_value_to_double(length.get());
        if (!(units >= 0) || units > static_cast<double>(limits_.maxStringBytes - stringBytes_)) return std::nullopt;
        std::unique_ptr<char, GFreeDeleter> text(jsc_value_to_string(value));
        if (!text) return std::nullopt;
        std::string result(text.get());
        if (!spend(result.size())) return std::nullopt;
        return result;
    }

    std::optional<ScriptValue> array(JSCValue* value, int depth) {
        JSCValuePtr lengthValue(jsc_value_object_get_property(value, "length"));
        if (!lengthValue || !jsc_value_is_number(lengthValue.get())) return std::nullopt;
        const double length = jsc_value_to_double(lengthValue.get());
        if (!(length >= 0) || length > static_cast<double>(limits_.maxNodes - nodes_)) return std::nullopt;
        ScriptValue::Array elements;
        const auto count = static_cast<unsigned>(length);
        elements.reserve(count);
        for (unsigned i = 0; i < count; ++i) {
            JSCValuePtr element(jsc_value_object_get_property_at_index(value, i));
            auto converted = convert(element.get(), depth + 1);
            if (!converted) return std::nullopt;
            elements.push_back(std::move(*converted));
        }
        return ScriptValue(std::move(elements));
    }

    std::optional<ScriptValue> dictionary(JSCValue* value, int depth) {
        ScriptValue::Dictionary entries;
        std::unique_ptr<char*, StrvDeleter> names(jsc_value_object_enumerate_properties(value));
        for (char** name = names.get(); name && *name; ++name) {
            const std::size_t keyBytes = std::char_traits<char>::length(*name);
            if (!spend(keyBytes)) return std::nullopt;
            JSCValuePtr property(jsc_value_object_get_property(value, *name));
            auto converted = convert(property.get(), depth + 1);
            if (!converted) return std::nullopt;
            entries.insert_or_assign(std::string(*name, keyBytes), std::move(*converted));
        }
        return ScriptValue(std::move(entries));
    }

    const ScriptValueLimits& limits_;
    std::size_t nodes_ = 0;
    std::size_t stringBytes_ = 0;
};

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
