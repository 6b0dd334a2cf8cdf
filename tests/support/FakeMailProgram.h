#pragma once

#include <filesystem>

namespace testsupport {

// Installs a mail program of our own as the desktop's "mailto:" handler in the test's own XDG
// folders (tests/isolated): it writes the URI it was started with to the file returned, which
// appears whole once the program has run. GIO reads the handler tables once per process, so call
// it before the first handler lookup.
std::filesystem::path installFakeMailProgram();

}  // namespace testsupport
