#include "foundation/URL.h"

#include <glib.h>

#include <algorithm>
#include <cctype>

namespace platform {

namespace {
std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}
}  // namespace

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
    url.scheme_ = lower(g_uri_get_scheme(uri) ? g_uri_get_scheme(uri) : "");
    url.host_ = lower(g_uri_get_host(uri) ? g_uri_get_host(uri) : "");
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
