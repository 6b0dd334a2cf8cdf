#pragma once

#include <string>
#include <vector>

namespace platform {

// The launch arguments, saved before GTK or GApplication sees them, so our own switches
// ("-de", "-beta", "-alternate", "-server2", ...) are never rejected as unknown options.
class ProcessInfo {
public:
    // Saves argv (argv[0] included). Call once, first thing in main().
    static void saveArguments(int argc, char** argv);
    // Replaces the saved arguments (tests).
    static void setArguments(std::vector<std::string> arguments);

    // Every saved argument, argv[0] first; empty before saveArguments.
    static std::vector<std::string> arguments();
    static bool hasArgument(const std::string& argument);

    // argv[0] and the arguments GApplication should open (URLs and paths): everything that
    // does not start with "-".
    static std::vector<std::string> openableArguments();

    // The absolute path of the running executable (/proc/self/exe).
    static std::string executablePath();
    // An environment variable, or "" when unset.
    static std::string environment(const char* name);

    // An environment variable that only a development build takes (its tests and scripts/run
    // point it with these); "" when unset, and always in a packaged build, whose behaviour no
    // environment changes.
    static std::string developmentEnvironment(const char* name);
    // How many times longer than usual the program's own time-outs last: PARLIVO_TEST_TIME_SCALE
    // (1 to 100), which the test run sets for a busy machine or an instrumented build. 1 when it
    // is unset or unreadable, and in a packaged build. The one reader of that variable, for the
    // programs and the tests alike.
    static double testTimeScale();
};

}  // namespace platform
