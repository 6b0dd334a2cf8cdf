#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// A page message body read as its handler's shape allows, and within `limits` as well. The kind,
// the length of every string and array are checked on the page's value before anything is copied.
struct ScriptMessageReading {
    std::optional<ScriptValue> body;  // none: refused
    std::string refusal;              // why, for the log line
    // Large members (ScriptMessageShape::largeMembers) still to be read, with scriptStringFromJSC,
    // and their byte limit; `body` holds null in their place. Each value is a reference of the
    // caller's, to let go of (g_object_unref) on the thread that received the message.
    struct Deferred {
        std::string key;
        JSCValue* value;
        std::size_t maxBytes;
    };
    std::vector<Deferred> deferred;
};
// Large members shorter than this are read at once: copying them costs less than a hand-over.
inline constexpr std::size_t kDeferredMemberBytes = 256u << 10;
ScriptMessageReading readScriptMessage(JSCValue* value, const ScriptMessageShape& shape,
                                       const ScriptValueLimits& limits = {});

// The UTF-8 text of a string value; none for another kind or for more than `maxBytes`. Safe on any
// thread: JavaScriptCore locks the value's context while it copies the characters.
std::optional<std::string> scriptStringFromJSC(JSCValue* value, std::size_t maxBytes);

// The JSON text read by JavaScriptCore, then converted as above; none for text that is no JSON.
// Tests and the fuzzer feed page values through here without a web view.
std::optional<ScriptValue> scriptValueFromJSON(std::string_view json, const ScriptValueLimits& limits = {});

// A short readable form of a value for log lines: a string is itself, anything else compact
// JSON-like text; cut at `maxBytes` (with "…" appended).
std::string describeScriptValue(const ScriptValue& value, std::size_t maxBytes = 4096);

}  // namespace platform
