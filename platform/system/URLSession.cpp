#include "URLSession.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>

#include "foundation/Bundle.h"
#include "foundation/Text.h"

namespace platform {
namespace {

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct BodySink {
    std::vector<uint8_t> bytes;
    size_t limit;
};

size_t appendBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<BodySink*>(user);
    const size_t n = size * count;
    if (n > sink->limit - sink->bytes.size()) return 0;  // aborts the transfer
    sink->bytes.insert(sink->bytes.end(), data, data + n);
    return n;
}

// Adds the extra CA to the verification store, after the system's default locations are loaded,
// so both are trusted. Verification itself stays on.
CURLcode addExtraCA(CURL*, void* sslContext, void* user) {
    const auto* path = static_cast<const std::string*>(user);
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    if (!store || X509_STORE_load_file(store, path->c_str()) != 1) return CURLE_SSL_CACERT_BADFILE;
    return CURLE_OK;
}

}  // namespace

URLSession::URLSession(Configuration configuration)
    : configuration_(std::move(configuration)), queue_(std::make_unique<WorkQueue>(configuration_.label)) {
    initialiseCurlOnce();
}

URLSession::~URLSession() = default;

URLSession& URLSession::shared() {
    // Never destroyed: a completion may still be queued while the process exits.
    static URLSession* session = new URLSession(Configuration{
        Bundle::main().infoString("ParlivoConfigurationCAFile").value_or(std::string()), "URLSession.shared"});
    return *session;
}

void URLSession::dataTask(URLRequest request, Completion completion) {
    queue_->async([this, request = std::move(request), completion = std::move(completion)] {
        perform(request, completion);
    });
}

Error URLSession::errorForCurlCode(int curlCode, long osErrno, const std::string& detail) {
    long code = URLErrorCode::unknown;
    std::string message = detail.empty() ? curl_easy_strerror(CURLcode(curlCode)) : detail;
    switch (CURLcode(curlCode)) {
    case CURLE_OPERATION_TIMEDOUT:
        code = URLErrorCode::timedOut;
        break;
    case CURLE_COULDNT_RESOLVE_HOST:
        code = URLErrorCode::cannotFindHost;
        break;
    case CURLE_COULDNT_CONNECT:
        code = (osErrno == ENETUNREACH || osErrno == ENETDOWN) ? URLErrorCode::notConnectedToInternet
                                                               : URLErrorCode::cannotConnectToHost;
        break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_USE_SSL_FAILED:
        code = URLErrorCode::secureConnectionFailed;
        break;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_WRITE_ERROR:
        code = URLErrorCode::networkConnectionLost;
        break;
    case CURLE_URL_MALFORMAT:
        code = URLErrorCode::badURL;
        break;
    case CURLE_UNSUPPORTED_PROTOCOL:
        code = URLErrorCode::unsupportedURL;
        break;
    default:
        break;
    }
    return Error{URLErrorDomain, code, std::move(message)};
}

void URLSession::perform(const URLRequest& request, const Completion& completion) {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        completion(std::nullopt, std::nullopt, Error{URLErrorDomain, URLErrorCode::unknown, "cannot start transfer"});
        return;
    }
    CURL* h = curl.get();
    BodySink body{{}, request.maximumBodySize};
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_slist* headers = nullptr;
    // No "Expect: 100-continue" round trip, and no Content-Type we were not asked for (libcurl
    // would label every body as a form).
    headers = curl_slist_append(headers, "Expect:");
    const bool hasContentType = std::any_of(request.headers.begin(), request.headers.end(), [](const auto& header) {
        return equalsIgnoringCase(header.first, "Content-Type");
    });
    if (!hasContentType) headers = curl_slist_append(headers, "Content-Type:");
    for (const auto& [name, value] : request.headers) headers = curl_slist_append(headers, (name + ": " + value).c_str());
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerGuard(headers, &curl_slist_free_all);

    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, long(request.timeoutSeconds * 1000));
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(request.timeoutSeconds * 1000));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &appendBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    if (!configuration_.extraCAFile.empty()) {
        curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, &addExtraCA);
        curl_easy_setopt(h, CURLOPT_SSL_CTX_DATA, &configuration_.extraCAFile);
    }
    // An empty body still needs a non-null pointer, or libcurl reads the body from stdin.
    static const char emptyBody[] = "";
    const void* bodyBytes = request.body.empty() ? static_cast<const void*>(emptyBody) : request.body.data();
    if (request.method == "POST") {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, bodyBytes);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
    } else if (request.method != "GET") {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        if (!request.body.empty()) {
            curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
        }
    }

    const CURLcode result = curl_easy_perform(h);
    if (result != CURLE_OK) {
        long osErrno = 0;
        curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &osErrno);
        completion(std::nullopt, std::nullopt, errorForCurlCode(result, osErrno, errorBuffer));
        return;
    }
    URLResponse response;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.statusCode);
    char* effective = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective) response.url = effective;
    completion(std::move(body.bytes), response, std::nullopt);
}

}  // namespace platform
