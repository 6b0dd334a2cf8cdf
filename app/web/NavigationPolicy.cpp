#include "web/NavigationPolicy.h"

#include <glib.h>

#include "GraphemeClusters.h"
#include "foundation/URL.h"
#include "web/WebView.h"

namespace parlivo::navigation {

Outcome decide(const std::optional<std::string>& url, bool newWindow) {
    if (!url) return {Decision::allow, {}};
    const auto parsed = platform::URL::parse(*url);
    // Blobs are the page's own objects: only the page can hand them over.
    if (parsed && parsed->scheme() == "blob") return {Decision::downloadBlob, "Found Blob Downlaod"};
    if (newWindow) {
        if (isOpenableExternally(*url)) return {Decision::openInBrowser, "Target: Blank"};
        return {Decision::cancel, "Target: Blank, not opened: " + *url};
    }
    // The web view cannot show a mail address or another program's scheme: left to it, the load
    // would fail and the error page would replace the web client. A mail address goes to the mail
    // program; anything else is refused.
    if (parsed && parsed->scheme() == "mailto") return {Decision::openInBrowser, "Target: Self, mail address"};
    if (parsed && !isLoadableInWebView(parsed->scheme()))
        return {Decision::cancel, "Target: Self, not loaded: " + *url};
    // A path that ends in "/" names a folder (the error page's base is the resource folder,
    // whose name may hold a dot): it has no file extension, whatever its last name holds.
    const bool folder = parsed && parsed->path().ends_with('/');
    const std::string extension = parsed && !folder ? parsed->pathExtension() : std::string();
    if (tovak::graphemeClusters(extension, 2).size() >= 2 && extension != "app")
        return {Decision::downloadFile, "Target: Self, PATH EXTENSION: " + extension + " -> Initiating Download"};
    return {Decision::allow, "Target: Self, PATH EXTENSION: " + extension + " "};
}

bool isLoadableInWebView(std::string_view scheme) {
    for (std::string_view loadable : {"http", "https", "file", "about", "data", "javascript"})
        if (scheme == loadable) return true;
    return false;
}

bool isOpenableExternally(std::string_view url) {
    const auto parsed = platform::URL::parse(url);
    if (!parsed) return false;
    if (parsed->scheme() == "mailto") return true;
    return parsed->isHTTP() && !parsed->host().empty();
}

bool hasSameOrigin(std::string_view url, std::string_view pageURL) {
    const auto a = platform::URL::parse(url);
    const auto b = platform::URL::parse(pageURL);
    if (!a || !b || !a->isHTTP()) return false;
    const std::string origin = a->origin();
    return !origin.empty() && origin == b->origin();
}

bool isIgnorableLoadFailure(const platform::Error& error) { return platform::isLoadCancellation(error); }

std::string plainBaseName(std::string_view name, std::string_view fallback) {
    const auto slash = name.find_last_of("/\\");
    std::string_view last = slash == std::string_view::npos ? name : name.substr(slash + 1);
    std::string result;
    result.reserve(last.size());
    for (char c : last) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) continue;
        result += c;
    }
    // Leading and trailing blanks and dots make names that vanish or hide.
    const auto first = result.find_first_not_of(" .");
    if (first == std::string::npos) return std::string(fallback);
    result.erase(0, first);
    while (!result.empty() && result.back() == ' ') result.pop_back();
    if (!g_utf8_validate(result.data(), static_cast<gssize>(result.size()), nullptr)) {
        gchar* valid = g_utf8_make_valid(result.data(), static_cast<gssize>(result.size()));
        result = valid;
        g_free(valid);
    }
    if (result.size() > 255) {
        std::size_t cut = 255;
        while (cut > 0 && (static_cast<unsigned char>(result[cut]) & 0xC0) == 0x80) --cut;
        result.resize(cut);
    }
    return result.empty() ? std::string(fallback) : result;
}

}  // namespace parlivo::navigation
