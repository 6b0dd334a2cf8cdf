#include "WQDebugController.h"

#include "foundation/ProcessInfo.h"

namespace tovak {

namespace {

bool containsExactly(const std::vector<std::string>& arguments, const std::string& wanted) {
    bool found = false;
    for (const auto& argument : arguments)
        if (argument == wanted) found = true;
    return found;
}

}  // namespace

WQDebugController& WQDebugController::sharedInstance() {
    static WQDebugController* instance = new WQDebugController;  // never destroyed: debug lines may come at exit
    return *instance;
}

WQDebugController::WQDebugController() {
    debug_ = containsExactly(platform::ProcessInfo::arguments(), "-de");
    beta_ = containsExactly(platform::ProcessInfo::arguments(), "-beta");
}

WQDebugController::WQDebugController(const std::vector<std::string>& arguments) {
    debug_ = containsExactly(arguments, "-de");
    beta_ = containsExactly(arguments, "-beta");
}

}  // namespace tovak
