#pragma once

// The desktop around the real program in an end-to-end test: a window manager on the test's own
// display (openbox), the program's settings file written before it starts, its main window
// found and driven with xdotool as a user's mouse and keyboard would, and screenshots for a
// person to look at (only when PARLIVO_E2E_SCREENSHOTS names a folder).

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "RunLoop.h"
#include "Standin.h"

namespace e2e {

namespace fs = std::filesystem;

// Runs a shell command; its standard output (trailing line break removed).
inline std::string run(const std::string& command, int* status = nullptr) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        const int result = pclose(pipe);
        if (status) *status = result;
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    return output;
}

// Polls a condition about the world outside this process (a window, a file) until it holds,
// at most `timeoutSeconds` (scaled, as every wait of a test).
inline bool eventually(const std::function<bool()>& condition, double timeoutSeconds = 30) {
    const auto deadline = testsupport::deadlineAfter(timeoutSeconds);
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// Starts openbox and waits until it manages windows (it announces itself on the root window).
inline std::unique_ptr<testsupport::HostedProgram> startWindowManager() {
    auto manager = testsupport::HostedProgram::launch({"/usr/bin/openbox"});
    if (!eventually([] { return run("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null").find("window id") != std::string::npos; }))
        return nullptr;
    return manager;
}

inline fs::path settingsFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    return fs::path(config ? config : "/tmp") / "net.vantreo.mac.WhatsApp" / "defaults.plist";
}

// The program's settings before it starts: the inside of the property list's dictionary.
inline void writeSettings(const std::string& dictionaryBody) {
    fs::create_directories(settingsFile().parent_path());
    std::ofstream(settingsFile()) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                                  << dictionaryBody << "</dict></plist>\n";
}

inline std::string readSettings() {
    std::ifstream in(settingsFile());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The visible window whose name holds `name`, once there is one; empty when none came.
inline std::string waitForWindow(const std::string& name, double timeoutSeconds = 60) {
    std::string id;
    eventually(
        [&] {
            id = run("xdotool search --onlyvisible --name '" + name + "' 2>/dev/null | head -1");
            return !id.empty();
        },
        timeoutSeconds);
    return id;
}

inline std::string activeWindow() { return run("xdotool getactivewindow 2>/dev/null"); }

// "WIDTHxHEIGHT" of a window.
inline std::string windowSize(const std::string& id) {
    return run("xdotool getwindowgeometry " + id + " 2>/dev/null | awk '/Geometry/ {print $2}'");
}

// Makes the window active (raised, with the keyboard focus) and waits until it is.
inline bool activate(const std::string& id) {
    return eventually([&] {
        run("xdotool windowactivate --sync " + id + " >/dev/null 2>&1");
        return activeWindow() == id;
    }, 20);
}

// Types text and presses keys into whatever has the focus, as a keyboard would.
inline void type(const std::string& text) { run("xdotool type --delay 30 '" + text + "'"); }
inline void key(const std::string& keys) { run("xdotool key --delay 60 --clearmodifiers " + keys); }
// Clicks inside a window at (x, y) of its own coordinates.
inline void click(const std::string& id, int x, int y) {
    run("xdotool mousemove --window " + id + " " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

// A picture of the whole screen, for a person to look at: only when PARLIVO_E2E_SCREENSHOTS names
// a folder.
inline void screenshot(const std::string& name) {
    const char* folder = std::getenv("PARLIVO_E2E_SCREENSHOTS");
    if (!folder || !*folder) return;
    fs::create_directories(folder);
    run("import -window root '" + (fs::path(folder) / (name + ".png")).string() + "' 2>/dev/null");
}

// The index of the first line of the program's output past `from` that holds `text`; -1 when
// none came in time.
inline long lineAfter(testsupport::HostedProgram& program, std::size_t from, const std::string& text,
                      double timeoutSeconds = 30) {
    return program.process().waitForLineAfter(from, text, timeoutSeconds);
}

}  // namespace e2e
