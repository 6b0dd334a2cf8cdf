#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "system/URLSession.h"

namespace testsupport {

// What one data task answered.
struct TaskOutcome {
    std::optional<std::vector<uint8_t>> data;
    std::optional<platform::URLResponse> response;
    std::optional<platform::Error> error;
    std::string text() const { return data ? std::string(data->begin(), data->end()) : std::string(); }
};

// Runs one data task and waits for its completion (which comes on the session's own queue).
// `whileRunning`, when given, runs on this thread after the task has started.
TaskOutcome runTask(platform::URLSession& session, platform::URLRequest request,
                    const std::function<void()>& whileRunning = {});

}  // namespace testsupport
