#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The scheme of an absolute URL as RFC 3986 writes it: a letter, then letters, digits, "+", "-"
// or ".", up to the first ":". None when the text does not begin with one. The one place the
// program reads a scheme; schemes are compared without regard to case (hasURLScheme).
std::optional<std::string_view> urlScheme(std::string_view url);

// Whether `url` has the scheme `scheme`, in any case.
bool hasURLScheme(std::string_view url, std::string_view scheme);

// An address for the web browser: http or https.
bool isWebAddress(std::string_view url);

// An absolute URL taken apart by GLib's RFC 3986 parser: its scheme and its path,
// percent-decoded. None when the text does not parse (or holds a NUL).
struct ParsedURL {
    std::string scheme;
    std::string path;
};
std::optional<ParsedURL> parseURL(std::string_view text);

}  // namespace platform
