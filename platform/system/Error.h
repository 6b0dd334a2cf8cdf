#pragma once

#include <string>

namespace platform {

// An error object as the platform reports it: a domain, a numeric code and a message. Callers
// word their texts by domain and code (e.g. the URL-loading domain's -1009 for "offline").
struct Error {
    std::string domain;
    long code = 0;
    std::string message;

    // The printed form: Error Domain=<domain> Code=<code> "<message>"
    std::string description() const;

    bool operator==(const Error&) const = default;
};

// The URL-loading error domain and the codes our transport produces.
inline constexpr const char* URLErrorDomain = "NSURLErrorDomain";
namespace URLErrorCode {
inline constexpr long unknown = -1;
inline constexpr long cancelled = -999;
inline constexpr long badURL = -1000;
inline constexpr long timedOut = -1001;
inline constexpr long unsupportedURL = -1002;
inline constexpr long cannotFindHost = -1003;
inline constexpr long cannotConnectToHost = -1004;
inline constexpr long networkConnectionLost = -1005;
inline constexpr long notConnectedToInternet = -1009;
inline constexpr long fileDoesNotExist = -1100;
inline constexpr long secureConnectionFailed = -1200;
}  // namespace URLErrorCode

// Domains of the byte-level services.
inline constexpr const char* CryptoErrorDomain = "platform.Crypto";
inline constexpr const char* CompressionErrorDomain = "platform.Compression";

}  // namespace platform
