#pragma once

#include <functional>

namespace testsupport {

// Runs the default GLib main context until `condition` holds or `timeoutSeconds` pass.
// Returns whether the condition held.
bool runLoopUntil(const std::function<bool()>& condition, double timeoutSeconds = 5.0);

// Runs the default main context for `seconds`.
void runLoopFor(double seconds);

}  // namespace testsupport
