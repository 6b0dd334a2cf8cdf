#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/PropertyList.h"

namespace platform {

// The page bridge between a web view and native objects, free of any toolkit type so that the
// objects the page talks to can be tested without a display.
//
// A page message body is a property-list value: null, boolean, integer (a JavaScript number
// with an integral value that fits 64 bits), real (any other number), string, array or
// dictionary. Anything else the page posts (functions, dates, cycles, values past the size and
// depth limits of the web view) never reaches a handler.
using ScriptValue = PropertyList;

// What a native object may do with the web view a message came from, or that it was given:
// run a script in its page. Implemented by the program's web views (WQWebView) and by test
// fakes.
class JavaScriptEvaluator {
public:
    // The result of a script: its value when it produced one that converts, or an error text.
    struct Result {
        std::optional<ScriptValue> value;
        std::optional<std::string> error;  // set when the script failed
    };
    using Completion = std::function<void(const Result&)>;

    virtual ~JavaScriptEvaluator() = default;
    // Runs `script` in the page. Main thread only; the completion (optional) runs later on the
    // main thread, exactly once, also when the page has gone away meanwhile (with an error).
    virtual void evaluateJavaScript(const std::string& script, Completion completion = {}) = 0;
    // Runs `functionBody` as the body of an async function in the page and completes with the
    // value it returns, once a returned promise has settled (an error when it rejects or throws).
    // The way to hear the outcome of page work that takes its time. An evaluator that cannot wait
    // for a promise runs the body as a plain function: a promise is then no value it can read.
    virtual void callAsyncJavaScript(const std::string& functionBody, Completion completion = {}) {
        evaluateJavaScript("(function () {\n" + functionBody + "\n})();", std::move(completion));
    }
};

// One message a page posted with window.webkit.messageHandlers.NAME.postMessage(body).
struct ScriptMessage {
    std::string name;
    ScriptValue body;
    // The web view whose page posted it; expired once that web view is gone.
    std::weak_ptr<JavaScriptEvaluator> webView;
};

// What a handler takes under one message name. The web view checks it on the page's own value
// before anything is copied out of it (a string's and an array's length are read without a copy),
// so a body of the wrong kind or past the sizes below is refused at once, with a debug line, and
// never reaches the handler. String sizes count UTF-8 bytes.
struct ScriptMessageShape {
    enum Kinds : unsigned { scalars = 1u, strings = 2u, arrays = 4u, dictionaries = 8u, anything = 15u };
    // What the body itself may be (null, booleans and numbers are scalars).
    unsigned kinds = anything;
    // False: the body is not read at all and the handler gets null (it has no use for it now).
    bool read = true;
    int maxDepth = 16;                      // nesting of arrays and objects
    std::size_t maxNodes = 10'000;          // values in all, keys not counted
    std::size_t maxStringBytes = 1u << 20;  // all strings and keys together, large members aside
    // Members of a dictionary body that hold whole files (a data URL, Base64): each a string of at
    // most `maxBytes`, outside the budget above. A long one is read off the main thread; the
    // message then reaches the handler later, still in the order the page posted it.
    struct LargeMember {
        std::string key;
        std::size_t maxBytes;
    };
    std::vector<LargeMember> largeMembers;

    // A short text: at most `maxBytes` and nothing else.
    static ScriptMessageShape text(std::size_t maxBytes) {
        ScriptMessageShape shape;
        shape.kinds = strings;
        shape.maxStringBytes = maxBytes;
        return shape;
    }
    // A dictionary of small values, with `large` members as above.
    static ScriptMessageShape dictionary(std::size_t maxStringBytes, std::vector<LargeMember> large = {}) {
        ScriptMessageShape shape;
        shape.kinds = dictionaries;
        shape.maxStringBytes = maxStringBytes;
        shape.largeMembers = std::move(large);
        return shape;
    }
};

// A native object registered for one or more message names.
class ScriptMessageHandler {
public:
    virtual ~ScriptMessageHandler() = default;
    // What a message under `name` may be (above); asked for each message, just before it is read.
    virtual ScriptMessageShape messageShape(std::string_view name) const { return {}; }
    // Main thread. Bodies are untrusted: any shape may arrive under any registered name.
    virtual void didReceiveScriptMessage(const ScriptMessage& message) = 0;
};

}  // namespace platform
