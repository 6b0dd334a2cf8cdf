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

std::string encodedURIText(std::string_view url) {
    static constexpr char hex[] = "0123456789ABCDEF";
    static constexpr std::string_view allowed = "-._~:/?#[]@!$&'()*+,;=%";
    std::string encoded;
    encoded.reserve(url.size());
    for (const char c : url) {
        if (isAlpha(c) || isDigit(c) || allowed.find(c) != std::string_view::npos) {
            encoded += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        encoded += '%';
        encoded += hex[byte >> 4];
        encoded += hex[byte & 0x0f];
    }
    return encoded;
}

std::optional<URL> URL::parse(std::string_view text) {
    const std::string copy(text);
    if (copy.empty() || copy.find('\0') != std::string::npos) return std::nullopt;
    GError* error = nullptr;
    GUri* uri = g_uri_parse(copy.c_str(), GUriFlags(G_URI_FLAGS_ENCODED_QUERY | G_URI_FLAGS_ENCODED_FRAGMENT), &error);
    if (!uri) {
        g_clear_error(&error);
        return std::nullopt;
    }
    URL url;
    url.absolute_ = copy;
    url.scheme_ = asciiLowercased(g_uri_get_scheme(uri) ? g_uri_get_scheme(uri) : "");
    url.host_ = asciiLowercased(g_uri_get_host(uri) ? g_uri_get_host(uri) : "");
    if (g_uri_get_port(uri) >= 0) url.port_ = g_uri_get_port(uri);
    url.path_ = g_uri_get_path(uri) ? g_uri_get_path(uri) : "";
    g_uri_unref(uri);
    return url;
}

std::string URL::origin() const {
    if (host_.empty()) return {};
    std::string text = scheme_ + "://" + host_;
    const bool defaultPort = (scheme_ == "http" && port_ == 80) || (scheme_ == "https" && port_ == 443);
    if (port_ && !defaultPort) text += ":" + std::to_string(*port_);
    return text;
}

std::string URL::lastPathComponent() const {
    std::string path = path_;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string URL::pathExtension() const {
    const std::string name = lastPathComponent();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    return name.substr(dot + 1);
}

}  // namespace platform
