#pragma once

namespace parlivo {

// Told whether the page can send now: the main window's touch bar offers sending only then. The
// shell's web container view implements it; the web client host calls it.
class SendingStateObserver {
public:
    virtual ~SendingStateObserver() = default;
    virtual void sendingEnabledDidChange(bool enabled) = 0;
};

}  // namespace parlivo
