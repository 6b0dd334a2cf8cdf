#pragma once

#include "Expected.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// The domain of Workspace's failures: a program or handler that could not be started.
inline constexpr const char* WorkspaceErrorDomain = "platform.Workspace";
namespace WorkspaceErrorCode {
inline constexpr long launchFailed = 1;
}  // namespace WorkspaceErrorCode

// Running programs of the logged-in user, told apart by the well-known name each owns on the
// session bus (the main program's GApplication owns "net.vantreo.mac.WhatsApp", LaunchHelper
// "net.vantreo.mac.WhatsApp-Helper"), and starting programs in the background.
// Without a session bus nothing is running and registering fails (logged).
//
// The synchronous questions wait for the bus daemon (up to 5 s when it stalls): they are for
// LaunchHelper, which has no window. The program's main thread uses the asynchronous form.
class Workspace {
public:
    // Whether the bus name `bundleIdentifier` has an owner.
    static bool isRunning(const std::string& bundleIdentifier);

    // One entry (the owner's unique bus name) for every running instance that asked for the
    // name: the owner first, then the instances queued behind it.
    static std::vector<std::string> runningInstances(const std::string& bundleIdentifier);
    // The same question without waiting: `answer` runs later on the main loop, with no entry
    // when the bus cannot tell.
    static void runningInstances(const std::string& bundleIdentifier,
                                 std::function<void(std::vector<std::string>)> answer);

    // Asks for the bus name `bundleIdentifier` for this process, queueing behind an existing
    // owner, so runningInstances() counts this process from now on. Synchronous: when it
    // returns, others see it. False when there is no session bus or the name is invalid.
    static bool registerRunningApplication(const std::string& bundleIdentifier);

    // Starts `executable` with `arguments` in the background and does not wait: the program
    // gets its own session, /dev/null as input, and is not our child once started (so it
    // outlives us and leaves no zombie). An error (launchFailed) when it could not be started.
    static Expected<void> launchApplication(const std::filesystem::path& executable,
                                            const std::vector<std::string>& arguments);

    // Opens `url` with the desktop's default handler for its scheme. An error (launchFailed)
    // when no handler could be started.
    static Expected<void> openURL(const std::string& url);
    // Opens the local file `path` with the desktop's default program for its type.
    static Expected<void> openFile(const std::filesystem::path& path);
};

}  // namespace platform
