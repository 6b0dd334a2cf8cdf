#pragma once

#include <deque>
#include <string>
#include <vector>

#include "web/ScriptMessage.h"

// A web view stand-in for the page bridges: records every script and holds each completion
// until the test answers it (as a page would, later and on the main thread).
class FakeJavaScriptEvaluator : public platform::JavaScriptEvaluator {
public:
    std::vector<std::string> scripts;

    void evaluateJavaScript(const std::string& script, Completion completion) override {
        scripts.push_back(script);
        pending_.push_back(std::move(completion));
    }

    size_t pendingCount() const { return pending_.size(); }
    // Answers the oldest script: a value, or a failure with `error`.
    void answerNext(std::optional<std::string> error = std::nullopt) {
        auto completion = std::move(pending_.front());
        pending_.pop_front();
        if (completion) completion(Result{std::nullopt, std::move(error)});
    }

private:
    std::deque<Completion> pending_;
};
