#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

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

// A native object registered for one or more message names.
class ScriptMessageHandler {
public:
    virtual ~ScriptMessageHandler() = default;
    // Main thread. Bodies are untrusted: any shape may arrive under any registered name.
    virtual void didReceiveScriptMessage(const ScriptMessage& message) = 0;
};

}  // namespace platform
