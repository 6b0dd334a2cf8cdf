#pragma once

#include <chrono>
#include <functional>

namespace testsupport {

// How much longer than on an idle machine a wait in a test may take: PARLIVO_TEST_TIME_SCALE,
// which ctest sets for every test (from the machine, times 4 in the sanitizer build; see
// docs/testing.md), 1 when a test program runs by hand. The programs a test starts read the same
// variable for their own time-outs. A wait never passes sooner for it.
double timeScale();

// The one deadline of every wait: `seconds` as on an idle machine, scaled. Waits for another
// process's state (a window, a file, the accessibility tree) look again until it holds or this
// passes.
std::chrono::steady_clock::time_point deadlineAfter(double seconds);

// Runs the default GLib main context until `condition` holds or `timeoutSeconds` pass.
// Returns whether the condition held.
bool runLoopUntil(const std::function<bool()>& condition, double timeoutSeconds = 5.0);

// To show that something did NOT happen, wait for a marker that must come after it, never for
// a stretch of time: under load a fixed wait passes without the event having had its chance.

// Runs the loop until a marker posted now to the main queue has run: everything already queued
// on the main loop (posted work, zero-delay timers) has had its turn before it.
bool drainMainQueue(double timeoutSeconds = 10.0);

// The same after idle work too (GTK's deferred work, such as a window's close, runs at idle
// priority): the marker runs at a lower priority than all of it.
bool drainIdleWork(double timeoutSeconds = 10.0);

// Runs the loop until a marker timer of `seconds` has fired: a timer due no later that was
// started before this call has fired before it (the main loop dispatches timers that are due in
// the order they were made).
bool runLoopPastTimer(double seconds, double timeoutSeconds = 10.0);

// Runs the default main context for `seconds`. Only for letting time pass on purpose (a clock
// under test); never to show that something did not happen.
void runLoopFor(double seconds);

}  // namespace testsupport
