#pragma once

namespace parlivo {

// Whether the program shows itself in the taskbar and pager (regular) or lives in the tray only
// (accessory). Linux has no process-wide activation policy, so the program keeps it as state and
// the main window maps it to its skip-taskbar and skip-pager hints.
enum class ActivationPolicy { regular = 0, accessory = 1, prohibited = 2 };

// The program's current activation policy. Starts as regular, like an application that does not
// declare itself an agent. Main thread only.
class ApplicationActivation {
public:
    static ActivationPolicy policy();
    // Records the policy; returns whether it was accepted (always, kept for callers that mirror
    // the platform call).
    static bool setPolicy(ActivationPolicy policy);
};

}  // namespace parlivo
