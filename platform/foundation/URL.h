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

// `url` as a well-formed URI for another program: every byte that RFC 3986 does not allow in a
// URI (blanks, quotes, angle brackets, backslashes, non-ASCII ...) percent-encoded. Reserved
// characters and existing "%" escapes stay, so a well-formed URI comes back unchanged.
std::string encodedURIText(std::string_view url);


// An absolute URL taken apart (RFC 3986, through GLib's GUri). Parsing refuses relative
// references, NUL characters and anything GUri refuses, so every part below is well-formed.
class URL {
public:
    static std::optional<URL> parse(std::string_view text);

    const std::string& absoluteString() const { return absolute_; }
    // Lower case ("HTTPS:" reads "https").
    const std::string& scheme() const { return scheme_; }
    // Lower case; empty for URLs without an authority (mailto:, blob:, data:).
    const std::string& host() const { return host_; }
    // The port as written, or none.
    std::optional<int> port() const { return port_; }
    // Percent-decoded.
    const std::string& path() const { return path_; }

    // "scheme://host[:port]" with the scheme's default port left out; empty without a host.
    std::string origin() const;
    // The last path component ("/a/b/" gives "b").
    std::string lastPathComponent() const;
    // The text after the last dot of the last path component, or empty (".zip" of "a.zip"; a
    // name that only starts with a dot has none).
    std::string pathExtension() const;

    bool isHTTP() const { return scheme_ == "http" || scheme_ == "https"; }

private:
    std::string absolute_, scheme_, host_, path_;
    std::optional<int> port_;
};

}  // namespace platform
