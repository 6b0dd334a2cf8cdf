#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tovak {

// The user-perceived characters (extended grapheme clusters) of a UTF-8 text, each as its own
// UTF-8 string: "e" followed by a combining accent is one, "\r\n" is one. Invalid bytes come
// back as U+FFFD. At most `limit` clusters are returned.
std::vector<std::string> graphemeClusters(std::string_view utf8, size_t limit = static_cast<size_t>(-1));

}  // namespace tovak
