#pragma once

#include <filesystem>

#include "foundation/Bundle.h"

namespace tovak {

// The application's lasting folders: <XDG data home>/Vantreo/<bundle identifier>/ and its
// "UserContent" folder (wallpaper, copied sounds). Both are created on every call; a failure is
// logged and the path is returned all the same, so the caller's own file operation fails.
class WQDirectory {
public:
    static constexpr std::string_view kClassName = "WQDirectory";

    static std::filesystem::path appDirectory(const platform::Bundle& bundle = platform::Bundle::main());
    static std::filesystem::path userContentDirectory(const platform::Bundle& bundle = platform::Bundle::main());
};

}  // namespace tovak
