#pragma once

#include <memory>
#include <optional>

namespace testsupport {

// A stand-in for the desktop portal's Settings interface on the session bus
// (org.freedesktop.portal.Desktop, /org/freedesktop/portal/desktop): answers Read for
// "org.freedesktop.appearance" "color-scheme" and emits SettingChanged. It runs on its own thread
// and connection, so code under test may call it synchronously from the main thread.
class FakeDesktopPortal {
public:
    // Starts serving; returns once the name is owned (null when there is no session bus).
    static std::unique_ptr<FakeDesktopPortal> start(unsigned colorScheme);
    ~FakeDesktopPortal();  // releases the name and stops the thread

    // Changes the value and emits SettingChanged.
    void setColorScheme(unsigned colorScheme);

    struct Impl;

private:
    explicit FakeDesktopPortal(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace testsupport
