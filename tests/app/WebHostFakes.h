#pragma once
// Stand-ins for the web host's tests: a recording script evaluator, and a JavaScript page that
// runs the scripts the program sends and records every page function call with its arguments.

#include <jsc/jsc.h>

#include <functional>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "web/ScriptMessage.h"
#include "web/ScriptValueConversion.h"

namespace platform {
// Readable values in test failures.
inline void PrintTo(const PropertyList& value, std::ostream* out) { *out << describeScriptValue(value, 2000); }
}  // namespace platform

namespace webhosttest {

using platform::JavaScriptEvaluator;
using platform::ScriptValue;

// Records every script; answers each with `answer` (none: a null value) on the spot or, with
// `deferred`, when the test calls completeAll().
struct FakeEvaluator : JavaScriptEvaluator {
    std::vector<std::string> scripts;
    std::vector<Completion> pending;
    std::function<Result(const std::string&)> answer;
    bool deferred = false;

    void evaluateJavaScript(const std::string& script, Completion completion) override {
        scripts.push_back(script);
        if (!completion) return;
        if (deferred) {
            pending.push_back(std::move(completion));
            return;
        }
        completion(answer ? answer(script) : Result{ScriptValue(), std::nullopt});
    }
    void completeAll(const Result& result = {ScriptValue(), std::nullopt}) {
        auto waiting = std::move(pending);
        pending.clear();
        for (auto& completion : waiting) completion(result);
    }
};

// A page that defines the functions the program calls; each call is recorded as an array of the
// function's name and its arguments.
class RecordingPage {
public:
    RecordingPage() : context_(jsc_context_new()) {
        static const char* prelude = R"JS(
            var calls = [];
            function rec(name) { return function () { calls.push([name].concat(Array.prototype.slice.call(arguments))); }; }
            ["changeAudioToURL", "wqFFmpegCallback", "wqWindowStatusDidChange", "wqHandleLogOut", "wqModifyWallpaper",
             "wqSetZoom", "wqSetStyle", "wqSetDoNotDisturb", "wqEnableSending", "wqStartAudioRecording",
             "wqStopAudioRecording", "wqShowConversationDetails", "wqSearchConversationContent", "wqOpenNewChat",
             "wqOpenNewGroup", "wqShowProfileAndStatus", "wqShowArchive", "wqShowActiveContacts", "wqSendDocument",
             "wqSendContact", "wqSetStealthModeShowContentOnMouseOver", "wqGetChatListWidth",
             "wqSendMessageToChatWithTag", "wqOpenChat", "wqLockDown", "wqDownloadBlob"].forEach(function (n) {
                globalThis[n] = rec(n);
            });
            var wqInit = { didFinishNativeInit: rec("didFinishNativeInit") };
        )JS";
        g_object_unref(jsc_context_evaluate(context_, prelude, -1));
    }
    ~RecordingPage() { g_object_unref(context_); }

    // Runs `script`; false when it throws (a broken script).
    bool run(const std::string& script) {
        JSCValue* result = jsc_context_evaluate(context_, script.c_str(), static_cast<gssize>(script.size()));
        if (result) g_object_unref(result);
        const bool ok = jsc_context_get_exception(context_) == nullptr;
        jsc_context_clear_exception(context_);
        return ok;
    }

    // Every call so far: [[name, arg...], ...].
    ScriptValue calls() {
        JSCValue* text = jsc_context_evaluate(context_, "JSON.stringify(calls)", -1);
        char* json = jsc_value_to_string(text);
        auto value = platform::scriptValueFromJSON(json);
        g_free(json);
        g_object_unref(text);
        return value.value_or(ScriptValue());
    }

private:
    JSCContext* context_;
};

inline ScriptValue call(std::initializer_list<ScriptValue> parts) { return ScriptValue(ScriptValue::Array(parts)); }

}  // namespace webhosttest
