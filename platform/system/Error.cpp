#include "Error.h"

#include <string>

namespace platform {

std::string Error::description() const {
    return "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" + message + "\"";
}

}  // namespace platform
