#include "foundation/URL.h"

#include <glib.h>

#include "foundation/Text.h"

namespace platform {
namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::string_view> urlScheme(std::string_view url) {
    if (url.empty() || !isAlpha(url.front())) return std::nullopt;
    for (std::size_t i = 1; i < url.size(); ++i) {
        const char c = url[i];
        if (c == ':') return url.substr(0, i);
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
    }
    return std::nullopt;
}

bool hasURLScheme(std::string_view url, std::string_view scheme) {
    auto found = urlScheme(url);
    return found && equalsIgnoringCase(*found, scheme);
}

bool isWebAddress(std::string_view url) { return hasURLScheme(url, "https") || hasURLScheme(url, "http"); }

std::optional<ParsedURL> parseURL(std::string_view text) {
    if (text.find('\0') != std::string_view::npos || !urlScheme(text)) return std::nullopt;
    const std::string copy(text);
    GUri* uri = g_uri_parse(copy.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!uri) return std::nullopt;
    ParsedURL parsed{g_uri_get_scheme(uri) ? g_uri_get_scheme(uri) : "", g_uri_get_path(uri) ? g_uri_get_path(uri) : ""};
    g_uri_unref(uri);
    return parsed;
}

}  // namespace platform
