#pragma once

// The two hosts the web-host benches set side by side on the stand-in page: the program and a
// bare WebKitGTK window (bench/bare_webkit.cpp), served by one stand-in server for the whole run.
#include <filesystem>
#include <memory>
#include <string>

#include "Standin.h"

namespace bench {

enum Host { bare = 0, parlivo = 1 };

inline testsupport::StandinServer& server() {
    static auto* instance = new testsupport::StandinServer();
    return *instance;
}

// Both hosts get the same fresh XDG folders, kept for the whole run (`name` names the folder).
inline testsupport::HostedProgram::Options environment(const std::string& name) {
    static const std::filesystem::path base = testsupport::makeTemporaryDirectory(name);
    testsupport::HostedProgram::Options options;
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        std::filesystem::create_directories(base / variable);
        options.environment[variable] = (base / variable).string();
    }
    return options;
}

// Starts `host` on the stand-in page; the program without "-de" (debug off).
inline std::unique_ptr<testsupport::HostedProgram> start(Host host, const std::string& name) {
    if (host == parlivo) return testsupport::HostedProgram::parlivo(server(), environment(name));
    return testsupport::HostedProgram::launch(
        {PARLIVO_BUILD_DIR "/bench/bare_webkit", PARLIVO_BUILD_DIR "/config-tls/server.pem", server().pageURL()},
        environment(name));
}

}  // namespace bench
