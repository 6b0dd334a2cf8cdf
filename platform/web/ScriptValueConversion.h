#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "web/ScriptMessage.h"

typedef struct _JSCValue JSCValue;

namespace platform {

// Bounds on what a page may hand the native side in one value (a message body or a script's
// result). A value past any of them is refused whole, so a hostile page can neither exhaust our
// memory nor our stack. The string budget is large because the page hands whole files over as
// Base64 data URLs (a download, a conversion request).
struct ScriptValueLimits {
    int maxDepth = 64;                          // nesting of arrays and objects
    std::size_t maxNodes = 250'000;             // values in all, keys not counted
    std::size_t maxStringBytes = 384u << 20;    // UTF-8 bytes of all strings and keys together
};

// The JavaScript value as a ScriptValue: undefined and null become null; booleans; numbers with an
// integral value that fits 64 bits become integers, other numbers reals; strings; arrays; plain
// objects become dictionaries of their enumerable properties. None for anything else anywhere
// inside (functions, symbols, big integers, dates, regular expressions, maps, sets, errors,
// buffers and typed arrays, cycles) and for values past `limits`.
std::optional<ScriptValue> scriptValueFromJSC(JSCValue* value, const ScriptValueLimits& limits = {});

// The JSON text read by JavaScriptCore, then converted as above; none for text that is no JSON.
// Tests and the fuzzer feed page values through here without a web view.
std::optional<ScriptValue> scriptValueFromJSON(std::string_view json, const ScriptValueLimits& limits = {});

// A short readable form of a value for log lines: a string is itself, anything else compact
// JSON-like text; cut at `maxBytes` (with "…" appended).
std::string describeScriptValue(const ScriptValue& value, std::size_t maxBytes = 4096);

}  // namespace platform
