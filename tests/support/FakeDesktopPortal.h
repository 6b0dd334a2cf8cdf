#pragma once

#include <memory>

namespace testsupport {

class FakeBusService;

// A stand-in for the desktop portal's Settings interface on the session bus
// (org.freedesktop.portal.Desktop, /org/freedesktop/portal/desktop): answers Read for
// "org.freedesktop.appearance" "color-scheme" and emits SettingChanged.
class FakeDesktopPortal {
public:
    // Starts serving; returns once the name is owned (null when there is no session bus).
    static std::unique_ptr<FakeDesktopPortal> start(unsigned colorScheme);
    ~FakeDesktopPortal();  // releases the name

    // Changes the value and emits SettingChanged.
    void setColorScheme(unsigned colorScheme);
    // How many times a client asked for the colour scheme with Read.
    int reads() const;

    struct State;

private:
    FakeDesktopPortal() = default;
    std::shared_ptr<State> state_;
    std::unique_ptr<FakeBusService> service_;
};

}  // namespace testsupport
