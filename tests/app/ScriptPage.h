#pragma once

#include <jsc/jsc.h>

#include <optional>
#include <string>
#include <vector>

#include "foundation/MainQueue.h"
#include "web/ScriptMessage.h"

// A page without a web view: JavaScriptCore runs every script a bridge sends, so a test sees
// whether the script runs and what the page's functions received. Completions come later on
// the main loop, as from a web view.
class ScriptPage : public platform::JavaScriptEvaluator {
public:
    explicit ScriptPage(const std::string& pageScript) : context_(jsc_context_new()) {
        run(pageScript);
    }
    ~ScriptPage() override { g_object_unref(context_); }

    std::vector<std::string> scripts;
    std::vector<std::string> errors;  // one per script that threw or did not parse

    void evaluateJavaScript(const std::string& script, Completion completion) override {
        scripts.push_back(script);
        auto error = run(script);
        if (error) errors.push_back(*error);
        platform::MainQueue::async([completion = std::move(completion), error] {
            if (completion) completion(Result{std::nullopt, error});
        });
    }

    // The value of an expression that yields a string.
    std::string string(const std::string& expression) {
        JSCValue* value = jsc_context_evaluate(context_, expression.c_str(), -1);
        char* text = jsc_value_to_string(value);
        std::string result = text ? text : "";
        g_free(text);
        g_object_unref(value);
        return result;
    }

private:
    std::optional<std::string> run(const std::string& script) {
        jsc_context_clear_exception(context_);
        JSCValue* value = jsc_context_evaluate(context_, script.data(), static_cast<gssize>(script.size()));
        if (value) g_object_unref(value);
        if (JSCException* exception = jsc_context_get_exception(context_)) {
            std::string message = jsc_exception_get_message(exception);
            jsc_context_clear_exception(context_);
            return message;
        }
        return std::nullopt;
    }

    JSCContext* context_;
};
