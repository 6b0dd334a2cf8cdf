#include "DebugPrint.h"

#include "WQDebugController.h"

#include <cstdio>
#include <string>

namespace tovak {

void debugPrint(std::string_view typeName, std::string_view message) {
    if (!WQDebugController::sharedInstance().debug()) return;
    std::string line;
    line.reserve(typeName.size() + message.size() + 7);
    line.append(typeName).append(" ===> ").append(message).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

}  // namespace tovak
