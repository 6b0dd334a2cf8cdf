#pragma once

#include <string>
#include <string_view>

namespace platform {

// Texts the program compares without regard to case are ASCII by their nature (URL schemes,
// identifiers, MIME types, header names, the words of settings). They are compared letter by
// letter, never by the process locale's rules, which GTK sets and which differ (Turkish "I").

// Equality ignoring the case of ASCII letters.
bool equalsIgnoringCase(std::string_view a, std::string_view b);
// The text with its ASCII letters in lower case; every other byte as it is.
std::string asciiLowercased(std::string_view text);

}  // namespace platform
