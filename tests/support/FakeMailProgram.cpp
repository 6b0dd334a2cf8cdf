#include "FakeMailProgram.h"

#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

fs::path env(const char* name) { return fs::path(std::getenv(name)); }

}  // namespace

fs::path installFakeMailProgram() {
    const fs::path record = env("TMPDIR") / "mail-uri.txt";
    const fs::path script = env("TMPDIR") / "fake-mail.sh";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << record.string() << ".part' && mv '"
                          << record.string() << ".part' '" << record.string() << "'\n";
    fs::permissions(script, fs::perms::owner_all);
    fs::create_directories(env("XDG_DATA_HOME") / "applications");
    std::ofstream(env("XDG_DATA_HOME") / "applications/fake-mail.desktop")
        << "[Desktop Entry]\nType=Application\nName=Fake Mail\nExec=" << script.string()
        << " %u\nMimeType=x-scheme-handler/mailto;\n";
    std::ofstream(env("XDG_CONFIG_HOME") / "mimeapps.list")
        << "[Default Applications]\nx-scheme-handler/mailto=fake-mail.desktop\n";
    return record;
}

}  // namespace testsupport
