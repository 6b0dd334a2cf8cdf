#pragma once

#include <filesystem>
#include <functional>

namespace platform {

// For tests of the settings store: called on the writing thread once a write has taken its copy
// of the values and before it touches the file (with the file's path), so a test can hold a
// write under way. An empty function removes it.
void setUserDefaultsWriteHook(std::function<void(const std::filesystem::path&)> hook);

}  // namespace platform
