#pragma once

#include <string>

namespace tovak {

// The machine's hardware name.
class WQDeviceInfo {
public:
    // The `machine` field of uname (such as "x86_64"); "" when uname fails.
    static std::string getDeviceName();
};

}  // namespace tovak
