#include "WQDeviceInfo.h"

#include <sys/utsname.h>

namespace tovak {

std::string WQDeviceInfo::getDeviceName() {
    struct utsname info {};
    if (uname(&info) != 0) return {};
    return info.machine;
}

}  // namespace tovak
