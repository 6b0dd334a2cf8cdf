#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "system/Error.h"

// What the main view controller does with the web view's navigations, free of any toolkit.
namespace parlivo::navigation {

enum class Decision {
    allow,          // the web view follows it
    downloadBlob,   // cancelled; the page hands the blob over (wqDownloadBlob)
    openInBrowser,  // cancelled; the user's browser or mail program opens the URL
    downloadFile,   // cancelled; the file is fetched and saved where the user says
    cancel,         // cancelled, nothing else (a new window for a scheme we do not hand out)
};

struct Outcome {
    Decision decision = Decision::allow;
    std::string logLine;  // the debug line that tells why
};

// For a navigation to `url` (none: the request had no URL); `newWindow` when it has no target
// frame. In this order: no URL is allowed; a blob: URL becomes a blob download; a new window
// opens in the browser (http, https, mailto only; anything else is cancelled); in the frame
// itself (the main frame or a sub-frame), a mail address goes to the mail program and a scheme
// the web view cannot load is cancelled; a path extension of at least two characters other than
// "app" is a file download; the rest is allowed.
Outcome decide(const std::optional<std::string>& url, bool newWindow);

// Whether the web view itself loads URLs of `scheme` (lower case): http, https, file, about, data
// and javascript.
bool isLoadableInWebView(std::string_view scheme);

// Whether the user's browser (or mail program) may be asked to open `url`: http, https, mailto.
bool isOpenableExternally(std::string_view url);
// Whether `url` has the same origin (scheme, host, port) as `pageURL`, the configured page.
bool hasSameOrigin(std::string_view url, std::string_view pageURL);
// Whether a load error is no failure worth the error page (a cancellation, a policy interruption).
bool isIgnorableLoadFailure(const platform::Error& error);

// A file name that is safe to offer in a save panel: the last component of `name` (after any
// slash or backslash), without control characters, never "." or "..", at most 255 bytes;
// `fallback` when nothing is left.
std::string plainBaseName(std::string_view name, std::string_view fallback = "download");

}  // namespace parlivo::navigation
