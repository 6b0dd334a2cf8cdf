#pragma once

#include <string>

namespace parlivo {

// What the user reads when the desktop has no program for an address (or could not start it):
// a title and a message that names the address, so it can still be copied and opened by hand.
struct OpenFailureText {
    std::string title;
    std::string message;
};
OpenFailureText openFailureText(const std::string& address);

}  // namespace parlivo
