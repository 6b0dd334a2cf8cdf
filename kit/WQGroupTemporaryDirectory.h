#pragma once

#include <string_view>

#include "WQTemporaryDirectory.h"

namespace tovak {

// A WQTemporaryDirectory inside an application group's container
// (platform::FileManager::groupContainer). It is made only from a group identifier. When the
// container cannot be had (bad name, folder not private) the folder goes to the per-user
// temporary base instead, with a log line, so url() still names a fresh private folder.
class WQGroupTemporaryDirectory : public WQTemporaryDirectory {
public:
    static constexpr std::string_view kClassName = "WQGroupTemporaryDirectory";

    explicit WQGroupTemporaryDirectory(std::string_view appGroup);
};

}  // namespace tovak
