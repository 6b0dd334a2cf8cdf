// What `scripts/run` builds (scripts/build --program, the CMake target parlivo-runnable): the
// program with its libraries and resources, LaunchHelper, parlivo-config and the default payload
// it serves, and nothing of the tests, the fuzz targets or the benchmarks, so a first run opens
// the window after building the program alone. Read from this build tree's own graph: every
// command ninja would run to make the target from nothing.
#include <gtest/gtest.h>
#include <glib.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> commandsFor(const char* target) {
    const char* argv[] = {"ninja", "-C", PARLIVO_BUILD_DIR, "-t", "commands", target, nullptr};
    gchar* out = nullptr;
    gchar* err = nullptr;
    gint status = 0;
    const bool ran = g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                                  &out, &err, &status, nullptr);
    std::vector<std::string> lines;
    if (ran && g_spawn_check_wait_status(status, nullptr)) {
        std::istringstream text(out);
        for (std::string line; std::getline(text, line);) lines.push_back(line);
    } else {
        ADD_FAILURE() << "ninja -t commands " << target << ": " << (err ? err : "did not run");
    }
    g_free(out);
    g_free(err);
    return lines;
}

bool anyContains(const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& line : lines)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(BuildForRun, BuildsWhatTheRunStartsAndNoTest) {
    const auto commands = commandsFor("parlivo-runnable");
    ASSERT_FALSE(commands.empty());
    for (const char* output : {"-o bin/parlivo-for-whatsapp", "-o libexec/parlivo-for-whatsapp/LaunchHelper",
                               "-o bin/parlivo-config", "config/default.payload", "share/parlivo-for-whatsapp/jQuery.js",
                               "lib/libtovak.so", "lib/libparlivo-platform.so"})
        EXPECT_TRUE(anyContains(commands, output)) << output;
    for (const auto& command : commands) {
        for (const char* foreign : {"tests/", "bench/", "fuzz", "gtest", "benchmark", "standin"})
            EXPECT_EQ(command.find(foreign), std::string::npos) << foreign << " in: " << command.substr(0, 400);
    }
}
