#include "SharingService.h"

#include <gio/gio.h>

#include "foundation/Log.h"

namespace platform {
namespace {

// Everything but RFC 3986's unreserved characters is encoded; line breaks become CRLF, as
// RFC 6068 asks for bodies.
std::string percentEncode(std::string_view text, bool keepAt) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~' || (keepAt && c == '@');
        if (unreserved) {
            out += char(c);
        } else if (c == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out += "%0D%0A";
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

GAppInfo* mailHandler() {
    return g_app_info_get_default_for_uri_scheme("mailto");
}

}  // namespace

std::unique_ptr<SharingService> SharingService::named(std::string_view name) {
    if (name != composeEmail) return nullptr;
    GAppInfo* handler = mailHandler();
    if (!handler) return nullptr;
    g_object_unref(handler);
    return std::unique_ptr<SharingService>(new SharingService());
}

bool SharingService::canPerform(const std::vector<std::string>& items) const {
    return !items.empty() && !recipients_.empty();
}

std::string SharingService::mailtoURI(const std::string& body) const {
    std::string uri = "mailto:";
    for (size_t i = 0; i < recipients_.size(); ++i) {
        if (i) uri += ',';
        uri += percentEncode(recipients_[i], true);
    }
    uri += "?subject=" + percentEncode(subject_, false);
    uri += "&body=" + percentEncode(body, false);
    return uri;
}

bool SharingService::perform(const std::vector<std::string>& items) {
    if (!canPerform(items)) return false;
    std::string body;
    for (const auto& item : items) body += item;
    GAppInfo* handler = mailHandler();
    if (!handler) return false;
    const std::string uri = mailtoURI(body);
    GList* uris = g_list_append(nullptr, const_cast<char*>(uri.c_str()));
    GError* launchError = nullptr;
    const bool launched = g_app_info_launch_uris(handler, uris, nullptr, &launchError);
    g_list_free(uris);
    g_object_unref(handler);
    if (!launched) {
        systemLog(std::string("Cannot start the mail program: ") + (launchError ? launchError->message : "unknown"),
                  LogLevel::warning);
        if (launchError) g_error_free(launchError);
    }
    return launched;
}

}  // namespace platform
