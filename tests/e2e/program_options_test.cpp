// The program's own command-line answers: help and version are printed, an unknown option is
// refused, and the program ends before it opens a window or takes its bus name (so they work
// with neither a display nor a bus).
#include <gtest/gtest.h>
#include <glib.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "foundation/Bundle.h"

namespace {

struct Run {
    int status = -1;
    std::string out, err;
};

Run runProgram(const std::vector<std::string>& args) {
    std::vector<std::string> argv{PARLIVO_BIN_DIR "/parlivo-for-whatsapp"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<gchar*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    // No display and a bus that does not exist: a program that went on to start would fail.
    gchar** env = g_get_environ();
    env = g_environ_unsetenv(env, "DISPLAY");
    env = g_environ_unsetenv(env, "WAYLAND_DISPLAY");
    env = g_environ_setenv(env, "DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", TRUE);
    gchar* out = nullptr;
    gchar* err = nullptr;
    gint status = 0;
    Run run;
    const bool spawned =
        g_spawn_sync(nullptr, raw.data(), env, G_SPAWN_DEFAULT, nullptr, nullptr, &out, &err, &status, nullptr);
    g_strfreev(env);
    if (!spawned) return run;
    run.out = out ? out : "";
    run.err = err ? err : "";
    g_free(out);
    g_free(err);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

}  // namespace

TEST(ProgramOptions, HelpAndVersionAnswerAndEndWithoutStartingTheProgram) {
    const std::string version = platform::Bundle(PARLIVO_RESOURCE_DIR).infoString("CFBundleShortVersionString").value_or("?");
    const struct {
        std::vector<std::string> args;
        const char* shows;
    } cases[] = {
        {{"--help"}, "--version"},
        {{"-h"}, "Usage:"},
        {{"--version"}, version.c_str()},
        // The program's own launch arguments are no unknown options.
        {{"-de", "-beta", "-alternate", "-server2", "-launchedAtLogin", "--version"}, version.c_str()},
        {{"-bogus", "--help"}, "Usage:"},  // help always answers
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        const auto run = runProgram(c.args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(c.shows), std::string::npos) << run.out;
    }
    // A start that is not an answer needs its display and bus: the checks above prove something.
    EXPECT_NE(runProgram({}).status, 0);
}

TEST(ProgramOptions, HelpListsTheLaunchArguments) {
    const auto run = runProgram({"--help"});
    for (const char* argument : {"-de ", "-beta ", "-alternate ", "-server2 ", "-launchedAtLogin "})
        EXPECT_NE(run.out.find(std::string("\n  ") + argument), std::string::npos) << argument << " in:\n" << run.out;
}

// Anything with a dash that is not ours, near misses of our own arguments among them, is a usage
// error (status 2) named on standard error; the program does not start.
TEST(ProgramOptions, AnUnknownOptionIsNamedAndNothingStarts) {
    for (const char* option : {"-debug", "-DE", "--de", "-de=1", "--display=:0", "-NSDocumentRevisionsDebugMode"}) {
        SCOPED_TRACE(option);
        const auto run = runProgram({"-de", option, "net.vantreo.mac.whatsapp.share:x"});
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find(std::string("unknown option \"") + option + "\""), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}
